#include "app/DesktopPlatform.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/x11/X11PanelWindows.h"
#include "platform/x11/X11PointerMonitor.h"

#include <QWidget>
#include <gtest/gtest.h>

using namespace platform;

namespace {

// The main display at root (1080, 400), a portrait display to its left and one of scale 2 to
// the right.
QList<Display> layout()
{
    QList<Display> displays(3);
    const QRect roots[] = {{0, 0, 1080, 1920}, {1080, 400, 1920, 1080}, {3000, 400, 3840, 2160}};
    for (int i = 0; i < 3; ++i) {
        displays[i].id = DisplayId(i + 1);
        displays[i].rootRect = roots[i];
    }
    displays[1].isMain = true;
    displays[2].scale = 2.0;
    return arrangeDisplays(displays);
}

} // namespace

TEST(PanelVisibleFrame, TheWorkAreaOfTheCurrentDesktopIsCutToEachDisplay)
{
    const QList<Display> displays = layout();
    // Desktop 1 leaves 40 pixels free below the main display's bottom edge.
    const QList<quint32> workArea = {0, 0, 6840, 2560, 0, 0, 6840, 1440};
    EXPECT_EQ(visibleFrameFromWorkArea(workArea, 1, displays[0]), QRectF(0, 40, 1920, 1040));
    // Points of the scale-2 display: its top 520 of 1080.
    EXPECT_EQ(visibleFrameFromWorkArea(workArea, 1, displays[2]), QRectF(1920, 560, 1920, 520));
    EXPECT_EQ(visibleFrameFromWorkArea(workArea, 0, displays[0]), displays[0].screenFrame);
    // Without the current desktop the first entry counts.
    EXPECT_EQ(visibleFrameFromWorkArea(workArea, std::nullopt, displays[1]),
              displays[1].screenFrame);
}

TEST(PanelVisibleFrame, AMissingOrUselessWorkAreaSaysNothing)
{
    const Display main = layout()[0];
    EXPECT_EQ(visibleFrameFromWorkArea({}, std::nullopt, main), std::nullopt);
    EXPECT_EQ(visibleFrameFromWorkArea({0, 0, 100, 100}, 1, main), std::nullopt);
    EXPECT_EQ(visibleFrameFromWorkArea({0, 0, 100}, 0, main), std::nullopt);
    EXPECT_EQ(visibleFrameFromWorkArea({0, 0, 500, 500}, 0, main), std::nullopt);
    // Huge values are clamped rather than wrapped into negative sizes.
    EXPECT_EQ(visibleFrameFromWorkArea({0, 0, 0xFFFFFFFFu, 0xFFFFFFFFu}, 0, main),
              main.screenFrame);
}

TEST(PointerButtons, WheelButtonsScrollTenPointsRightAndUpPositive)
{
    EXPECT_EQ(wheelButtonDelta(4), QPointF(0, 10));
    EXPECT_EQ(wheelButtonDelta(5), QPointF(0, -10));
    EXPECT_EQ(wheelButtonDelta(6), QPointF(-10, 0));
    EXPECT_EQ(wheelButtonDelta(7), QPointF(10, 0));
    EXPECT_EQ(wheelButtonDelta(1), std::nullopt);
    EXPECT_EQ(qtButton(3), Qt::RightButton);
    EXPECT_EQ(qtButton(8), Qt::BackButton);
    EXPECT_EQ(qtButton(4), Qt::NoButton);
    EXPECT_EQ(qtButtons(XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_3 | XCB_BUTTON_MASK_4),
              Qt::LeftButton | Qt::RightButton);
}

TEST(PlatformFactories, OffscreenTheMonitorNeverStartsAndPanelsKeepQtsAttributes)
{
    const std::unique_ptr<PointerMonitor> monitor = desktop::makePointerMonitor();
    EXPECT_FALSE(monitor->start());
    EXPECT_FALSE(monitor->isRunning());

    const std::shared_ptr<PanelWindows> panels = desktop::makePanelWindows();
    QWidget panel(nullptr, PanelWindows::windowFlags());
    panels->prepare(&panel, PanelLevel::topmost);
    panels->setInputRegion(&panel, QRegion(0, 0, 10, 10));
    EXPECT_TRUE(panel.testAttribute(Qt::WA_ShowWithoutActivating));
    EXPECT_TRUE(panel.testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_TRUE(panel.windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_EQ(panels->visibleFrame(layout()[0]), std::nullopt);
}
