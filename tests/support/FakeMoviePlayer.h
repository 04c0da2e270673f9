#pragma once

#include "platform/MoviePlayer.h"

#include <QStringList>

// Plays nothing; writes "play", "pause", "seek <ms>" and, once it is made to finish, "rewound"
// into `log`, and reports its state the way a real player does.
class FakeMoviePlayer final : public platform::MoviePlayer {
public:
    explicit FakeMoviePlayer(QStringList &log) : m_log(log) {}
    void play() override
    {
        m_log << QStringLiteral("play");
        setPlaying(true);
    }
    void pause() override
    {
        m_log << QStringLiteral("pause");
        setPlaying(false);
    }
    void seek(qint64 position) override { m_log << QStringLiteral("seek %1").arg(position); }
    bool isPlaying() const override { return m_playing; }
    void setMuted(bool muted) override { emit mutedChanged(m_muted = muted); }
    bool isMuted() const override { return m_muted; }
    qint64 position() const override { return 0; }
    qint64 duration() const override { return 1000; }
    void setFrameSize(const QSize &) override {}
    QImage currentFrame() const override { return {}; }
    qint64 currentFrameTime() const override { return 0; }
    QString errorString() const override { return {}; }
    // Played to the end: stopped and rewound by the player itself.
    void finish()
    {
        m_playing = false;
        m_log << QStringLiteral("rewound");
        emit playingChanged(false);
        emit reachedEnd();
    }

private:
    void setPlaying(bool playing)
    {
        m_playing = playing;
        emit playingChanged(playing);
    }
    QStringList &m_log;
    bool m_playing = false;
    bool m_muted = false;
};
