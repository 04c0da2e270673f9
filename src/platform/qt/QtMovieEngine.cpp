#include "platform/qt/QtMovieEngine.h"

#include <QAudioOutput>
#include <QCoreApplication>
#include <QMediaPlayer>
#include <QThread>
#include <QVideoSink>
#include <chrono>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

namespace platform {

namespace {

// Qt's FFmpeg backend opens its decoders with as many threads as the CPUs it may run on, and each
// decoding thread holds pictures of its own: at 3840x2160 on eight cores that is over 200 MB. The
// threads of this player (Qt's decoders are started from it) keep to a few CPUs, enough to
// decode 4K at 30 and full HD at 60 frames a second.
constexpr int decodingCpus = 4;

// Narrows the calling thread to the first few of its CPUs and returns the others, on which the
// frames are converted: scaling a 4K frame on the decoders' own CPUs would hold back the
// decoding of the next ones. Empty when there are too few CPUs to split.
QList<int> keepToFewCpus()
{
    QList<int> rest;
#ifdef __linux__
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (pthread_getaffinity_np(pthread_self(), sizeof allowed, &allowed) != 0 ||
        CPU_COUNT(&allowed) <= decodingCpus)
        return rest;
    cpu_set_t few;
    CPU_ZERO(&few);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE; ++cpu) {
        if (!CPU_ISSET(cpu, &allowed))
            continue;
        if (taken++ < decodingCpus)
            CPU_SET(cpu, &few);
        else
            rest.append(cpu);
    }
    if (pthread_setaffinity_np(pthread_self(), sizeof few, &few) != 0)
        rest.clear();
#endif
    return rest;
}

// Moves the calling thread onto `cpus` while it lives; threads it starts meanwhile keep them.
class RunningOn {
public:
    explicit RunningOn(const QList<int> &cpus)
    {
#ifdef __linux__
        if (cpus.isEmpty() || pthread_getaffinity_np(pthread_self(), sizeof m_saved, &m_saved) != 0)
            return;
        cpu_set_t moved;
        CPU_ZERO(&moved);
        for (int cpu : cpus)
            CPU_SET(cpu, &moved);
        m_moved = pthread_setaffinity_np(pthread_self(), sizeof moved, &moved) == 0;
#endif
    }
    ~RunningOn()
    {
#ifdef __linux__
        if (m_moved)
            pthread_setaffinity_np(pthread_self(), sizeof m_saved, &m_saved);
#endif
    }
    RunningOn(const RunningOn &) = delete;
    RunningOn &operator=(const RunningOn &) = delete;

private:
#ifdef __linux__
    cpu_set_t m_saved;
    bool m_moved = false;
#endif
};

// Position reports while playing: often enough for a timeline, rarely enough not to flood the
// interface with events.
constexpr qint64 positionIntervalMs = 100;

// A frame this far behind its time starts the count afresh (the decoder stalled, the machine
// was busy); one that is early waits at most this long.
constexpr qint64 stallUs = 250'000;
constexpr qint64 longestWaitUs = 100'000;

} // namespace

QtMovieEngine::QtMovieEngine() = default;

QtMovieEngine::~QtMovieEngine()
{
    shutDown();
}

void QtMovieEngine::open(const QUrl &url, bool withSound)
{
    m_scalingCpus = keepToFewCpus();
    m_player = std::make_unique<QMediaPlayer>();
    m_sink = std::make_unique<QVideoSink>();
    m_player->setVideoSink(m_sink.get());
    // The FFmpeg backend crashes with an audio output but no device to play on.
    if (withSound) {
        m_audio = std::make_unique<QAudioOutput>();
        m_player->setAudioOutput(m_audio.get());
    }
    // Frames arrive on the backend's rendering thread; only the newest waits for conversion.
    connect(m_sink.get(), &QVideoSink::videoFrameChanged, this, &QtMovieEngine::frameArrived,
            Qt::DirectConnection);
    connect(m_player.get(), &QMediaPlayer::playbackStateChanged, this,
            [this](QMediaPlayer::PlaybackState state) {
                const bool playing = state == QMediaPlayer::PlayingState;
                if (playing == m_playing)
                    return;
                m_playing = playing;
                emit playingChanged(playing);
            });
    connect(m_player.get(), &QMediaPlayer::positionChanged, this,
            [this](qint64 position) { reportPosition(position, false); });
    connect(m_player.get(), &QMediaPlayer::durationChanged, this, &QtMovieEngine::durationChanged);
    connect(m_player.get(), &QMediaPlayer::mediaStatusChanged, this,
            [this](QMediaPlayer::MediaStatus status) {
                // Acted on once control is back in the loop, outside the backend's own call.
                if (status == QMediaPlayer::EndOfMedia)
                    QMetaObject::invokeMethod(this, &QtMovieEngine::reachEnd, Qt::QueuedConnection);
                else if (status == QMediaPlayer::InvalidMedia)
                    QMetaObject::invokeMethod(
                        this, [this] { fail(m_player ? m_player->errorString() : QString()); },
                        Qt::QueuedConnection);
            });
    connect(m_player.get(), &QMediaPlayer::errorOccurred, this,
            [this](QMediaPlayer::Error, const QString &message) {
                QMetaObject::invokeMethod(
                    this, [this, message] { fail(message); }, Qt::QueuedConnection);
            });
    m_positionClock.start();
    m_player->setSource(url);
}

void QtMovieEngine::play()
{
    if (!m_player || m_failed)
        return;
    m_ended = false;
    setPacing(true);
    m_player->play();
}

void QtMovieEngine::pause()
{
    setPacing(false);
    if (m_player && !m_failed)
        m_player->pause();
}

void QtMovieEngine::setMuted(bool muted)
{
    if (m_audio)
        m_audio->setMuted(muted);
}

void QtMovieEngine::shutDown()
{
    if (m_sink)
        disconnect(m_sink.get(), nullptr, this, nullptr);
    if (m_player) {
        disconnect(m_player.get(), nullptr, this, nullptr);
        m_player->stop();
    }
    m_player.reset();
    m_audio.reset();
    m_sink.reset();
    if (QThread::currentThread() == thread() && QCoreApplication::instance() &&
        thread() != QCoreApplication::instance()->thread())
        thread()->quit();
}

void QtMovieEngine::requestSeek(qint64 position)
{
    std::lock_guard lock(m_mutex);
    const bool queued = m_seekTarget >= 0;
    m_seekTarget = std::max<qint64>(position, 0);
    // A dragged seek bar asks many times a second; the player seeks to the latest.
    if (!queued)
        QMetaObject::invokeMethod(this, &QtMovieEngine::applySeek, Qt::QueuedConnection);
}

void QtMovieEngine::applySeek()
{
    qint64 target = 0;
    {
        std::lock_guard lock(m_mutex);
        target = m_seekTarget;
        m_seekTarget = -1;
    }
    if (!m_player || m_failed || target < 0)
        return;
    const qint64 duration = m_player->duration();
    if (duration > 0)
        target = std::min(target, duration);
    m_ended = false;
    setPacing(m_playing);
    // A stopped player (after the end) shows frames again only once it is paused.
    if (m_player->playbackState() == QMediaPlayer::StoppedState)
        m_player->pause();
    m_player->setPosition(target);
    reportPosition(target, true);
}

void QtMovieEngine::setFrameSize(const QSize &size)
{
    std::lock_guard lock(m_mutex);
    m_frameSize = size;
}

QtMovieEngine::Shown QtMovieEngine::takeShown()
{
    std::lock_guard lock(m_mutex);
    m_announced = false;
    return m_shown;
}

void QtMovieEngine::frameArrived(const QVideoFrame &frame)
{
    // The backend hands over an empty frame when it stops: the last picture stays.
    if (!frame.isValid())
        return;
    waitForItsTime(frame.startTime());
    std::lock_guard lock(m_mutex);
    m_pending = frame;
    if (!m_convertQueued) {
        m_convertQueued = true;
        QMetaObject::invokeMethod(this, &QtMovieEngine::convertPending, Qt::QueuedConnection);
    }
}

void QtMovieEngine::setPacing(bool on)
{
    // With a sound output Qt keeps the frames to the sound's clock, which this one must not fight.
    const bool pacing = on && !m_audio;
    std::lock_guard lock(m_mutex);
    m_pacing = pacing;
    m_paceOrigin.reset();
    if (!m_paceClock.isValid())
        m_paceClock.start();
}

void QtMovieEngine::waitForItsTime(qint64 startUs)
{
    // Qt's renderer waits whole milliseconds between frames, so without a sound output to keep
    // time by, a 60 frames a second movie plays at 62.5 and ends early. Holding its thread here
    // until each frame's time keeps the movie's own rate; late frames pass at once.
    qint64 wait = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_pacing || startUs < 0)
            return;
        const qint64 now = m_paceClock.nsecsElapsed() / 1000;
        if (!m_paceOrigin || now - (*m_paceOrigin + startUs) > stallUs) {
            m_paceOrigin = now - startUs;
            return;
        }
        wait = std::min(*m_paceOrigin + startUs - now, longestWaitUs);
    }
    if (wait > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(wait));
}

void QtMovieEngine::convertPending()
{
    QVideoFrame frame;
    QSize box;
    {
        std::lock_guard lock(m_mutex);
        frame = std::exchange(m_pending, QVideoFrame());
        m_convertQueued = false;
        box = m_frameSize;
    }
    if (!frame.isValid() || m_failed)
        return;
    QImage image;
    {
        // The scaler's threads start on the first frame and stay on these CPUs.
        const RunningOn scaling(m_scalingCpus);
        image = m_scaler.scale(frame, box);
    }
    if (image.isNull())
        return;
    if (m_first.isNull() || frame.startTime() <= 0)
        m_first = image;
    publish(image, std::max<qint64>(frame.startTime(), 0));
}

void QtMovieEngine::publish(const QImage &image, qint64 time)
{
    bool announce = false;
    {
        std::lock_guard lock(m_mutex);
        m_shown = {image, time};
        announce = !std::exchange(m_announced, true);
    }
    if (announce)
        emit frameReady();
}

void QtMovieEngine::reachEnd()
{
    if (!m_player || m_ended || m_failed)
        return;
    m_ended = true;
    setPacing(false);
    // Back to the start, stopped, showing the first picture: it never plays on by itself.
    m_player->stop();
    if (!m_first.isNull())
        publish(m_first, 0);
    reportPosition(0, true);
    emit ended();
}

void QtMovieEngine::fail(const QString &message)
{
    if (m_failed || !m_player)
        return;
    m_failed = true;
    // Stopped and closed at once: a broken movie is not read again and again.
    m_player->stop();
    m_player->setSource(QUrl());
    emit failed(message.isEmpty() ? QStringLiteral("The movie cannot be read.") : message);
}

void QtMovieEngine::reportPosition(qint64 position, bool now)
{
    if (!now && m_positionClock.elapsed() < positionIntervalMs)
        return;
    m_positionClock.restart();
    emit positionChanged(position);
}

} // namespace platform
