#include "platform/AudioMixer.h"

#include "platform/AudioInput.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace platform {

namespace {

// Chunk times come from latency estimates and jitter by a few milliseconds; a chunk this close
// to where its source left off is taken as continuing it, so jitter never clicks.
constexpr qint64 continuityToleranceFrames = audioSampleRate * 40 / 1000;

} // namespace

qint64 AudioMixer::Source::endFrame() const
{
    return startFrame + qint64(buffer.size() / audioChannels);
}

AudioMixer::AudioMixer(int sourceCount, Output output, qint64 maxLagUs)
    : m_sources(std::max(sourceCount, 0)), m_output(std::move(output)),
      m_maxLagFrames(std::max<qint64>(maxLagUs, 0) * audioSampleRate / 1'000'000)
{
}

qint64 AudioMixer::frameAt(qint64 steadyTimeUs) const
{
    return qint64(std::llround(double(steadyTimeUs - m_originUs) * audioSampleRate / 1e6));
}

void AudioMixer::push(int source, const float *samples, int frames, qint64 steadyTimeUs)
{
    std::lock_guard lock(m_mutex);
    if (source < 0 || source >= int(m_sources.size()) || frames <= 0)
        return;
    Source &s = m_sources[source];
    if (s.ended)
        return;
    if (!m_hasOrigin) {
        m_hasOrigin = true;
        m_originUs = steadyTimeUs;
    }

    qint64 first = frameAt(steadyTimeUs);
    if (s.started && std::abs(first - s.endFrame()) <= continuityToleranceFrames)
        first = s.endFrame();
    s.started = true;

    // What arrives for time already mixed (or already buffered) is dropped, oldest first.
    qint64 skip = std::max<qint64>(0, m_mixedFrame - first);
    if (!s.buffer.empty())
        skip = std::max(skip, s.endFrame() - first);
    if (skip >= frames)
        return;
    first += skip;
    // A long pause in the source (a suspended device, say): what it had goes out now, and the
    // pause is never filled with silence, which could take any amount of memory.
    if (!s.buffer.empty() && first - s.endFrame() > m_maxLagFrames)
        mixReady(s.endFrame());
    if (s.buffer.empty())
        s.startFrame = first;
    else if (first > s.endFrame()) // a short gap in the source: silence
        s.buffer.resize(s.buffer.size() + size_t(first - s.endFrame()) * audioChannels, 0.0f);

    const size_t count = size_t(frames - skip) * audioChannels;
    if (samples) {
        const float *from = samples + skip * audioChannels;
        s.buffer.insert(s.buffer.end(), from, from + count);
    } else {
        s.buffer.resize(s.buffer.size() + count, 0.0f);
    }
    mixReady(0);
}

void AudioMixer::endSource(int source)
{
    std::lock_guard lock(m_mutex);
    if (source < 0 || source >= int(m_sources.size()) || m_sources[source].ended)
        return;
    m_sources[source].ended = true;
    mixReady(0);
}

void AudioMixer::flush()
{
    std::lock_guard lock(m_mutex);
    for (Source &s : m_sources)
        s.ended = true;
    mixReady(0);
}

void AudioMixer::mixReady(qint64 atLeast)
{
    // Mixed up to where every live source has delivered, or further when one lags too far.
    qint64 covered = std::numeric_limits<qint64>::max();
    qint64 latest = m_mixedFrame;
    for (const Source &s : m_sources) {
        const qint64 end = s.buffer.empty() ? m_mixedFrame : std::max(m_mixedFrame, s.endFrame());
        latest = std::max(latest, end);
        if (!s.ended)
            covered = std::min(covered, end);
    }
    if (covered == std::numeric_limits<qint64>::max())
        covered = latest;
    const qint64 target = std::max({covered, latest - m_maxLagFrames, atLeast});
    if (target <= m_mixedFrame)
        return;

    // Time for which no source delivered anything is skipped, not sent as silence.
    qint64 earliest = target;
    for (const Source &s : m_sources) {
        if (!s.buffer.empty())
            earliest = std::min(earliest, s.startFrame);
    }
    m_mixedFrame = std::max(m_mixedFrame, earliest);
    if (target <= m_mixedFrame)
        return;

    const qint64 frames = target - m_mixedFrame;
    m_mix.assign(size_t(frames) * audioChannels, 0.0f);
    for (Source &s : m_sources) {
        if (s.buffer.empty())
            continue;
        const qint64 from = std::max(s.startFrame, m_mixedFrame);
        const qint64 to = std::min(s.endFrame(), target);
        for (qint64 frame = from; frame < to; ++frame) {
            for (int channel = 0; channel < audioChannels; ++channel) {
                m_mix[size_t(frame - m_mixedFrame) * audioChannels + channel] +=
                    s.buffer[size_t(frame - s.startFrame) * audioChannels + channel];
            }
        }
        const qint64 consumed =
            std::clamp<qint64>(target - s.startFrame, 0, s.endFrame() - s.startFrame);
        s.buffer.erase(s.buffer.begin(), s.buffer.begin() + consumed * audioChannels);
        s.startFrame += consumed;
    }
    for (float &sample : m_mix)
        sample = std::clamp(sample, -1.0f, 1.0f);

    const qint64 timeUs =
        m_originUs + qint64(std::llround(double(m_mixedFrame) * 1e6 / audioSampleRate));
    m_mixedFrame = target;
    if (m_output)
        m_output(m_mix.data(), int(frames), timeUs);
}

} // namespace platform
