#pragma once

#include "platform/qt/VideoFrameScaler.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QObject>
#include <QUrl>
#include <QVideoFrame>
#include <memory>
#include <mutex>
#include <optional>

class QAudioOutput;
class QMediaPlayer;
class QVideoSink;

namespace platform {

// The Qt Multimedia player of one movie on a thread of its own: opening a movie, the player's
// status changes and turning its frames into images all happen there, so that a large or broken
// movie never holds up the interface. The commands are queued to that thread; what happens
// comes back as signals, each sent once per change, and frames as "the newest image is ready",
// never more than one waiting.
class QtMovieEngine final : public QObject {
    Q_OBJECT

public:
    QtMovieEngine();
    ~QtMovieEngine() override;

    // On the engine's thread.
    void open(const QUrl &url, bool withSound);
    void play();
    void pause();
    void setMuted(bool muted);
    // Stops and frees the player, then ends the thread.
    void shutDown();

    // From any thread.
    void requestSeek(qint64 position);
    void setFrameSize(const QSize &size);
    struct Shown {
        QImage image;
        qint64 time = 0;
    };
    // The newest image; the next one is announced again after this.
    Shown takeShown();

signals:
    void playingChanged(bool playing);
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void ended();
    void failed(const QString &message);
    void frameReady();

private:
    void frameArrived(const QVideoFrame &frame);
    void waitForItsTime(qint64 startUs);
    void setPacing(bool on);
    void convertPending();
    void applySeek();
    void reachEnd();
    void fail(const QString &message);
    void reportPosition(qint64 position, bool now);
    void publish(const QImage &image, qint64 time);

    std::unique_ptr<QMediaPlayer> m_player;
    std::unique_ptr<QVideoSink> m_sink;
    std::unique_ptr<QAudioOutput> m_audio;
    bool m_failed = false;
    bool m_ended = false;
    bool m_playing = false;
    QElapsedTimer m_positionClock;
    VideoFrameScaler m_scaler;
    // The CPUs the frames are scaled on, apart from those of the decoders.
    QList<int> m_scalingCpus;
    // The first picture, shown again once the movie has played to its end and rewound.
    QImage m_first;

    std::mutex m_mutex;
    QVideoFrame m_pending;
    bool m_convertQueued = false;
    qint64 m_seekTarget = -1;
    QSize m_frameSize;
    Shown m_shown;
    bool m_announced = false;
    // Where the movie's time zero lies on m_paceClock while playing, in microseconds; unknown
    // until the first frame after a start or a seek sets it.
    bool m_pacing = false;
    std::optional<qint64> m_paceOrigin;
    QElapsedTimer m_paceClock;
};

} // namespace platform
