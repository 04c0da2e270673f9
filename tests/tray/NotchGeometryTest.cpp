#include "support/ExpectRect.h"
#include "tray/NotchGeometryService.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using Screen = NotchGeometry::Screen;

// A laptop display with an off-centre notch between x 700 and 880, 32 pt tall.
Screen notchedScreen()
{
    Screen screen;
    screen.frame = QRectF(0, 0, 1512, 982);
    screen.visibleFrame = QRectF(0, 0, 1512, 950);
    screen.safeAreaTopInset = 32;
    screen.auxiliaryTopLeftArea = QRectF(0, 950, 700, 32);
    screen.auxiliaryTopRightArea = QRectF(880, 950, 632, 32);
    return screen;
}

// A secondary display without a notch: a 30 pt menu bar, a 60 pt dock on the left and an
// 80 pt one at the bottom and a 20 pt panel on the right, so frame and visible frame differ on
// every edge.
Screen dockedScreen()
{
    Screen screen;
    screen.frame = QRectF(100, 50, 1500, 1000);
    screen.visibleFrame = QRectF(160, 130, 1420, 890);
    return screen;
}

} // namespace

TEST(NotchGeometry, NotchLiesBetweenTheAuxiliaryAreasUnderTheTopEdge)
{
    const auto info = NotchGeometry::layoutInfo(notchedScreen());
    EXPECT_TRUE(info.hasNotch);
    ASSERT_TRUE(info.notchRect);
    expectRect(*info.notchRect, 700, 950, 180, 32);
    EXPECT_EQ(info.notchWidth, 180);
    EXPECT_EQ(info.notchHeight, 32);
    EXPECT_EQ(info.anchorCenter, QPointF(790, 950));
    EXPECT_EQ(info.topEdgeY, 982);
}

TEST(NotchGeometry, WithoutBothAreasOrAPositiveInsetThereIsNoNotch)
{
    Screen noLeft = notchedScreen();
    noLeft.auxiliaryTopLeftArea.reset();
    Screen noRight = notchedScreen();
    noRight.auxiliaryTopRightArea.reset();
    Screen hiddenNotch = notchedScreen();
    hiddenNotch.safeAreaTopInset = 0;
    Screen negativeInset = notchedScreen();
    negativeInset.safeAreaTopInset = -5;
    Screen nanInset = notchedScreen();
    nanInset.safeAreaTopInset = std::nan("");

    for (const Screen &screen : {noLeft, noRight, hiddenNotch, negativeInset, nanInset}) {
        const auto info = NotchGeometry::layoutInfo(screen);
        EXPECT_FALSE(info.hasNotch);
        EXPECT_FALSE(info.notchRect);
        EXPECT_EQ(info.notchWidth, 0);
        EXPECT_EQ(info.notchHeight, 0);
        EXPECT_EQ(info.anchorCenter, QPointF(756, 950));
        EXPECT_EQ(info.topEdgeY, 950);
    }

    const auto docked = NotchGeometry::layoutInfo(dockedScreen());
    EXPECT_EQ(docked.anchorCenter, QPointF(850, 1020)); // frame's centre, visible frame's top
    EXPECT_EQ(docked.topEdgeY, 1020);
}

TEST(NotchGeometry, OverlappingAreasGiveAnEmptyNotchCentredBetweenTheirEdges)
{
    Screen screen = notchedScreen();
    screen.auxiliaryTopLeftArea = QRectF(0, 950, 900, 32);
    const auto info = NotchGeometry::layoutInfo(screen);
    EXPECT_TRUE(info.hasNotch);
    EXPECT_EQ(info.notchWidth, 0);
    ASSERT_TRUE(info.notchRect);
    expectRect(*info.notchRect, 900, 950, 0, 32);
    EXPECT_EQ(info.anchorCenter.x(), 890);
}

TEST(NotchGeometry, EqualityComparesEveryFieldExactly)
{
    EXPECT_EQ(NotchGeometry::layoutInfo(notchedScreen()),
              NotchGeometry::layoutInfo(notchedScreen()));
    EXPECT_EQ(NotchGeometry::layoutInfo(dockedScreen()), NotchGeometry::layoutInfo(dockedScreen()));

    NotchGeometry::LayoutInfo absent;
    NotchGeometry::LayoutInfo emptyRect;
    emptyRect.notchRect = QRectF();
    EXPECT_FALSE(absent == emptyRect);

    // Differences far below Qt's fuzzy tolerance still count.
    const auto base = NotchGeometry::layoutInfo(notchedScreen());
    auto shiftedRect = base;
    shiftedRect.notchRect->moveLeft(700.0000000001);
    auto shiftedAnchor = base;
    shiftedAnchor.anchorCenter.setY(950.0000000001);
    auto otherTop = base;
    otherTop.topEdgeY = 981;
    EXPECT_FALSE(base == shiftedRect);
    EXPECT_FALSE(base == shiftedAnchor);
    EXPECT_FALSE(base == otherTop);
}

TEST(NotchGeometry, TrayFramesOnADisplayWithDocks)
{
    const Screen screen = dockedScreen();
    const QSizeF size(400, 120);
    auto frame = [&](TrayPosition position) {
        return NotchGeometry::trayFrame(screen, size, position);
    };
    // Hangs from the menu bar with no gap, centred on the whole display.
    expectRect(frame(TrayPosition::notch), 650, 900, 400, 120);
    expectRect(frame(TrayPosition::floatingTop), 650, 880, 400, 120);
    // The 80 pt dock is taller than the 28 pt lift: the tray rests on it.
    expectRect(frame(TrayPosition::floatingBottom), 650, 130, 400, 120);
    expectRect(frame(TrayPosition::topLeft), 180, 880, 400, 120);
    expectRect(frame(TrayPosition::topRight), 1160, 880, 400, 120);
    expectRect(frame(TrayPosition::bottomLeft), 180, 150, 400, 120);
    expectRect(frame(TrayPosition::bottomRight), 1160, 150, 400, 120);
}

TEST(NotchGeometry, NotchTrayCoversTheNotchFromTheDisplayTop)
{
    const QRectF frame =
        NotchGeometry::trayFrame(notchedScreen(), QSizeF(300, 100), TrayPosition::notch);
    expectRect(frame, 640, 882, 300, 100);
}

TEST(NotchGeometry, FloatingBottomKeepsClearOfTheBottomEdgeWithoutADock)
{
    Screen screen = dockedScreen();
    screen.visibleFrame = QRectF(100, 50, 1500, 970); // dock hidden
    EXPECT_EQ(NotchGeometry::trayFrame(screen, QSizeF(400, 120), TrayPosition::floatingBottom).y(),
              78);
}

TEST(NotchGeometry, UnusableContentSizesGiveAnEmptyPanelNotNaN)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const QSizeF size : {QSizeF(nan, nan), QSizeF(-50, -10), QSizeF(inf, inf)}) {
        for (const TrayPosition position : allCases<TrayPosition>()) {
            const QRectF frame = NotchGeometry::trayFrame(notchedScreen(), size, position);
            EXPECT_EQ(frame.size(), QSizeF(0, 0));
            EXPECT_TRUE(std::isfinite(frame.x()) && std::isfinite(frame.y()));
        }
    }
    expectRect(NotchGeometry::trayFrame(notchedScreen(), QSizeF(nan, 100), TrayPosition::topRight),
               1492, 830, 0, 100);
}

TEST(NotchGeometry, PlatformDisplaysHaveNoNotch)
{
    platform::Display display;
    display.screenFrame = QRectF(-1920, 0, 1920, 1080);

    const Screen whole = Screen::fromDisplay(display);
    EXPECT_EQ(whole.frame, display.screenFrame);
    EXPECT_EQ(whole.visibleFrame, display.screenFrame);
    EXPECT_EQ(whole.safeAreaTopInset, 0);
    EXPECT_FALSE(whole.auxiliaryTopLeftArea || whole.auxiliaryTopRightArea);
    EXPECT_FALSE(NotchGeometry::layoutInfo(whole).hasNotch);

    const Screen withPanel = Screen::fromDisplay(display, QRectF(-1920, 0, 1920, 1050));
    EXPECT_EQ(withPanel.visibleFrame, QRectF(-1920, 0, 1920, 1050));
    EXPECT_EQ(NotchGeometry::trayFrame(withPanel, QSizeF(200, 50), TrayPosition::notch),
              QRectF(-1060, 1000, 200, 50));
}
