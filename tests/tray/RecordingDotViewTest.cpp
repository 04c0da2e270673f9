#include "support/AnimationClock.h"
#include "tray/RecordingDot.h"

#include <QTest>
#include <gtest/gtest.h>

TEST(RecordingDot, StartsSolidAndFadesOnlyWhileOnScreen)
{
    AnimationClock animations;
    RecordingDot dot;
    EXPECT_FALSE(dot.isBlinking());
    EXPECT_DOUBLE_EQ(dot.dotOpacity(), 1.0);
    EXPECT_EQ(dot.sizeHint(), QSize(8, 8));

    dot.show();
    EXPECT_TRUE(dot.isBlinking());
    animations.advanceBy(400);
    const double midway = dot.dotOpacity();
    EXPECT_LT(midway, 0.95);
    EXPECT_GE(midway, 0.2);

    dot.hide();
    EXPECT_FALSE(dot.isBlinking());
    EXPECT_DOUBLE_EQ(dot.dotOpacity(), 1.0);
    dot.show();
    EXPECT_TRUE(dot.isBlinking());
}
