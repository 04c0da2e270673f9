#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>

class QAudioDevice;

namespace platform::ffmpeg {

// Interleaved signed 16-bit samples, the shape a reader hands its sound out in.
struct SoundShape {
    int sampleRate = 48000;
    int channels = 2;
};

// Where a movie's sound is played, and how much of it has been heard: the clock a movie with
// sound keeps. It holds little (a fraction of a second), so that pausing, moving and muting are
// heard at once. Used on one thread.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;

    // Starts afresh: nothing held, nothing heard.
    virtual void start() = 0;
    // False once it cannot play (no device, or the device went): nothing it reports is heard.
    virtual bool isWorking() const = 0;
    // Drops what it holds; start() begins again.
    virtual void stop() = 0;
    // Holds what it has, unheard, until resumed.
    virtual void suspend() = 0;
    virtual void resume() = 0;
    // Takes what it has room for; the bytes taken.
    virtual qint64 write(const char *data, qint64 size) = 0;
    virtual qint64 bytesFree() const = 0;
    // Microseconds of sound heard since start(): written, less what is still on its way. The
    // last of what was written may be counted only once more follows.
    virtual qint64 heard() const = 0;
    virtual void setVolume(double volume) = 0;
};

// The sound a movie can be played with: its shape, and outputs of that shape. No shape: no
// sound output exists.
struct SoundOutputs {
    std::optional<SoundShape> shape;
    std::function<std::unique_ptr<SoundOutput>()> make;
};

// Outputs through Qt Multimedia on `device`; none for a null device or one that refuses
// 16-bit sound.
SoundOutputs qtSoundOutputs(const QAudioDevice &device);

} // namespace platform::ffmpeg
