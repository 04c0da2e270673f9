#pragma once

#include <QString>
#include <functional>
#include <memory>

namespace platform {

// Sound recorded with a movie: 44100 Hz, two channels, interleaved 32-bit floats.
inline constexpr int audioSampleRate = 44100;
inline constexpr int audioChannels = 2;

// One running capture of sound. Stopping (or destroying) it hands over what is still held back,
// then joins its thread; the sink is never called afterwards. Never stopped from the sink.
class AudioCapture {
public:
    virtual ~AudioCapture() = default;
    virtual void stop() = 0;
};

// What the desktop offers to record sound from: the system sound (what the default output
// plays) and the microphone (the default input).
class AudioInputs {
public:
    // Called on the capture's own thread with `frames` frames of interleaved samples. The time
    // is the std::chrono::steady_clock time, in microseconds, at which the first frame was
    // heard. Calls may begin before start() returns, carry sound heard shortly before it, and
    // lag the present by as much as the slower source does (up to a few seconds); a stretch
    // in which no source delivered anything is skipped, so times can jump forward.
    using Sink = std::function<void(const float *samples, int frames, qint64 steadyTimeUs)>;

    virtual ~AudioInputs() = default;

    // Starts recording from the sources asked for, mixed into one stream. A source that cannot
    // be opened is left out (and logged); nothing at all when none could be opened, with the
    // reason in `error` when given.
    virtual std::unique_ptr<AudioCapture> start(bool systemSound, bool microphone, Sink sink,
                                                QString *error = nullptr) = 0;
};

} // namespace platform
