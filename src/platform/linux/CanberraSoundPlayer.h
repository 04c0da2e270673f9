#pragma once

#include "platform/Sounds.h"

#include <QSet>

struct ca_context;

namespace platform {

// Theme sounds through libcanberra (ALSA). libcanberra reports a missing sound device with the
// same code as a sound missing from the theme, so the two are told apart by whether ALSA has
// anywhere to play at all.
class CanberraSoundPlayer final : public SoundPlayer {
public:
    CanberraSoundPlayer();
    ~CanberraSoundPlayer() override;
    CanberraSoundPlayer(const CanberraSoundPlayer &) = delete;
    CanberraSoundPlayer &operator=(const CanberraSoundPlayer &) = delete;

    Outcome play(const QString &eventId, quint32 channel = 0) override;
    void stop(quint32 channel) override;

    // A sound card, or an ALSA configuration of the user or the system (which may route the
    // default device to a sound server or to nothing).
    static bool soundOutputConfigured();

private:
    ca_context *m_context = nullptr; // shared by the whole process, never destroyed
    QSet<quint32> m_channels;        // every channel played on, to cut short at destruction
};

} // namespace platform
