#include "platform/TextExtent.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <utility>
#include <vector>

namespace platform {
namespace {

// A pixel this far from the background level is content, however faint.
constexpr int contentContrast = 16;
// Shapes lower than this are dots, commas and noise, not letters.
constexpr int minimumLetterHeight = 4;
// Wider than this many times their height: rules, underlines, letters run together.
constexpr int maximumLetterAspect = 4;
// Fewer letter-like shapes than this say nothing reliable about the text size.
constexpr size_t minimumLetters = 3;
// Most letters of running text are x-height letters; capitals, ascenders and descenders are
// the taller rest, so a high percentile of the shape heights is the capital height.
constexpr double capHeightPercentile = 0.8;
// Columns are set at least this many capital heights apart; word spaces are narrower.
constexpr int gutterCaps = 1;

using Histogram = std::array<qint64, 256>;

Histogram histogramOf(const QImage &gray)
{
    Histogram histogram{};
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x)
            ++histogram[line[x]];
    }
    return histogram;
}

// The level that best splits the histogram into two classes (Otsu's method).
int otsuThreshold(const Histogram &histogram)
{
    qint64 total = 0;
    double sum = 0;
    for (int level = 0; level < 256; ++level) {
        total += histogram[level];
        sum += double(level) * double(histogram[level]);
    }
    qint64 below = 0;
    double sumBelow = 0;
    double bestVariance = -1;
    int best = 0;
    for (int level = 0; level < 256; ++level) {
        below += histogram[level];
        sumBelow += double(level) * double(histogram[level]);
        const qint64 above = total - below;
        if (below == 0 || above == 0)
            continue;
        const double meanBelow = sumBelow / double(below);
        const double meanAbove = (sum - sumBelow) / double(above);
        const double variance =
            double(below) * double(above) * (meanBelow - meanAbove) * (meanBelow - meanAbove);
        if (variance > bestVariance) {
            bestVariance = variance;
            best = level;
        }
    }
    return best;
}

bool isContent(uchar level, int background)
{
    return std::abs(int(level) - background) >= contentContrast;
}

QRect contentBounds(const QImage &gray, int background)
{
    int left = gray.width(), right = -1, top = gray.height(), bottom = -1;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (!isContent(line[x], background))
                continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

// A horizontal stretch of ink on one row; runs that touch across rows form one shape.
struct Run {
    int y, x0, x1;
    int parent;
};

int rootOf(std::vector<Run> &runs, int index)
{
    while (runs[index].parent != index) {
        runs[index].parent = runs[runs[index].parent].parent;
        index = runs[index].parent;
    }
    return index;
}

// Heights of the letter-like shapes (4-connected ink).
std::vector<int> letterHeights(const QImage &gray, int threshold, bool darkInk)
{
    std::vector<Run> runs;
    size_t previousRow = 0, currentRow = 0;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *line = gray.constScanLine(y);
        previousRow = currentRow;
        currentRow = runs.size();
        size_t above = previousRow;
        for (int x = 0; x < gray.width();) {
            const auto isInk = [&](int at) {
                return darkInk ? line[at] <= threshold : line[at] > threshold;
            };
            if (!isInk(x)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < gray.width() && isInk(x))
                ++x;
            const int index = int(runs.size());
            runs.push_back({y, start, x - 1, index});
            while (above < currentRow && runs[above].x1 < start)
                ++above;
            for (size_t other = above; other < currentRow && runs[other].x0 <= x - 1; ++other) {
                const int a = rootOf(runs, index), b = rootOf(runs, int(other));
                if (a != b)
                    runs[std::max(a, b)].parent = std::min(a, b);
            }
        }
    }
    struct Box {
        int top = 0, bottom = -1, left = 0, right = -1;
    };
    std::vector<Box> boxes(runs.size());
    for (int index = 0; index < int(runs.size()); ++index) {
        const Run &run = runs[index];
        Box &box = boxes[rootOf(runs, index)];
        if (box.bottom < 0) {
            box = {run.y, run.y, run.x0, run.x1};
            continue;
        }
        box.top = std::min(box.top, run.y);
        box.bottom = std::max(box.bottom, run.y);
        box.left = std::min(box.left, run.x0);
        box.right = std::max(box.right, run.x1);
    }
    std::vector<int> heights;
    for (int index = 0; index < int(runs.size()); ++index) {
        if (runs[index].parent != index)
            continue;
        const Box &box = boxes[index];
        const int height = box.bottom - box.top + 1;
        const int width = box.right - box.left + 1;
        if (height >= minimumLetterHeight && width <= maximumLetterAspect * height &&
            height <= gray.height() / 2)
            heights.push_back(height);
    }
    return heights;
}

// Rows of the content (from its top) that hold anything.
std::vector<bool> inkedRows(const QImage &gray, const QRect &content, int background)
{
    std::vector<bool> inked(size_t(content.height()), false);
    for (int y = content.top(); y <= content.bottom(); ++y) {
        const uchar *line = gray.constScanLine(y);
        inked[size_t(y - content.top())] =
            std::any_of(line + content.left(), line + content.right() + 1,
                        [background](uchar level) { return isContent(level, background); });
    }
    return inked;
}

// Whether a run of blank columns at least `width` wide has content on both sides within the
// rectangle.
bool hasGutter(const QImage &gray, const QRect &area, int background, int width)
{
    std::vector<bool> inked(size_t(area.width()), false);
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uchar *line = gray.constScanLine(y) + area.left();
        for (int x = 0; x < area.width(); ++x) {
            if (isContent(line[x], background))
                inked[size_t(x)] = true;
        }
    }
    int lastInked = -1;
    for (int x = 0; x < area.width(); ++x) {
        if (!inked[size_t(x)])
            continue;
        if (lastInked >= 0 && x - lastInked - 1 >= width)
            return true;
        lastInked = x;
    }
    return false;
}

// Stretches of inked rows (first and last row) that are whole text lines: shorter stretches,
// such as the dots above a line of i's, a rule or an underline, stay with their neighbours.
std::vector<std::pair<int, int>> textLines(const std::vector<bool> &inked, int top, int capHeight)
{
    std::vector<std::pair<int, int>> stretches;
    for (int row = 0; row < int(inked.size());) {
        if (!inked[size_t(row)]) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < int(inked.size()) && inked[size_t(row)])
            ++row;
        stretches.emplace_back(top + first, top + row - 1);
    }
    const auto isLetterHigh = [capHeight](const std::pair<int, int> &stretch) {
        return 2 * (stretch.second - stretch.first + 1) >= capHeight;
    };
    std::vector<std::pair<int, int>> lines;
    for (size_t index = 0; index < stretches.size(); ++index) {
        const bool cutAbove =
            index > 0 && isLetterHigh(stretches[index - 1]) && isLetterHigh(stretches[index]);
        if (lines.empty() || cutAbove)
            lines.push_back(stretches[index]);
        else
            lines.back().second = stretches[index].second;
    }
    return lines;
}

} // namespace

QList<QRect> textBands(const QImage &gray, const TextExtent &extent, int count, int minimumLines)
{
    const QRect &content = extent.content;
    if (content.isEmpty() || extent.capHeight == 0 || count < 2 || minimumLines < 1)
        return {content};
    const std::vector<std::pair<int, int>> lines =
        textLines(inkedRows(gray, content, extent.background), content.top(), extent.capHeight);
    const int bandCount = std::min(count, int(lines.size()) / minimumLines);
    const int gutter = gutterCaps * extent.capHeight;
    if (bandCount < 2 || hasGutter(gray, content, extent.background, gutter))
        return {content};
    QList<QRect> bands;
    for (int band = 0; band < bandCount; ++band) {
        const size_t first = lines.size() * size_t(band) / size_t(bandCount);
        const size_t last = lines.size() * size_t(band + 1) / size_t(bandCount) - 1;
        const QRect area(QPoint(content.left(), lines[first].first),
                         QPoint(content.right(), lines[last].second));
        if (hasGutter(gray, area, extent.background, gutter))
            return {content};
        bands.append(area);
    }
    return bands;
}

TextExtent measureText(const QImage &image)
{
    TextExtent extent;
    if (image.isNull())
        return extent;
    const QImage gray = image.format() == QImage::Format_Grayscale8
                            ? image
                            : image.convertToFormat(QImage::Format_Grayscale8);
    const Histogram histogram = histogramOf(gray);
    const int background =
        int(std::max_element(histogram.begin(), histogram.end()) - histogram.begin());
    extent.background = background;
    extent.content = contentBounds(gray, background);
    if (extent.content.isEmpty())
        return extent;
    // Text is the minority on either side of the split: dark on light or light on dark.
    const int threshold = otsuThreshold(histogram);
    std::vector<int> heights = letterHeights(gray, threshold, background > threshold);
    if (heights.size() < minimumLetters)
        return extent;
    const auto at = heights.begin() + ptrdiff_t(double(heights.size() - 1) * capHeightPercentile);
    std::nth_element(heights.begin(), at, heights.end());
    extent.capHeight = *at;
    return extent;
}

} // namespace platform
