#include "platform/TextExtent.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

using platform::measureText;
using platform::textBands;
using platform::TextExtent;

namespace {

const QStringList paragraph = {
    "Quarterly revenue rose 12.5% to $4,318 million, beating estimates.",
    "Please send the signed contract to the legal team by Friday.",
    "Meeting moved to Thursday 3:30 PM in room B-17; bring a laptop.",
};

struct RenderedText {
    QImage image;
    QRect textArea;
    int capHeight;
};

RenderedText render(double points, int dpi, QColor ink, QColor paper)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(qRound(points * dpi / 72.0));
    const QFontMetrics metrics(font);
    RenderedText rendered{
        QImage(1500 * dpi / 96, 400 * dpi / 96, QImage::Format_RGB32), {}, metrics.capHeight()};
    rendered.image.fill(paper);
    QPainter painter(&rendered.image);
    painter.setFont(font);
    painter.setPen(ink);
    QPoint origin(30, 40 + metrics.ascent());
    for (const QString &line : paragraph) {
        painter.drawText(origin, line);
        QPainterPath outline;
        outline.addText(origin, font, line);
        rendered.textArea |= outline.boundingRect().toAlignedRect();
        origin.ry() += metrics.lineSpacing();
    }
    return rendered;
}

TEST(TextExtentTest, CapHeightFollowsTheTextSizeInEitherPolarity)
{
    for (const auto &[points, dpi] : {std::pair{8.0, 96},
                                      {10.0, 96},
                                      {12.0, 96},
                                      {16.0, 96},
                                      {24.0, 96},
                                      {10.0, 192},
                                      {16.0, 192}}) {
        for (const bool darkMode : {false, true}) {
            const RenderedText text = darkMode ? render(points, dpi, Qt::white, QColor(30, 30, 30))
                                               : render(points, dpi, Qt::black, Qt::white);
            const TextExtent extent = measureText(text.image);
            EXPECT_NEAR(extent.capHeight, text.capHeight, 1)
                << points << " pt at " << dpi << " dpi, dark mode " << darkMode;
            // The content takes in all the text and little else.
            EXPECT_TRUE(extent.content.contains(text.textArea.adjusted(1, 1, -1, -1)))
                << points << " pt at " << dpi << " dpi";
            EXPECT_TRUE(text.textArea.adjusted(-2, -2, 2, 2).contains(extent.content))
                << points << " pt at " << dpi << " dpi";
        }
    }
}

TEST(TextExtentTest, BlankImagesAndLoneMarksHaveNoCapHeight)
{
    QImage blank(300, 100, QImage::Format_Grayscale8);
    blank.fill(200);
    EXPECT_EQ(measureText(blank).capHeight, 0);
    EXPECT_TRUE(measureText(blank).content.isEmpty());
    EXPECT_EQ(measureText(QImage()).capHeight, 0);

    // A rule and a dot are content, but not letters.
    QImage marks = blank;
    QPainter painter(&marks);
    painter.fillRect(20, 50, 200, 3, Qt::black);
    painter.fillRect(250, 20, 2, 2, Qt::black);
    painter.end();
    const TextExtent extent = measureText(marks);
    EXPECT_EQ(extent.capHeight, 0);
    EXPECT_EQ(extent.content, QRect(20, 20, 232, 33));
}

struct Page {
    QImage image;
    // Where each line's letters lie.
    QList<QRect> lines;
};

// Lines of 10 point DejaVu Sans at 96 dpi, each at its place (the top of the line).
Page page(const QList<std::pair<QString, QPoint>> &lines)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    const QFontMetrics metrics(font);
    Page page{QImage(1920, 1080, QImage::Format_Grayscale8), {}};
    page.image.fill(Qt::white);
    QPainter painter(&page.image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (const auto &[text, place] : lines) {
        const QPoint origin = place + QPoint(0, metrics.ascent());
        painter.drawText(origin, text);
        QPainterPath outline;
        outline.addText(origin, font, text);
        page.lines.append(outline.boundingRect().toAlignedRect());
    }
    return page;
}

QList<std::pair<QString, QPoint>> column(int count, QPoint origin, int lineSpacing,
                                         int dottedLine = -1)
{
    QList<std::pair<QString, QPoint>> lines;
    for (int index = 0; index < count; ++index) {
        const QString text = index == dottedLine ? QStringLiteral("iii iii iii iii iii iii")
                                                 : paragraph[index % paragraph.size()];
        lines.append({text, origin + QPoint(0, index * lineSpacing)});
    }
    return lines;
}

QList<QRect> bandsOf(const Page &page, int count = 4, int minimumLines = 3)
{
    return textBands(page.image, measureText(page.image), count, minimumLines);
}

TEST(TextExtentTest, ManyLinesSplitIntoBandsOfWholeLinesTopToBottom)
{
    // The line of i's has its dots apart from their stems, right where a cut would come.
    const Page text = page(column(14, {40, 40}, 17, 6));
    const QList<QRect> bands = bandsOf(text);
    ASSERT_EQ(bands.size(), 4);
    for (qsizetype band = 1; band < bands.size(); ++band)
        EXPECT_LT(bands[band - 1].bottom(), bands[band].top()) << band;
    for (const QRect &line : text.lines) {
        const auto holding = std::count_if(bands.begin(), bands.end(), [&](const QRect &band) {
            return band.adjusted(-1, -1, 1, 1).contains(line);
        });
        EXPECT_EQ(holding, 1) << line.y();
    }
    for (const QRect &band : bands) {
        const auto lines = std::count_if(text.lines.begin(), text.lines.end(),
                                         [&](const QRect &line) { return band.intersects(line); });
        EXPECT_GE(lines, 3) << band.y();
    }
    // No more bands than asked for.
    EXPECT_EQ(bandsOf(text, 2).size(), 2);
}

TEST(TextExtentTest, TextThatCannotBeCutIntoBandsStaysWhole)
{
    const auto whole = [](const Page &text) {
        const QList<QRect> bands = bandsOf(text);
        return bands == QList<QRect>{measureText(text.image).content};
    };
    // Too few lines for two bands, and lines whose letters reach into each other.
    EXPECT_TRUE(whole(page(column(1, {40, 40}, 17))));
    EXPECT_TRUE(whole(page(column(5, {40, 40}, 17))));
    EXPECT_TRUE(whole(page(column(14, {40, 40}, 9))));
    // Columns side by side, alone or below a heading that spans them.
    EXPECT_TRUE(whole(page(column(14, {40, 40}, 17) + column(14, {960, 40}, 17))));
    EXPECT_TRUE(whole(
        page(QList<std::pair<QString, QPoint>>{{paragraph[0] + " " + paragraph[1], {40, 20}}} +
             column(14, {40, 40}, 17) + column(14, {560, 40}, 17))));
}

// Lines of letter-like blocks, 6 pixels wide and 4 apart, from `left` to `right`: each line
// its top and height. Every block is a letter to measureText, so the capital height is the
// height most of the lines have.
QImage blockLines(const QList<std::pair<int, int>> &lines, int left = 20, int right = 320,
                  QSize size = QSize(640, 400))
{
    QImage image(size, QImage::Format_Grayscale8);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (const auto &[top, height] : lines) {
        for (int x = left; x + 6 <= right; x += 10)
            painter.fillRect(x, top, 6, height, Qt::black);
    }
    return image;
}

QList<QRect> blockBands(const QImage &image, int count, int minimumLines)
{
    return textBands(image, measureText(image), count, minimumLines);
}

// Columns are told from word spaces by a gutter at least a capital height wide.
TEST(TextBandsTest, AGutterOneCapitalHeightWideKeepsTheTextWhole)
{
    for (const int gap : {9, 10}) {
        QList<std::pair<int, int>> lines;
        for (int line = 0; line < 12; ++line)
            lines.append({20 + 20 * line, 10});
        // The left column's last block ends at 295; the right one starts `gap` columns later.
        QImage image = blockLines(lines, 20, 296);
        QPainter painter(&image);
        painter.drawImage(296 + gap, 0, blockLines(lines, 0, 200, {200, 400}));
        painter.end();
        ASSERT_EQ(measureText(image).capHeight, 10);
        EXPECT_EQ(blockBands(image, 4, 3).size(), gap == 10 ? 1 : 4) << gap;
    }
}

// A stretch of rows at least half a capital height tall is a line of its own; a lower one
// (dots, an underline) belongs to the line above, and so does the line after it.
TEST(TextBandsTest, LinesFromHalfACapitalHeightUpAreLinesOfTheirOwn)
{
    const QImage image = blockLines(
        {{20, 10}, {40, 5}, {55, 10}, {75, 7}, {92, 10}, {112, 4}, {126, 10}, {146, 10}});
    ASSERT_EQ(measureText(image).capHeight, 10);
    QList<std::pair<int, int>> rows;
    for (const QRect &band : blockBands(image, 20, 1)) {
        EXPECT_EQ(band.left(), 20);
        EXPECT_EQ(band.right(), 315);
        rows.append({band.top(), band.bottom()});
    }
    EXPECT_EQ(rows, (QList<std::pair<int, int>>{
                        {20, 29}, {40, 44}, {55, 64}, {75, 81}, {92, 135}, {146, 155}}));
}

// However many lines there are, every band holds at least the least number of lines asked
// for, no more bands are made than asked for, and each line is in exactly one band.
TEST(TextBandsTest, EveryBandHoldsAtLeastTheLeastNumberOfLines)
{
    for (int count = 2; count <= 14; ++count) {
        QList<std::pair<int, int>> lines;
        for (int line = 0; line < count; ++line)
            lines.append({10 + 20 * line, 10});
        const QImage image = blockLines(lines);
        for (int minimumLines = 1; minimumLines <= 4; ++minimumLines) {
            SCOPED_TRACE(::testing::Message() << count << " lines, at least " << minimumLines);
            const QList<QRect> bands = blockBands(image, 4, minimumLines);
            const int expected = std::min(4, count / minimumLines);
            ASSERT_EQ(bands.size(), expected < 2 ? 1 : expected);
            int held = 0;
            for (const QRect &band : bands) {
                const auto inside =
                    std::count_if(lines.begin(), lines.end(), [&](const auto &line) {
                        return band.top() <= line.first &&
                               line.first + line.second - 1 <= band.bottom();
                    });
                if (bands.size() > 1) {
                    EXPECT_GE(inside, minimumLines) << band.top();
                }
                held += int(inside);
            }
            EXPECT_EQ(held, count);
        }
    }
}

} // namespace
