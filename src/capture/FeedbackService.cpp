#include "capture/FeedbackService.h"

namespace {

// The shutter plays on a channel of its own so that the next capture can cut it short.
constexpr quint32 shutterChannel = 1;

const QString screenCaptureSound = QStringLiteral("screen-capture");
// Played where the theme has no screen-capture sound.
const QString fallbackShutterSound = QStringLiteral("camera-shutter");
const QString savedSound = QStringLiteral("complete");
const QString copiedSound = QStringLiteral("message");

} // namespace

FeedbackService::FeedbackService(std::shared_ptr<platform::SoundPlayer> soundPlayer,
                                 std::shared_ptr<platform::Haptics> haptics)
    : m_soundPlayer(std::move(soundPlayer)), m_haptics(std::move(haptics)),
      m_shutterSound(screenCaptureSound)
{
}

void FeedbackService::playCapture(bool sound, bool haptic)
{
    if (sound) {
        bool played = false;
        if (m_shutterSound) {
            m_soundPlayer->stop(shutterChannel);
            const platform::SoundPlayer::Outcome outcome =
                m_soundPlayer->play(*m_shutterSound, shutterChannel);
            played = outcome != platform::SoundPlayer::Outcome::unknownSound;
            // The theme will not grow the sound while we run.
            if (!played)
                m_shutterSound.reset();
        }
        if (!played)
            m_soundPlayer->play(fallbackShutterSound);
    }
    if (haptic)
        m_haptics->perform(platform::HapticPattern::generic);
}

void FeedbackService::playSaved(bool sound, bool haptic)
{
    if (sound)
        m_soundPlayer->play(savedSound);
    if (haptic)
        m_haptics->perform(platform::HapticPattern::generic);
}

void FeedbackService::playCopied(bool sound, bool haptic)
{
    if (sound)
        m_soundPlayer->play(copiedSound);
    if (haptic)
        m_haptics->perform(platform::HapticPattern::alignment);
}
