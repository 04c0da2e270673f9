#pragma once

#include "platform/ffmpeg/FfmpegMovieReader.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>
#include <memory>
#include <mutex>
#include <optional>

namespace platform {

// One movie played on a thread of its own: opening, decoding, scaling and keeping time all
// happen there, so that a large or broken movie never holds up the interface. While the movie's
// sound plays, the sound is the clock: each picture is shown when the sound of its time has been
// heard, however late the output starts or slowly it goes. Without sound (or where the movie has
// none for a stretch) the thread's own clock takes over from where the sound was. Commands are
// queued to the thread; what happens comes back as signals, each sent once per change, and
// pictures as "the newest image is ready", never more than one waiting.
class FfmpegMovieEngine final : public QObject {
    Q_OBJECT

public:
    FfmpegMovieEngine();
    ~FfmpegMovieEngine() override;

    // On the engine's thread. Outputs without a shape: no sound.
    void open(const QString &path, const ffmpeg::SoundOutputs &outputs);
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
    // Where the movie is, in microseconds: by the sound heard when it leads, else by the clock.
    qint64 movieTime(qint64 until);
    bool soundLeads(qint64 until) const;
    qint64 soundBytesToUs(qint64 bytes) const;
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

    std::unique_ptr<ffmpeg::SoundOutput> m_output;
    bool m_soundStarted = false;
    // Started and not paused.
    bool m_soundRunning = false;
    // The movie's time of the first sample the output was given since it started.
    qint64 m_soundStart = 0;
    // Sound read but not yet taken by the output.
    QByteArray m_sound;
    // Silence follows the movie's last sound in m_sound.
    bool m_soundTailed = false;
    ffmpeg::SoundShape m_soundShape;

    std::mutex m_mutex;
    qint64 m_seekTarget = -1;
    QSize m_frameSize;
    Shown m_shown;
    bool m_announced = false;
};

} // namespace platform
