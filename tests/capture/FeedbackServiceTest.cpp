#include "capture/FeedbackService.h"
#include "support/FakeHaptics.h"
#include "support/FakeSoundPlayer.h"
#include "support/Joined.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using platform::HapticPattern;

namespace {

class FeedbackServiceTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeSoundPlayer> sounds = std::make_shared<FakeSoundPlayer>();
    std::shared_ptr<FakeHaptics> haptics = std::make_shared<FakeHaptics>();
    FeedbackService feedback{sounds, haptics};
};

TEST_F(FeedbackServiceTest, EachEventGivesWhatItsFlagsAskFor)
{
    feedback.playCapture(false, false);
    feedback.playSaved(false, false);
    feedback.playCopied(false, false);
    EXPECT_TRUE(sounds->calls.isEmpty());
    EXPECT_TRUE(haptics->performed.isEmpty());

    feedback.playCapture(true, true);
    feedback.playSaved(true, false);
    feedback.playCopied(false, true);
    feedback.playCopied(true, false);
    EXPECT_EQ(joined(sounds->calls),
              joined({"stop(1)", "play(screen-capture@1)", "play(complete@0)", "play(message@0)"}));
    EXPECT_EQ(haptics->performed,
              QList<HapticPattern>({HapticPattern::generic, HapticPattern::alignment}));
}

TEST_F(FeedbackServiceTest, ASecondCaptureRestartsTheShutter)
{
    feedback.playCapture(true, false);
    feedback.playCapture(true, false);
    EXPECT_EQ(joined(sounds->calls),
              joined({"stop(1)", "play(screen-capture@1)", "stop(1)", "play(screen-capture@1)"}));
}

TEST_F(FeedbackServiceTest, AThemeWithoutTheScreenCaptureSoundPlaysTheCameraShutter)
{
    sounds->unknown = {QStringLiteral("screen-capture")};
    feedback.playCapture(true, false);
    EXPECT_EQ(feedback.shutterSound(), std::nullopt);
    feedback.playCapture(true, false);
    EXPECT_EQ(joined(sounds->calls), joined({"stop(1)", "play(screen-capture@1)",
                                             "play(camera-shutter@0)", "play(camera-shutter@0)"}));
}

TEST_F(FeedbackServiceTest, WithoutASoundDeviceNothingIsReportedAndTapsStillRun)
{
    LogCapture log;
    sounds->available = false;
    feedback.playCapture(true, true);
    feedback.playSaved(true, true);
    // A missing device says nothing about the theme: the shutter stays.
    EXPECT_EQ(feedback.shutterSound(), QStringLiteral("screen-capture"));
    EXPECT_FALSE(sounds->calls.contains("play(camera-shutter@0)"));
    EXPECT_EQ(haptics->performed.size(), 2);
    EXPECT_TRUE(log.lines().isEmpty());
}

} // namespace
