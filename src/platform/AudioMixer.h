#pragma once

#include <QtGlobal>
#include <functional>
#include <mutex>
#include <vector>

namespace platform {

// Mixes several sources of interleaved stereo float samples, each chunk stamped with the
// steady-clock time of its first frame, into one stream on one time line. Samples heard at the
// same moment are summed and clipped to [-1, 1]. A source that falls behind holds the mix back
// for at most `maxLagUs`; after that the others go on without it (it counts as silence) and
// whatever it delivers later for the time already mixed is dropped. Safe to feed from several
// threads; the output is called, in order, on the thread whose push completed the mix.
class AudioMixer {
public:
    using Output = std::function<void(const float *samples, int frames, qint64 steadyTimeUs)>;

    // The default bound covers sources that hand over their sound in blocks of up to two
    // seconds (virtual and network sources do), at about a megabyte per source.
    AudioMixer(int sourceCount, Output output, qint64 maxLagUs = 3'000'000);

    // `samples` may be null for a stretch of silence.
    void push(int source, const float *samples, int frames, qint64 steadyTimeUs);
    // The source delivers nothing more: the rest is no longer held back by it.
    void endSource(int source);
    // Mixes out everything still held, as if every source had ended.
    void flush();

private:
    struct Source {
        // Frames on the mixer's time line from `startFrame` on, interleaved.
        std::vector<float> buffer;
        qint64 startFrame = 0;
        bool started = false;
        bool ended = false;

        qint64 endFrame() const;
    };

    qint64 frameAt(qint64 steadyTimeUs) const;
    // Mixes what is ready, and at least everything before `atLeast`.
    void mixReady(qint64 atLeast);

    std::mutex m_mutex;
    std::vector<Source> m_sources;
    Output m_output;
    qint64 m_maxLagFrames;
    bool m_hasOrigin = false;
    qint64 m_originUs = 0;
    // The next frame to mix: everything before it has gone out.
    qint64 m_mixedFrame = 0;
    std::vector<float> m_mix;
};

} // namespace platform
