#pragma once

#include "platform/Sounds.h"
#include "support/EventLog.h"

#include <QSet>
#include <QStringList>

// Records "play(<id>@<channel>)" and "stop(<channel>)" in order, also in `log` as
// "sound.play(...)" / "sound.stop(...)" when one is given. Sounds in `unknown` are not in the
// theme; with `available` false nothing can play.
class FakeSoundPlayer : public platform::SoundPlayer {
public:
    Outcome play(const QString &eventId, quint32 channel = 0) override
    {
        record(QStringLiteral("play(%1@%2)").arg(eventId).arg(channel));
        if (!available)
            return Outcome::unavailable;
        if (unknown.contains(eventId))
            return Outcome::unknownSound;
        return Outcome::started;
    }
    void stop(quint32 channel) override { record(QStringLiteral("stop(%1)").arg(channel)); }

    QStringList calls;
    QSet<QString> unknown;
    bool available = true;
    EventLog *log = nullptr;

private:
    void record(const QString &call)
    {
        calls << call;
        if (log)
            log->add(QStringLiteral("sound.") + call);
    }
};
