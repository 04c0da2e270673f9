#include "pins/PinGeometry.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace PinGeometry;

void expectRectNear(const QRectF &actual, const QRectF &expected, double tolerance, int line)
{
    SCOPED_TRACE(line);
    EXPECT_NEAR(actual.x(), expected.x(), tolerance);
    EXPECT_NEAR(actual.y(), expected.y(), tolerance);
    EXPECT_NEAR(actual.width(), expected.width(), tolerance);
    EXPECT_NEAR(actual.height(), expected.height(), tolerance);
}
#define EXPECT_RECT_NEAR(actual, expected, tolerance)                                              \
    expectRectNear((actual), (expected), (tolerance), __LINE__)

const QRectF visible(0, 0, 1440, 875);

TEST(PinDeckFrameTest, FollowsTheCornerAndThePinSize)
{
    // The worked example: W = 100 + 792 + 80, Ht = 100 / 1.4 + 80.
    const QRectF small = deckFrame(visible, 100, 20, PinPlacement::topRight);
    EXPECT_DOUBLE_EQ(small.width(), 972.0);
    EXPECT_NEAR(small.height(), 151.43, 0.01);
    EXPECT_DOUBLE_EQ(small.x(), 448.0);
    EXPECT_NEAR(small.y(), 703.57, 0.01);

    struct Case {
        PinPlacement placement;
        double size;
        QPointF origin;
    };
    const double w250 = 250 + 250 * 0.72 * 11 + 80; // 2310
    // From 250 on the fanned cards need more height than s / 1.4 + 80.
    const double h250 = StackLayout::pileSize(deckConfig(250), 1, true).height();
    const Case cases[] = {
        {PinPlacement::topLeft, 100, {20, 875 - 151.4285714 - 20}},
        {PinPlacement::bottomLeft, 100, {20, 20}},
        {PinPlacement::bottomRight, 100, {1440 - 972 - 20, 20}},
        {PinPlacement::topRight, 250, {1440 - w250 - 20, 875 - h250 - 20}},
        {PinPlacement::bottomRight, 250, {1440 - w250 - 20, 20}},
    };
    for (const Case &c : cases) {
        const QRectF frame = deckFrame(visible, c.size, 20, c.placement);
        EXPECT_NEAR(frame.x(), c.origin.x(), 0.001) << int(c.placement) << " " << c.size;
        EXPECT_NEAR(frame.y(), c.origin.y(), 0.001) << int(c.placement) << " " << c.size;
        EXPECT_NEAR(frame.width(), c.size + c.size * 0.72 * 11 + 80, 0.001);
    }
    // At 400 the fanned cards need more than s / 1.4 + 80: the deck is as tall as they are.
    const QRectF tall = deckFrame(visible, 400, 20, PinPlacement::topLeft);
    const double fan = StackLayout::pileSize(deckConfig(400), 1, true).height();
    EXPECT_GT(fan, 400 / 1.4 + 80);
    EXPECT_NEAR(tall.height(), fan, 0.001);
    EXPECT_NEAR(tall.y(), 875 - fan - 20, 0.001);
}

TEST(PinDeckFrameTest, TheWindowKeepsItsCornerAndStaysOnTheDisplay)
{
    // At pin size 400 the deck is 3648 points wide: the window is what fits, from the corner.
    const QRectF wide = deckFrame(visible, 400, 20, PinPlacement::topRight);
    EXPECT_RECT_NEAR(deckWindowFrame(wide, visible, PinPlacement::topRight),
                     QRectF(0, 875 - 20 - wide.height(), 1420, wide.height()), 0.001);
    const QRectF bl = deckFrame(visible, 400, 20, PinPlacement::bottomLeft);
    EXPECT_RECT_NEAR(deckWindowFrame(bl, visible, PinPlacement::bottomLeft),
                     QRectF(20, 20, 1420, bl.height()), 0.001);

    // A padding wider than the display is held at half of it, so the corner stays on it.
    EXPECT_EQ(paddingWithin(1e6, visible), 437.5);
    EXPECT_EQ(paddingWithin(20, visible), 20);
    const QRectF far = deckFrame(visible, 100, paddingWithin(1e6, visible), PinPlacement::topLeft);
    const QRectF window = deckWindowFrame(far, visible, PinPlacement::topLeft);
    EXPECT_RECT_NEAR(window, QRectF(437.5, 437.5 - far.height(), 972, far.height()), 0.001);

    // A display smaller than a card: the window is what the padding leaves of it, no more.
    const QRectF tiny(100, 50, 300, 200);
    const QRectF big = deckFrame(tiny, 400, 20, PinPlacement::bottomRight);
    EXPECT_RECT_NEAR(deckWindowFrame(big, tiny, PinPlacement::bottomRight),
                     QRectF(100, 70, 280, 180), 0.001);
    const QRectF held = deckFrame(tiny, 400, paddingWithin(5000, tiny), PinPlacement::bottomRight);
    EXPECT_RECT_NEAR(deckWindowFrame(held, tiny, PinPlacement::bottomRight),
                     QRectF(100, 150, 200, 100), 0.001);
}

TEST(PinDeckFrameTest, NoVisibleFrameGives800x600)
{
    EXPECT_RECT_NEAR(visibleFrameOr800x600(std::nullopt), QRectF(0, 0, 800, 600), 0);
    EXPECT_RECT_NEAR(visibleFrameOr800x600(QRectF()), QRectF(0, 0, 800, 600), 0);
}

TEST(FloatingPinGeometryTest, FitsThePictureToThePinSize)
{
    const auto fit = [](double w, double h, double m) { return fitSize(QSizeF(w, h), m, 2.0); };
    EXPECT_EQ(fit(1600, 900, 400), QSizeF(400, 225));
    EXPECT_EQ(fit(600, 1200, 400), QSizeF(200, 400));
    EXPECT_EQ(fit(100, 50, 400), QSizeF(120, 120));
    EXPECT_EQ(fit(4000, 100, 400), QSizeF(400, 120));
    EXPECT_EQ(fit(1600, 900, 100), QSizeF(100, 120));
    EXPECT_EQ(fitSize(std::nullopt, 400, 2.0), QSizeF(400, 300));
    EXPECT_EQ(fitSize(QSizeF(10, 0), 400, 2.0), QSizeF(400, 300));
}

TEST(FloatingPinGeometryTest, CascadesAwayFromTheCornerAndStaysInside)
{
    const QSizeF size(400, 225);
    EXPECT_RECT_NEAR(floatingFrame(visible, size, 20, PinPlacement::topRight, {225, 120}),
                     QRectF(1020, 253, 400, 225), 0.001);
    EXPECT_RECT_NEAR(floatingFrame(visible, size, 20, PinPlacement::bottomLeft, {225, 120}),
                     QRectF(20, 397, 400, 225), 0.001);
    // A column that would run off the frame is held at its edge.
    EXPECT_RECT_NEAR(floatingFrame(visible, size, 20, PinPlacement::bottomLeft, {400, 400, 400}),
                     QRectF(20, 875 - 225, 400, 225), 0.001);
    EXPECT_RECT_NEAR(floatingFrame(std::nullopt, size, 20, PinPlacement::topLeft, {}),
                     QRectF(200, 200, 400, 300), 0);
}

} // namespace
