#include "platform/AudioMixer.h"

#include "platform/AudioInput.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using platform::audioChannels;
using platform::AudioMixer;

// 10 ms at 44100 Hz.
constexpr int chunkFrames = 441;
constexpr qint64 chunkUs = 10'000;
constexpr qint64 t0 = 5'000'000;

struct Collected {
    std::vector<qint64> times;
    std::vector<int> frameCounts;
    std::vector<float> samples;

    AudioMixer::Output output()
    {
        return [this](const float *data, int frames, qint64 timeUs) {
            times.push_back(timeUs);
            frameCounts.push_back(frames);
            samples.insert(samples.end(), data, data + frames * audioChannels);
        };
    }
    int frames() const { return int(samples.size() / audioChannels); }
    float left(int frame) const { return samples[size_t(frame) * audioChannels]; }
    float right(int frame) const { return samples[size_t(frame) * audioChannels + 1]; }
};

std::vector<float> chunk(float left, float right, int frames = chunkFrames)
{
    std::vector<float> samples;
    for (int i = 0; i < frames; ++i) {
        samples.push_back(left);
        samples.push_back(right);
    }
    return samples;
}

void push(AudioMixer &mixer, int source, const std::vector<float> &samples, qint64 timeUs)
{
    mixer.push(source, samples.data(), int(samples.size() / audioChannels), timeUs);
}

} // namespace

TEST(AudioMixer, OneSourcePassesThroughWithJitterSmoothedAndPausesNotFilled)
{
    Collected out;
    AudioMixer mixer(1, out.output());
    push(mixer, 0, chunk(0.25f, -0.25f), t0);
    // A few milliseconds of timing jitter continue the stream seamlessly.
    push(mixer, 0, chunk(0.5f, -0.5f), t0 + chunkUs + 2'000);
    ASSERT_EQ(out.times, (std::vector<qint64>{t0, t0 + chunkUs}));
    EXPECT_EQ(out.frames(), 2 * chunkFrames);
    EXPECT_FLOAT_EQ(out.left(0), 0.25f);
    EXPECT_FLOAT_EQ(out.right(chunkFrames), -0.5f);

    // A minute without sound is a jump in time, not a minute of zeros.
    push(mixer, 0, chunk(0.1f, 0.1f), t0 + 60'000'000);
    ASSERT_EQ(out.times.size(), 3u);
    EXPECT_EQ(out.times.back(), t0 + 60'000'000);
    EXPECT_EQ(out.frameCounts.back(), chunkFrames);
}

TEST(AudioMixer, SourcesHeardTogetherAreSummedAndClipped)
{
    Collected out;
    AudioMixer mixer(2, out.output());
    push(mixer, 0, chunk(0.7f, 0.2f), t0);
    EXPECT_EQ(out.frames(), 0) << "the second source is waited for";
    push(mixer, 1, chunk(0.6f, 0.3f), t0);
    ASSERT_EQ(out.frames(), chunkFrames) << "one stream, not two interleaved";
    EXPECT_EQ(out.times.front(), t0);
    EXPECT_FLOAT_EQ(out.left(0), 1.0f);
    EXPECT_FLOAT_EQ(out.right(chunkFrames - 1), 0.5f);

    push(mixer, 0, chunk(-0.8f, 0), t0 + chunkUs);
    push(mixer, 1, chunk(-0.5f, 0), t0 + chunkUs);
    EXPECT_FLOAT_EQ(out.left(chunkFrames), -1.0f);
}

TEST(AudioMixer, SourcesAreAlignedByTime)
{
    Collected out;
    AudioMixer mixer(2, out.output());
    push(mixer, 0, chunk(0.1f, 0.1f, 2 * chunkFrames), t0);
    // The microphone starts 10 ms after the system sound.
    push(mixer, 1, chunk(0.2f, 0.2f), t0 + chunkUs);
    ASSERT_EQ(out.frames(), 2 * chunkFrames);
    EXPECT_FLOAT_EQ(out.left(chunkFrames - 1), 0.1f);
    EXPECT_FLOAT_EQ(out.left(chunkFrames), 0.3f);
    EXPECT_FLOAT_EQ(out.left(2 * chunkFrames - 1), 0.3f);
}

TEST(AudioMixer, LaggingSourceHoldsTheOtherBackOnlyUpToTheBoundAndLosesItsLateSound)
{
    Collected out;
    AudioMixer mixer(2, out.output(), 100'000);
    for (int i = 0; i < 30; ++i)
        push(mixer, 0, chunk(0.1f, 0.1f), t0 + i * chunkUs);
    // 300 ms delivered, at most 100 ms of it held back.
    EXPECT_EQ(out.frames(), 20 * chunkFrames);

    // The lagging source's sound for time already mixed is dropped ...
    push(mixer, 1, chunk(0.5f, 0.5f), t0);
    EXPECT_EQ(out.frames(), 20 * chunkFrames);
    // ... and what it delivers for time still held is mixed in.
    push(mixer, 1, chunk(0.5f, 0.5f), t0 + 25 * chunkUs);
    ASSERT_EQ(out.frames(), 26 * chunkFrames);
    EXPECT_FLOAT_EQ(out.left(25 * chunkFrames - 1), 0.1f);
    EXPECT_FLOAT_EQ(out.left(25 * chunkFrames), 0.6f);
    for (size_t i = 1; i < out.times.size(); ++i)
        EXPECT_GT(out.times[i], out.times[i - 1]);
}

TEST(AudioMixer, EndedSourceNoLongerHoldsTheOtherBackAndFlushLosesNothingHeld)
{
    Collected out;
    AudioMixer mixer(3, out.output());
    push(mixer, 0, chunk(0.4f, 0.4f), t0);
    push(mixer, 1, chunk(0.1f, 0.1f, 2 * chunkFrames), t0);
    EXPECT_EQ(out.frames(), 0);
    mixer.endSource(2);
    EXPECT_EQ(out.frames(), chunkFrames);
    EXPECT_FLOAT_EQ(out.left(0), 0.5f);

    // The second source's later half is held for the first; a stop takes it out as it is.
    mixer.flush();
    ASSERT_EQ(out.frames(), 2 * chunkFrames);
    EXPECT_FLOAT_EQ(out.left(chunkFrames), 0.1f);
    push(mixer, 0, chunk(0.4f, 0.4f), t0 + 2 * chunkUs);
    EXPECT_EQ(out.frames(), 2 * chunkFrames) << "nothing after the flush";
}
