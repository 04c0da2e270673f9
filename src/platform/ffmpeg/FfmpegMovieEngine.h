#pragma once

#include "platform/ffmpeg/FfmpegMovieReader.h"

#include <QAudioDevice>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>
#include <optional>

class QAudioSink;
class QIODevice;

namespace platform {

// One movie played on a thread of its own: opening, decoding, scaling and keeping time all
// happen there, so that a large or broken movie never holds up the interface. Each picture is
// shown when its time comes by the thread's own clock, and the sound is written to the output
// as it is read, so the two start together and run at the same rate. Commands are queued to the
// thread; what happens comes back as signals, each sent once per change, and pictures as "the
// newest image is ready", never more than one waiting.
class FfmpegMovieEngine final : public QObject {
    Q_OBJECT

public:
    FfmpegMovieEngine();
    ~FfmpegMovieEngine() override;

    // On the engine's thread. A null device: no sound.
    void open(const QString &path, const QAudioDevice &output);
    void play();
    void pause();
    void setMuted(bool muted);
    // Stops and frees everything, then ends the thread.
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
    void tick();
    void wakeIn(qint64 microseconds);
    qint64 now() const;
    void applySeek();
    void reachEnd();
    void fail(const QString &message);
    void reportPosition(qint64 position, bool now);
    void publish(const QImage &image, qint64 time);
    QSize frameBox();
    void startSound();
    void stopSound();
    void feedSound();
    // Runs reader work; false after reporting the failure.
    template <typename Work> bool attempt(Work &&work);

    std::unique_ptr<ffmpeg::MovieReader> m_reader;
    QTimer *m_timer = nullptr;
    QElapsedTimer m_clock;
    // Where the movie's time zero lies on m_clock while playing, in microseconds.
    qint64 m_origin = 0;
    std::optional<ffmpeg::MoviePicture> m_next;
    qint64 m_shownTime = 0;
    bool m_playing = false;
    bool m_failed = false;
    bool m_muted = false;
    QElapsedTimer m_positionClock;

    std::unique_ptr<QAudioSink> m_sink;
    QIODevice *m_soundOut = nullptr;
    // Sound read but not yet taken by the output.
    QByteArray m_sound;
    int m_soundBytesPerSecond = 0;
    int m_soundFrameBytes = 4;

    std::mutex m_mutex;
    qint64 m_seekTarget = -1;
    QSize m_frameSize;
    Shown m_shown;
    bool m_announced = false;
};

} // namespace platform
