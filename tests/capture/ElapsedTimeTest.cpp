#include "capture/ElapsedTime.h"

#include <gtest/gtest.h>
#include <limits>

TEST(ElapsedTime, TruncatesToWholeSecondsAndLetsMinutesRunPast59)
{
    EXPECT_EQ(formatElapsedTime(0), "00:00");
    EXPECT_EQ(formatElapsedTime(65.9), "01:05");
    EXPECT_EQ(formatElapsedTime(6000), "100:00");
    EXPECT_EQ(formatElapsedTime(-3), "00:00");
    EXPECT_EQ(formatElapsedTime(std::numeric_limits<double>::quiet_NaN()), "00:00");
}
