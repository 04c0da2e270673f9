#include "preview/AnnotationRenderer.h"

#include <QPainter>
#include <gtest/gtest.h>

namespace {

QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

AnnotationItem mark(AnnotationTool tool, QPointF start, QPointF end, double width = 4,
                    const QString &color = QStringLiteral("#0000FF"))
{
    AnnotationItem item;
    item.tool = tool;
    item.startPoint = start;
    item.endPoint = end;
    item.strokeWidth = width;
    item.colorHex = color;
    return item;
}

QRgb at(const QImage &image, int x, int y)
{
    return image.pixel(x, y);
}

// The rows of a column that differ from the background colour.
QPair<int, int> coveredRows(const QImage &image, int x, QRgb background)
{
    int first = -1, last = -1;
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) != background) {
            if (first < 0)
                first = y;
            last = y;
        }
    }
    return {first, last};
}

} // namespace

TEST(AnnotationRenderer, NothingToDrawReturnsTheSameImage)
{
    const QImage base = filled(40, 30, Qt::white);
    EXPECT_EQ(AnnotationRenderer::render(base, {}).cacheKey(), base.cacheKey());
    const QImage empty;
    EXPECT_TRUE(
        AnnotationRenderer::render(empty, {mark(AnnotationTool::arrow, {1, 1}, {5, 5})}).isNull());
    // An empty label draws nothing at all.
    const QImage drawn =
        AnnotationRenderer::render(base, {mark(AnnotationTool::text, {10, 25}, {10, 25})});
    EXPECT_EQ(drawn, base);
    EXPECT_EQ(base.pixel(0, 0), QColor(Qt::white).rgb()) << "the source is never drawn on";
}

TEST(AnnotationRenderer, RedactionAveragesTheBoxesOwnPixels)
{
    // The box's mirror image about the horizontal centre line is plain blue:
    // a cut taken there would turn the box blue.
    QImage base = filled(64, 64, Qt::blue);
    {
        QPainter painter(&base);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 32; ++x)
                painter.fillRect(x, y, 1, 1, (x + y) % 2 ? QColor(Qt::red) : QColor(Qt::green));
    }
    AnnotationItem blur = mark(AnnotationTool::blur, {0, 0}, {32, 16});
    const QImage out = AnnotationRenderer::render(base, {blur});

    // Cells are 8 pixels (16 × 0.125 is below the minimum); each is the mean
    // of a red and green checkerboard.
    for (QPoint p : {QPoint(3, 3), QPoint(12, 9), QPoint(27, 5)}) {
        const QColor c = QColor::fromRgba(at(out, p.x(), p.y()));
        EXPECT_NEAR(c.red(), 127, 2) << p.x() << "," << p.y();
        EXPECT_NEAR(c.green(), 127, 2) << p.x() << "," << p.y();
        EXPECT_EQ(c.blue(), 0) << p.x() << "," << p.y();
    }
    EXPECT_EQ(at(out, 40, 40), QColor(Qt::blue).rgb()) << "outside the box nothing changes";

    // Within one cell every pixel is the same; the next cell may differ.
    QImage ramp(48, 48, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            ramp.setPixel(x, y, qRgb(x * 5, y * 5, 0));
    const QImage cells =
        AnnotationRenderer::render(ramp, {mark(AnnotationTool::blur, {0, 0}, {48, 48})});
    EXPECT_EQ(at(cells, 1, 1), at(cells, 6, 6));
    EXPECT_NE(at(cells, 1, 1), at(cells, 9, 1));
    EXPECT_EQ(QColor(at(cells, 9, 1)).red(), (8 * 5 + 15 * 5) / 2);
}

TEST(AnnotationRenderer, RedactionScaleAndTinyBoxes)
{
    EXPECT_DOUBLE_EQ(AnnotationRenderer::pixelationScale(3, 3), 8);
    EXPECT_DOUBLE_EQ(AnnotationRenderer::pixelationScale(200, 100), 12.5);

    QImage base(20, 20, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            base.setPixel(x, y, qRgb(x * 10, y * 10, 100));
    EXPECT_EQ(AnnotationRenderer::render(base, {mark(AnnotationTool::blur, {4, 4}, {6, 6})}), base)
        << "a 2 × 2 box is ignored";
    const QImage three =
        AnnotationRenderer::render(base, {mark(AnnotationTool::blur, {4, 4}, {7, 7})});
    EXPECT_NE(three, base);
}

TEST(AnnotationRenderer, RedactionLiesUnderMarksDrawnBeforeIt)
{
    const QImage base = filled(100, 60, Qt::white);
    QImage checker = base;
    for (int x = 0; x < 100; x += 2)
        checker.setPixel(x, 30, qRgb(0, 0, 0));
    const AnnotationItem arrow =
        mark(AnnotationTool::arrow, {5, 30}, {95, 30}, 4, QStringLiteral("#00FF00"));
    const AnnotationItem blur = mark(AnnotationTool::blur, {20, 10}, {60, 50});
    const QImage out = AnnotationRenderer::render(checker, {arrow, blur});
    EXPECT_EQ(at(out, 40, 30), qRgb(0, 255, 0)) << "the arrow's shaft stays on top";
    EXPECT_NE(at(out, 40, 26), qRgb(255, 255, 255)) << "the box around it is redacted";
}

TEST(AnnotationRenderer, ArrowShaftAndHead)
{
    const QImage base = filled(200, 100, Qt::white);
    const QImage out = AnnotationRenderer::render(
        base, {mark(AnnotationTool::arrow, {20, 50}, {180, 50}, 4, QStringLiteral("#FF0000"))});
    const QRgb red = qRgb(255, 0, 0);
    EXPECT_EQ(at(out, 100, 50), red);
    EXPECT_EQ(at(out, 100, 45), qRgb(255, 255, 255)) << "the shaft is 4 pixels wide";
    // The head is 16 pixels long and ±30° wide: 8 pixels either side of the
    // shaft, 14 pixels back from the tip, narrowing towards it.
    EXPECT_EQ(at(out, 168, 46), red);
    EXPECT_EQ(at(out, 168, 54), red);
    EXPECT_EQ(at(out, 150, 44), qRgb(255, 255, 255));
    EXPECT_EQ(at(out, 190, 50), qRgb(255, 255, 255));
}

TEST(AnnotationRenderer, BoxStepAndUnparsableColour)
{
    const QImage base = filled(200, 200, Qt::white);
    const QImage box = AnnotationRenderer::render(
        base, {mark(AnnotationTool::rectangle, {20, 20}, {120, 100}, 4, QStringLiteral("oops"))});
    EXPECT_EQ(at(box, 70, 20), AnnotationRenderer::fallbackColor().rgb());
    EXPECT_EQ(at(box, 70, 60), qRgb(255, 255, 255)) << "a box is only outlined";
    EXPECT_NE(at(box, 19, 19), AnnotationRenderer::fallbackColor().rgb()) << "rounded corner";

    AnnotationItem one = mark(AnnotationTool::stepNumber, {0, 0}, {100, 100});
    one.stepNumber = 1;
    AnnotationItem two = one;
    two.stepNumber = 2;
    const QImage first = AnnotationRenderer::render(base, {one});
    // Radius 16: inside the rim the disc is the mark's colour, outside untouched.
    EXPECT_EQ(at(first, 100 - 12, 100), qRgb(0, 0, 255));
    EXPECT_EQ(at(first, 100 - 18, 100), qRgb(255, 255, 255));
    EXPECT_EQ(at(first, 100, 100 - 16), qRgb(255, 255, 255)) << "white outline";
    EXPECT_NE(first.copy(92, 90, 16, 20),
              AnnotationRenderer::render(base, {two}).copy(92, 90, 16, 20))
        << "the label shows the step's number";
}

TEST(AnnotationRenderer, TextBoxGrowsUpFromItsAnchorAtAnyDensity)
{
    AnnotationItem label = mark(AnnotationTool::text, {20, 100}, {20, 100});
    label.text = QStringLiteral("Hello");
    const QRgb white = qRgb(255, 255, 255);

    QImage base = filled(200, 120, Qt::white);
    const QImage out = AnnotationRenderer::render(base, {label});
    const auto [top, bottom] = coveredRows(out, 22, white);
    EXPECT_EQ(bottom, 99) << "the box ends at the anchor";
    EXPECT_GT(top, 100 - 40);
    EXPECT_LT(top, 100 - 14 - 8 + 1) << "the box is at least the text size plus 8 tall";
    EXPECT_EQ(at(out, 22, 105), white);

    // The saved image does not depend on the density of the screen it came from.
    QImage dense = base;
    dense.setDotsPerMeterX(7559);
    dense.setDotsPerMeterY(7559);
    dense.setDevicePixelRatio(2);
    const QImage denseOut = AnnotationRenderer::render(dense, {label});
    EXPECT_EQ(coveredRows(denseOut, 22, white), coveredRows(out, 22, white));
    EXPECT_EQ(denseOut.devicePixelRatio(), 2);
}

TEST(AnnotationRenderer, HighlighterMultipliesAndPencilFollowsThePath)
{
    QImage base = filled(100, 100, Qt::white);
    QPainter(&base).fillRect(50, 0, 50, 100, Qt::black);
    AnnotationItem highlight =
        mark(AnnotationTool::highlighter, {10, 50}, {90, 50}, 4, QStringLiteral("#FFFF00"));
    const QImage out = AnnotationRenderer::render(base, {highlight});
    const QColor onWhite = QColor::fromRgb(at(out, 25, 50));
    EXPECT_EQ(onWhite.red(), 255);
    EXPECT_NEAR(onWhite.blue(), 166, 3) << "35 % yellow multiplied into white";
    EXPECT_EQ(at(out, 75, 50), qRgb(0, 0, 0)) << "multiplying never lightens";
    EXPECT_EQ(at(out, 25, 38), qRgb(255, 255, 255)) << "18 pixels wide";

    AnnotationItem pencil =
        mark(AnnotationTool::pencil, {0, 0}, {0, 0}, 3, QStringLiteral("#00FF00"));
    pencil.points = {QPointF(10, 10), QPointF(40, 10), QPointF(40, 40)};
    const QImage drawn = AnnotationRenderer::render(filled(60, 60, Qt::white), {pencil});
    EXPECT_EQ(at(drawn, 25, 10), qRgb(0, 255, 0));
    EXPECT_EQ(at(drawn, 40, 30), qRgb(0, 255, 0));
    EXPECT_EQ(at(drawn, 25, 30), qRgb(255, 255, 255))
        << "the path, not the straight line of its ends";
}
