#pragma once

#include "platform/Haptics.h"
#include "platform/Sounds.h"

#include <QString>
#include <memory>
#include <optional>

// Audible and tactile signs that a capture landed, was saved or was copied. Callers decide
// whether each is wanted (usually from the soundEffectsEnabled and hapticsEnabled settings);
// nothing here fails or waits for a sound. Main thread only.
class FeedbackService final {
public:
    FeedbackService(std::shared_ptr<platform::SoundPlayer> soundPlayer,
                    std::shared_ptr<platform::Haptics> haptics);

    // The shutter; a capture while the previous shutter still sounds restarts it.
    void playCapture(bool sound, bool haptic);
    void playSaved(bool sound, bool haptic);
    void playCopied(bool sound, bool haptic);

    // The theme's screen-capture sound while the theme is known to have it; nothing once the
    // theme turned out to lack it, and captures then play the camera shutter instead.
    std::optional<QString> shutterSound() const { return m_shutterSound; }

private:
    std::shared_ptr<platform::SoundPlayer> m_soundPlayer;
    std::shared_ptr<platform::Haptics> m_haptics;
    std::optional<QString> m_shutterSound;
};
