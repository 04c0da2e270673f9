#include "capture/WindowShadow.h"
#include "platform/Displays.h"

#include <gtest/gtest.h>

namespace {

// Distinct opaque pixels, so that a shifted or scaled window shows.
QImage windowPattern(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb((x * 7) & 0xff, (y * 13) & 0xff, 200));
    }
    return image;
}

int alphaAt(const QImage &image, int x, int y)
{
    return qAlpha(image.pixel(x, y));
}

TEST(WindowShadowTest, EachDimensionGrowsBy128PointsAtTheScale)
{
    EXPECT_EQ(shadowedWindowSize(QSizeF(400, 300), 1.0), QSize(528, 428));
    EXPECT_EQ(shadowedWindowSize(QSizeF(400, 300), 2.0), QSize(1056, 856));
    // Truncated toward zero: 529 × 1.5 = 793.5, 429 × 1.5 = 643.5.
    EXPECT_EQ(shadowedWindowSize(QSizeF(401, 301), 1.5), QSize(793, 643));
    EXPECT_EQ(shadowedWindowSize(QSizeF(1920, 1080), 1.25), QSize(2560, 1510));
}

TEST(WindowShadowTest, TheWindowSitsUnchangedInTheMiddleOfATransparentMarginWithItsShadowBelow)
{
    struct Case {
        QSizeF points;
        double scale;
    };
    for (const Case &c : {Case{{400, 300}, 1.0}, Case{{400, 300}, 2.0}, Case{{173, 91}, 1.5}}) {
        SCOPED_TRACE(c.scale);
        const QSize pixels = platform::pixelSize(c.points, c.scale);
        const QImage window = windowPattern(pixels.width(), pixels.height());
        const QSize canvasSize = shadowedWindowSize(c.points, c.scale);
        const QImage shot = withWindowShadow(window, canvasSize, c.scale);
        ASSERT_EQ(shot.size(), canvasSize);
        ASSERT_TRUE(shot.hasAlphaChannel());

        const int margin = int(64 * c.scale);
        const QRect placed(QPoint((canvasSize.width() - pixels.width()) / 2,
                                  (canvasSize.height() - pixels.height()) / 2),
                           pixels);
        EXPECT_EQ(placed.topLeft(), QPoint(margin, margin));
        EXPECT_EQ(shot.copy(placed).convertToFormat(QImage::Format_RGB32), window);
        EXPECT_EQ(alphaAt(shot, placed.left(), placed.top()), 255);
        EXPECT_EQ(alphaAt(shot, placed.right(), placed.bottom()), 255);

        const int right = canvasSize.width() - 1;
        const int bottom = canvasSize.height() - 1;
        for (const QPoint corner :
             {QPoint(0, 0), QPoint(right, 0), QPoint(0, bottom), QPoint(right, bottom)}) {
            EXPECT_EQ(alphaAt(shot, corner.x(), corner.y()), 0) << corner.x() << "," << corner.y();
        }

        // Below the window the shadow is dark and fades towards the canvas's edge; it is
        // black, and lighter above the window than below it, as light from above casts it.
        const int centreX = canvasSize.width() / 2;
        const int justBelow = alphaAt(shot, centreX, placed.bottom() + 1 + int(2 * c.scale));
        const int halfway = alphaAt(shot, centreX, placed.bottom() + margin / 2);
        const int edge = alphaAt(shot, centreX, bottom);
        EXPECT_GE(justBelow, 80);
        EXPECT_LE(justBelow, 160);
        EXPECT_GT(justBelow, halfway);
        EXPECT_GT(halfway, edge);
        EXPECT_EQ(edge, 0);
        EXPECT_EQ(qRed(shot.pixel(centreX, placed.bottom() + 2)), 0);
        EXPECT_LT(alphaAt(shot, centreX, placed.top() - 1 - int(2 * c.scale)), justBelow);
        // Beside the window the shadow also shows, weaker than beneath it.
        const int beside =
            alphaAt(shot, placed.right() + 1 + int(2 * c.scale), placed.center().y());
        EXPECT_GT(beside, 0);
    }
}

TEST(WindowShadowTest, AWindowLargerThanTheInnerPartIsScaledDownToFitIt)
{
    const QImage window = windowPattern(600, 200);
    const QImage shot = withWindowShadow(window, QSize(528, 428), 1.0);
    ASSERT_EQ(shot.size(), QSize(528, 428));
    // 600 × 200 into 400 × 300 keeps its proportions: 400 × 133, centred.
    const int top = (428 - 133) / 2;
    EXPECT_EQ(alphaAt(shot, 64, top + 60), 255);
    EXPECT_EQ(alphaAt(shot, 463, top + 60), 255);
    EXPECT_LT(alphaAt(shot, 63, top + 60), 255);
    EXPECT_LT(alphaAt(shot, 464, top + 60), 255);
    EXPECT_EQ(alphaAt(shot, 0, 0), 0);
    EXPECT_TRUE(withWindowShadow(QImage(), QSize(528, 428), 1.0).isNull());
}

} // namespace
