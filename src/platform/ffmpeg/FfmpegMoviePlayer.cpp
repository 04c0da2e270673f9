#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "platform/ffmpeg/FfmpegMovieEngine.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMediaDevices>
#include <QThread>
#include <mutex>

namespace platform {

namespace {

// Threads of players that were closed and are still stopping theirs. Closing a player never
// waits for its thread; the application object waits for the last ones when it goes.
struct StoppingThreads {
    std::mutex mutex;
    QList<QThread *> threads;
    bool registered = false;

    static StoppingThreads &instance()
    {
        static StoppingThreads threads;
        return threads;
    }

    void add(QThread *thread)
    {
        {
            std::lock_guard lock(mutex);
            if (!registered && QCoreApplication::instance()) {
                qAddPostRoutine(&StoppingThreads::waitForAll);
                registered = true;
            }
            threads.append(thread);
        }
        QObject::connect(thread, &QThread::finished, thread, [thread] {
            {
                std::lock_guard lock(instance().mutex);
                instance().threads.removeOne(thread);
            }
            thread->deleteLater();
        });
    }

    static void waitForAll()
    {
        QList<QThread *> left;
        {
            std::lock_guard lock(instance().mutex);
            left = std::exchange(instance().threads, {});
        }
        for (QThread *thread : left) {
            // Only the hand-back to the event loop, which no longer runs: the engine still goes
            // when its thread ends.
            QObject::disconnect(thread, &QThread::finished, thread, nullptr);
            if (thread->wait(QDeadlineTimer(5000)))
                delete thread;
        }
    }
};

class FfmpegMoviePlayer final : public MoviePlayer {
public:
    FfmpegMoviePlayer(const QUrl &url, const ffmpeg::SoundOutputs &sound)
    {
        m_thread = new QThread;
        m_thread->setObjectName(QStringLiteral("Movie player"));
        m_engine = new FfmpegMovieEngine;
        m_engine->moveToThread(m_thread);
        connect(m_thread, &QThread::finished, m_engine, &QObject::deleteLater);
        connect(m_engine, &FfmpegMovieEngine::playingChanged, this, [this](bool playing) {
            m_playing = playing;
            emit playingChanged(playing);
        });
        connect(m_engine, &FfmpegMovieEngine::positionChanged, this, [this](qint64 position) {
            m_position = position;
            emit positionChanged(position);
        });
        connect(m_engine, &FfmpegMovieEngine::durationChanged, this, [this](qint64 duration) {
            m_duration = duration;
            emit durationChanged(duration);
        });
        connect(m_engine, &FfmpegMovieEngine::frameReady, this, [this] {
            FfmpegMovieEngine::Shown shown = m_engine->takeShown();
            m_frame = std::move(shown.image);
            m_frameTime = shown.time;
            emit frameChanged();
        });
        connect(m_engine, &FfmpegMovieEngine::ended, this, [this] {
            m_playing = false;
            emit reachedEnd();
        });
        connect(m_engine, &FfmpegMovieEngine::failed, this, [this](const QString &message) {
            m_error = message;
            m_playing = false;
            emit failed(message);
        });
        m_thread->start();
        QMetaObject::invokeMethod(
            m_engine,
            [engine = m_engine, path = url.toLocalFile(), sound] { engine->open(path, sound); },
            Qt::QueuedConnection);
    }

    ~FfmpegMoviePlayer() override
    {
        disconnect(m_engine, nullptr, this, nullptr);
        StoppingThreads::instance().add(m_thread);
        QMetaObject::invokeMethod(m_engine, &FfmpegMovieEngine::shutDown, Qt::QueuedConnection);
    }

    void play() override { queue(&FfmpegMovieEngine::play); }
    void pause() override { queue(&FfmpegMovieEngine::pause); }
    void seek(qint64 position) override
    {
        if (!m_error.isEmpty())
            return;
        m_position = std::clamp<qint64>(position, 0, m_duration > 0 ? m_duration : position);
        m_engine->requestSeek(m_position);
        emit positionChanged(m_position);
    }
    bool isPlaying() const override { return m_playing; }
    void setMuted(bool muted) override
    {
        if (muted == m_muted)
            return;
        m_muted = muted;
        QMetaObject::invokeMethod(
            m_engine, [engine = m_engine, muted] { engine->setMuted(muted); },
            Qt::QueuedConnection);
        emit mutedChanged(muted);
    }
    bool isMuted() const override { return m_muted; }
    qint64 position() const override { return m_position; }
    qint64 duration() const override { return m_duration; }
    void setFrameSize(const QSize &size) override { m_engine->setFrameSize(size); }
    QImage currentFrame() const override { return m_frame; }
    qint64 currentFrameTime() const override { return m_frameTime; }
    QString errorString() const override { return m_error; }

private:
    void queue(void (FfmpegMovieEngine::*command)())
    {
        if (m_error.isEmpty())
            QMetaObject::invokeMethod(m_engine, command, Qt::QueuedConnection);
    }

    QThread *m_thread = nullptr;
    FfmpegMovieEngine *m_engine = nullptr;
    bool m_playing = false;
    bool m_muted = false;
    qint64 m_position = 0;
    qint64 m_duration = 0;
    QImage m_frame;
    qint64 m_frameTime = 0;
    QString m_error;
};

} // namespace

MoviePlayerFactory makeFfmpegMoviePlayers()
{
    return makeFfmpegMoviePlayers([] {
        // The sound devices are asked on the main thread: Qt's list of them belongs to it.
        return ffmpeg::qtSoundOutputs(QMediaDevices::audioOutputs().isEmpty()
                                          ? QAudioDevice()
                                          : QMediaDevices::defaultAudioOutput());
    });
}

MoviePlayerFactory makeFfmpegMoviePlayers(std::function<ffmpeg::SoundOutputs()> sound)
{
    return [sound = std::move(sound)](const QUrl &url) -> std::unique_ptr<MoviePlayer> {
        return std::make_unique<FfmpegMoviePlayer>(url, sound());
    };
}

void selectMovieBackend()
{
    // Qt Multimedia's sound outputs come from its backend: Debian's GStreamer one fails without
    // plugins we do not need; the FFmpeg one uses the libraries the recorder links anyway.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

} // namespace platform
