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

} // namespace
