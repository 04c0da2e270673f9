#include "platform/linux/CanberraSoundPlayer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <canberra.h>

namespace platform {
namespace {

bool soundCardPresent()
{
    QFile cards(QStringLiteral("/proc/asound/cards"));
    if (cards.open(QIODevice::ReadOnly)) {
        const QByteArray text = cards.readAll().trimmed();
        if (!text.isEmpty() && !text.contains("no soundcards"))
            return true;
    }
    return !QDir(QStringLiteral("/dev/snd"))
                .entryList({QStringLiteral("pcmC*")}, QDir::System | QDir::Files)
                .isEmpty();
}

bool alsaConfigurationPresent()
{
    const QString home = QDir::homePath();
    const QString configHome = qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME")
                                   ? home + QStringLiteral("/.config")
                                   : QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    const QString files[] = {home + QStringLiteral("/.asoundrc"),
                             configHome + QStringLiteral("/alsa/asoundrc"),
                             QStringLiteral("/etc/asound.conf")};
    for (const QString &file : files) {
        if (QFileInfo::exists(file))
            return true;
    }
    return false;
}

} // namespace

// libcanberra's ALSA backend keeps a playback thread per sound that touches the
// context until the sound ends; destroying the context under it crashes, and
// cancelling does not stop that thread at once. So the process keeps one
// context for its whole life and never destroys it: players only cancel their
// own channels.
static ca_context *sharedContext()
{
    static ca_context *const context = [] {
        ca_context *made = nullptr;
        if (ca_context_create(&made) != CA_SUCCESS)
            return static_cast<ca_context *>(nullptr);
        ca_context_change_props(made, CA_PROP_APPLICATION_NAME, "Corvanta", CA_PROP_APPLICATION_ID,
                                "com.corvanta.app", nullptr);
        return made;
    }();
    return context;
}

CanberraSoundPlayer::CanberraSoundPlayer() : m_context(sharedContext()) {}

CanberraSoundPlayer::~CanberraSoundPlayer()
{
    if (!m_context)
        return;
    for (quint32 channel : std::as_const(m_channels))
        ca_context_cancel(m_context, channel);
}

SoundPlayer::Outcome CanberraSoundPlayer::play(const QString &eventId, quint32 channel)
{
    if (!m_context)
        return Outcome::unavailable;
    const QByteArray id = eventId.toUtf8();
    m_channels.insert(channel);
    const int result =
        ca_context_play(m_context, channel, CA_PROP_EVENT_ID, id.constData(), nullptr);
    if (result == CA_SUCCESS)
        return Outcome::started;
    if (result == CA_ERROR_NOTFOUND && soundOutputConfigured())
        return Outcome::unknownSound;
    return Outcome::unavailable;
}

void CanberraSoundPlayer::stop(quint32 channel)
{
    if (m_context)
        ca_context_cancel(m_context, channel);
}

bool CanberraSoundPlayer::soundOutputConfigured()
{
    return soundCardPresent() || alsaConfigurationPresent();
}

} // namespace platform
