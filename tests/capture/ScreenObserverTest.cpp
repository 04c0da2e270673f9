#include "capture/ScreenObserver.h"
#include "capture/DisplayHelpers.h"
#include "support/FakeDisplays.h"
#include "support/Joined.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

TEST(ScreenObserverTest, EveryChangeRunsTheCallbackAfterItsLogLineAndNothingAfterDestruction)
{
    FakeDisplays displays;
    LogCapture log;
    QStringList order;
    auto observer = std::make_unique<ScreenObserver>(&displays, [&] {
        order << QStringLiteral("change after %1").arg(log.messages("overlay").size());
    });
    for (int i = 0; i < 3; ++i)
        displays.change({});
    EXPECT_EQ(joined(order), joined({"change after 1", "change after 2", "change after 3"}));
    EXPECT_EQ(log.messages("overlay"),
              QStringList(3, QStringLiteral("Screen parameters changed notification received")));

    observer.reset();
    log.clear();
    displays.change({});
    EXPECT_EQ(order.size(), 3);
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(DisplayHelpersTest, LookupsFindTheirDisplayOrFallBack)
{
    // A main display and, to its right, a taller one at twice the scale.
    FakeDisplays displays({FakeDisplays::make(5, QRect(0, 0, 1000, 800), 1.0, true),
                           FakeDisplays::make(9, QRect(1000, 0, 1600, 2000), 2.0)});
    const platform::Display second = *screenForDisplayID(displays, 9);
    EXPECT_EQ(displayID(second), 9u);
    EXPECT_EQ(frameRect(second), QRectF(1000, 0, 800, 1000));
    EXPECT_EQ(scaleFactor(displays, 9), 2.0);
    EXPECT_EQ(screenForDisplayID(displays, 12345)->id, 5u);
    EXPECT_EQ(scaleFactor(displays, 12345), 1.0);

    // Screen coordinates: y up from the bottom of the main display.
    displays.setPointer(QPointF(1200, 500));
    EXPECT_EQ(screenContainingMouse(displays)->id, 9u);
    displays.setPointer(QPointF(500, -100)); // below the main display: outside every frame
    EXPECT_EQ(screenContainingMouse(displays)->id, 5u);
    displays.setPointer(std::nullopt);
    EXPECT_EQ(screenContainingMouse(displays)->id, 5u);

    displays.set({});
    EXPECT_EQ(screenForDisplayID(displays, 5), std::nullopt);
    EXPECT_EQ(screenContainingMouse(displays), std::nullopt);
    EXPECT_EQ(scaleFactor(displays, 5), 2.0);
}

} // namespace
