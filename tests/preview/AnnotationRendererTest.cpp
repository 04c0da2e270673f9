#include "preview/AnnotationRenderer.h"
#include "preview/AnnotationGeometry.h"

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

    // Cells are 8 pixels (16 × 0.25 is below the minimum); each is the mean
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
    // Cells of 12 pixels, a quarter of the box.
    EXPECT_EQ(at(cells, 1, 1), at(cells, 10, 10));
    EXPECT_NE(at(cells, 1, 1), at(cells, 13, 1));
    EXPECT_EQ(QColor(at(cells, 13, 1)).red(), (12 * 5 + 23 * 5) / 2);
}

TEST(AnnotationRenderer, RedactionScaleAndTinyBoxes)
{
    EXPECT_DOUBLE_EQ(AnnotationGeometry::pixelationScale(3, 3), 8);
    EXPECT_DOUBLE_EQ(AnnotationGeometry::pixelationScale(40, 20), 8);
    EXPECT_DOUBLE_EQ(AnnotationGeometry::pixelationScale(200, 100), 25);
    EXPECT_DOUBLE_EQ(AnnotationGeometry::pixelationScale(616, 119), 29.75);

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
    EXPECT_NE(at(out, 40, 36), qRgb(255, 255, 255)) << "the box around it is redacted";
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

// Over large text, a redaction leaves at most four cells from the box's top to its bottom:
// too few for a line of letters to be read.
TEST(AnnotationRenderer, RedactionCellsHideLargeText)
{
    QImage base = filled(800, 300, Qt::white);
    {
        QPainter painter(&base);
        QFont font;
        font.setPixelSize(96); // 72 pt
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(60, 180), QStringLiteral("password 1234"));
    }
    const QRectF box(40, 90, 616, 119);
    const QImage out = AnnotationRenderer::render(
        base, {mark(AnnotationTool::blur, box.topLeft(), box.bottomRight())});
    for (int x = 60; x < 640; x += 37) {
        int runs = 1;
        for (int y = 92; y < 207; ++y)
            runs += out.pixel(x, y) != out.pixel(x, y - 1) ? 1 : 0;
        EXPECT_LE(runs, 4) << "column " << x;
    }
    // Every cell is at least 30 pixels wide (a quarter of 119, rounded up).
    // Runs between two changes along a row: whole cells (the last one may be cut by the box).
    int shortest = 1000, run = -1000;
    for (int x = 42; x < 655; ++x) {
        if (out.pixel(x, 150) != out.pixel(x - 1, 150)) {
            if (run > 0)
                shortest = std::min(shortest, run);
            run = 1;
        } else {
            ++run;
        }
    }
    EXPECT_GE(shortest, 30);
}

// Where two redactions overlap, the later one averages the capture's own pixels, not the cells
// the earlier one left there.
TEST(AnnotationRenderer, OverlappingRedactionsAverageTheOriginal)
{
    // White left of x = 10, black from there: the first box's cell [8, 16) holds 2 white
    // columns, so its average differs from the original under the second box's cell [4, 12).
    QImage base = filled(48, 48, Qt::black);
    {
        QPainter painter(&base);
        painter.fillRect(0, 0, 10, 48, Qt::white);
    }
    const AnnotationItem first = mark(AnnotationTool::blur, {0, 0}, {32, 32});
    const AnnotationItem second = mark(AnnotationTool::blur, {4, 4}, {36, 36});
    for (const auto &marks : {QList{first, second}, QList{second}}) {
        const QImage out = AnnotationRenderer::render(base, marks);
        // Each 8-pixel cell of the second box, its grid starting at (4, 4): the original's
        // average, 6 white and 2 black columns in the first column of cells.
        EXPECT_NEAR(qRed(out.pixel(6, 20)), 6 * 255 / 8, 1);
        EXPECT_NEAR(qRed(out.pixel(10, 6)), 6 * 255 / 8, 1);
        EXPECT_EQ(qRed(out.pixel(14, 14)), 0);
    }
    // The first box alone, for contrast: its cell [8, 16) is a quarter white.
    EXPECT_NEAR(qRed(AnnotationRenderer::render(base, {first}).pixel(10, 20)), 2 * 255 / 8, 1);
}

// Geometry no editor makes is left out or cut to the image, never drawn past its memory.
TEST(AnnotationRenderer, HostileGeometryNeverReachesThePixels)
{
    QImage base(120, 80, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 120; ++x)
            base.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    // Nothing of these touches the image.
    AnnotationItem nanSide = mark(AnnotationTool::blur, {10, 10}, {60, nan});
    AnnotationItem nanPoint = mark(AnnotationTool::blur, {10, 10}, {60, 40});
    nanPoint.points = {QPointF(10, 10), QPointF(nan, 40), QPointF(60, 40)};
    AnnotationItem wideStroke = mark(AnnotationTool::pencil, {10, 10}, {60, 40}, inf);
    AnnotationItem farPencil = mark(AnnotationTool::pencil, {10, 10}, {60, 40});
    farPencil.points = {QPointF(10, 10), QPointF(1e300, -1e300)};
    AnnotationItem hugeStep = mark(AnnotationTool::stepNumber, {10, 10}, {60, 40}, 1e12);
    const QList<AnnotationItem> untouched = {
        nanSide,
        nanPoint,
        wideStroke,
        farPencil,
        hugeStep,
        mark(AnnotationTool::blur, {-500, -500}, {-100, -100}),
        mark(AnnotationTool::blur, {130, 10}, {4e9, 60}),
        mark(AnnotationTool::blur, {10, -1.7e10}, {60, -2}),
        mark(AnnotationTool::rectangle, {-1e15, -1e15}, {-1e14, -1e14}),
        mark(AnnotationTool::arrow, {inf, 10}, {20, 20}),
        mark(AnnotationTool::text, {nan, 20}, {nan, 20}),
    };
    for (const AnnotationItem &item : untouched) {
        EXPECT_EQ(AnnotationRenderer::render(base, {item}), base)
            << rawValue(item.tool).toStdString() << " " << item.startPoint.x() << ","
            << item.startPoint.y() << " " << item.endPoint.x() << "," << item.endPoint.y();
    }

    // A redaction about 1.7e10 pixels wide is cut at the image's edge: the rows it covers are
    // pixelated to the right edge, the rows above and below are untouched.
    const QImage wide = AnnotationRenderer::render(
        base, {mark(AnnotationTool::blur, {20, 30}, {1.7e10, 50}), nanSide});
    ASSERT_EQ(wide.size(), base.size());
    EXPECT_EQ(wide.copy(0, 0, 120, 29), base.copy(0, 0, 120, 29));
    EXPECT_EQ(wide.copy(0, 51, 120, 29), base.copy(0, 51, 120, 29));
    EXPECT_EQ(wide.copy(0, 29, 19, 22), base.copy(0, 29, 19, 22));
    EXPECT_EQ(wide.pixel(100, 40), wide.pixel(107, 40)) << "cells from the box's own corner";
    EXPECT_NE(wide.copy(20, 31, 100, 19), base.copy(20, 31, 100, 19));

    // A box drawn far past the image is cut where its sides stay out of sight: the visible
    // part is what the uncut box draws.
    const QImage huge =
        AnnotationRenderer::render(base, {mark(AnnotationTool::rectangle, {30, 20}, {4e12, 3e12})});
    const QImage plain =
        AnnotationRenderer::render(base, {mark(AnnotationTool::rectangle, {30, 20}, {400, 300})});
    EXPECT_EQ(huge, plain);
}
