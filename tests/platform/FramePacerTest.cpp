#include "platform/FramePacer.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using platform::FramePacer;
using Clock = FramePacer::Clock;

// The times a frame source woken `late` after each due tick reads its frames at, and last when
// the next one is due; from a start at zero on a clock the test sets.
std::vector<Clock::duration> readTimes(int frameRate, const std::vector<Clock::duration> &late)
{
    const Clock::time_point start{};
    FramePacer pacer(frameRate, start);
    std::vector<Clock::duration> reads;
    for (Clock::duration lateness : late) {
        const Clock::time_point now = pacer.due() + lateness;
        reads.push_back(now - start);
        pacer.advance(now);
    }
    reads.push_back(pacer.due() - start);
    return reads;
}

TEST(FramePacer, FramesFollowTheTicksOfTheRateAndLateTicksAreSkippedNotCaughtUp)
{
    // 20 frames a second: a tick every 50 ms. A late wake moves no later tick; a wake a whole
    // period late or more reads that one frame and goes on at the next tick still ahead.
    const std::vector<Clock::duration> reads = readTimes(20, {0ms, 10ms, 49ms, 50ms, 130ms, 0ms});
    const std::vector<Clock::duration> expected = {0ms, 60ms, 149ms, 200ms, 380ms, 400ms, 450ms};
    EXPECT_EQ(reads, expected);

    // Woken up to a period late each time, a second still has its twenty frames and no more.
    std::vector<Clock::duration> jitter;
    for (int i = 0; i < 20; ++i)
        jitter.push_back(std::chrono::milliseconds((i * 7) % 50));
    EXPECT_EQ(readTimes(20, jitter).back(), 1000ms);
}

TEST(FramePacer, ThePeriodIsTheRatesWholeMicrosecondsAndNeverZero)
{
    const Clock::time_point start{};
    EXPECT_EQ(FramePacer(30, start).period(), 33'333us);
    EXPECT_EQ(FramePacer(2'000'000, start).period(), 1us) << "beyond a million a second";
    EXPECT_EQ(FramePacer(0, start).period(), 1s) << "no rate reads one frame a second";
    EXPECT_EQ(FramePacer(-5, start).period(), 1s);
}

} // namespace
