#pragma once

#include <QString>

namespace platform {

// Sounds of the desktop's sound theme, named by their freedesktop event identifiers
// ("screen-capture", "camera-shutter", "complete", "message", ...).
class SoundPlayer {
public:
    enum class Outcome {
        started,
        // The theme has no sound for the identifier.
        unknownSound,
        // Nothing can be played: no sound device, or the sound system refused.
        unavailable,
    };

    virtual ~SoundPlayer() = default;

    // Starts the sound and returns without waiting for it. A non-zero channel tags it, so that
    // stop() can cut it short.
    virtual Outcome play(const QString &eventId, quint32 channel = 0) = 0;
    // Stops whatever still plays on the channel; nothing when nothing does.
    virtual void stop(quint32 channel) = 0;
};

} // namespace platform
