#pragma once

#include "model/CaptureItem.h"
#include "platform/MoviePlayer.h"

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

// The recording a preview shows, played: opens its movie player stopped, publishes whether it
// plays, and lets a player that failed go while keeping why; playing it again tries a new
// player, as does playing a recording whose file was written over since its player opened it.
// Main thread.
class PreviewPlayback final : public QObject {
    Q_OBJECT

public:
    // makePlayer: empty, no recording is ever played.
    explicit PreviewPlayback(platform::MoviePlayerFactory makePlayer, QObject *parent = nullptr);
    ~PreviewPlayback() override;

    // Closes the player of the recording before, then opens one for the item when it is a
    // recording.
    void open(const std::optional<CaptureItem> &item);
    // Pauses and closes the player; nothing without one.
    void close();
    // Plays a stopped player, pauses a playing one; after a failure, or once the file is no
    // longer the one the player opened, opens the recording again and plays it.
    void toggle();

    // Null without a recording, or once its player failed until it is tried again.
    platform::MoviePlayer *player() const { return m_player.get(); }
    bool isPlaying() const { return m_isPlaying; }
    // Why the recording shown cannot be played; empty while it can.
    QString errorString() const { return m_error; }

signals:
    void isPlayingChanged(bool playing);
    // A new player replaced a failed one, or one whose file was written over.
    void playerChanged();
    // The player failed with this text and is closed once the signal has returned.
    void failed(const QString &text);

private:
    void setPlaying(bool playing);
    void openPlayer();

    platform::MoviePlayerFactory m_makePlayer;
    std::unique_ptr<platform::MoviePlayer> m_player;
    QUrl m_movie;
    // The file as the player opened it.
    std::optional<platform::FileVersion> m_openedVersion;
    bool m_isPlaying = false;
    QString m_error;
};
