#include "platform/TextExtent.h"

#include <algorithm>
#include <array>
#include <cstdlib>
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

QRect contentBounds(const QImage &gray, int background)
{
    int left = gray.width(), right = -1, top = gray.height(), bottom = -1;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar *line = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            if (std::abs(int(line[x]) - background) < contentContrast)
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

} // namespace

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
