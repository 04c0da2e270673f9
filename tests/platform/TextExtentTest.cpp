#include "platform/TextExtent.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <gtest/gtest.h>

using platform::measureText;
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

} // namespace
