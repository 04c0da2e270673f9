#include "platform/ffmpeg/FfmpegMovieEngine.h"

#include <QAudioSink>
#include <QCoreApplication>
#include <QThread>
#include <algorithm>

namespace platform {

namespace {

// Position reports while playing: often enough for a timeline, rarely enough not to flood the
// interface with events.
constexpr qint64 positionIntervalMs = 100;
// A picture this far behind its time starts the count afresh (the machine was busy): the
// movie goes on from there instead of rushing through the ones it missed.
constexpr qint64 stallUs = 250'000;
// While sound plays, the output is topped up at least this often.
constexpr qint64 soundFeedUs = 20'000;
// What the output holds, and at most what waits for it: a stalled output costs sound, never
// memory.
constexpr qint64 soundBufferUs = 250'000;
constexpr qint64 soundBacklogUs = 2'000'000;

} // namespace

FfmpegMovieEngine::FfmpegMovieEngine() : m_timer(new QTimer(this))
{
    m_timer->setSingleShot(true);
    m_timer->setTimerType(Qt::PreciseTimer);
    connect(m_timer, &QTimer::timeout, this, &FfmpegMovieEngine::tick);
    m_clock.start();
    m_positionClock.start();
}

FfmpegMovieEngine::~FfmpegMovieEngine()
{
    shutDown();
}

template <typename Work> bool FfmpegMovieEngine::attempt(Work &&work)
{
    if (const std::optional<QString> failure = ffmpeg::attempt(std::forward<Work>(work))) {
        fail(*failure);
        return false;
    }
    return true;
}

void FfmpegMovieEngine::open(const QString &path, const QAudioDevice &output)
{
    // Sound in a shape the output takes, or none.
    QAudioFormat format;
    format.setSampleRate(std::clamp(output.preferredFormat().sampleRate(), 8000, 192000));
    format.setChannelCount(std::clamp(output.maximumChannelCount(), 1, 2));
    format.setSampleFormat(QAudioFormat::Int16);
    std::optional<ffmpeg::SoundShape> shape;
    if (!output.isNull() && output.isFormatSupported(format))
        shape = ffmpeg::SoundShape{format.sampleRate(), format.channelCount()};
    // Nothing is decoded before the movie plays: until then the preview shows its poster, and
    // a movie looked at but never played costs no decoder's pictures.
    if (!attempt([&] { m_reader = std::make_unique<ffmpeg::MovieReader>(path, shape); }))
        return;
    emit durationChanged(m_reader->duration());
    if (m_reader->hasSound()) {
        m_sink = std::make_unique<QAudioSink>(output, format);
        m_soundFrameBytes = format.bytesPerFrame();
        m_soundBytesPerSecond = format.bytesForDuration(1'000'000);
        m_sink->setBufferSize(format.bytesForDuration(soundBufferUs));
        m_sink->setVolume(m_muted ? 0.0 : 1.0);
    }
}

void FfmpegMovieEngine::play()
{
    if (!m_reader || m_failed || m_playing)
        return;
    m_playing = true;
    m_origin = now() - m_shownTime;
    startSound();
    emit playingChanged(true);
    wakeIn(0);
}

void FfmpegMovieEngine::pause()
{
    if (!m_playing)
        return;
    m_playing = false;
    m_timer->stop();
    if (m_sink && m_soundOut)
        m_sink->suspend();
    emit playingChanged(false);
}

void FfmpegMovieEngine::setMuted(bool muted)
{
    m_muted = muted;
    if (m_sink)
        m_sink->setVolume(muted ? 0.0 : 1.0);
}

void FfmpegMovieEngine::shutDown()
{
    m_timer->stop();
    stopSound();
    m_sink.reset();
    m_reader.reset();
    m_next.reset();
    if (QThread::currentThread() == thread() && QCoreApplication::instance() &&
        thread() != QCoreApplication::instance()->thread())
        thread()->quit();
}

void FfmpegMovieEngine::requestSeek(qint64 position)
{
    std::lock_guard lock(m_mutex);
    const bool queued = m_seekTarget >= 0;
    m_seekTarget = std::max<qint64>(position, 0);
    // A dragged seek bar asks many times a second; the engine moves to the latest.
    if (!queued)
        QMetaObject::invokeMethod(this, &FfmpegMovieEngine::applySeek, Qt::QueuedConnection);
}

void FfmpegMovieEngine::setFrameSize(const QSize &size)
{
    std::lock_guard lock(m_mutex);
    m_frameSize = size;
}

QSize FfmpegMovieEngine::frameBox()
{
    std::lock_guard lock(m_mutex);
    return m_frameSize;
}

FfmpegMovieEngine::Shown FfmpegMovieEngine::takeShown()
{
    std::lock_guard lock(m_mutex);
    m_announced = false;
    return m_shown;
}

qint64 FfmpegMovieEngine::now() const
{
    return m_clock.nsecsElapsed() / 1000;
}

void FfmpegMovieEngine::wakeIn(qint64 microseconds)
{
    m_timer->start(int(std::max<qint64>((microseconds + 999) / 1000, 0)));
}

void FfmpegMovieEngine::tick()
{
    if (!m_playing || !m_reader)
        return;
    feedSound();
    if (!m_next) {
        std::optional<ffmpeg::MoviePicture> next;
        if (!attempt([&] { next = m_reader->next(frameBox(), &m_sound); }))
            return;
        if (!next) {
            // The last picture keeps the screen for its own time, then the movie is over.
            const qint64 end = m_origin + m_shownTime + m_reader->frameInterval();
            if (end > now())
                wakeIn(std::min(end - now(), soundFeedUs));
            else
                reachEnd();
            return;
        }
        m_next = std::move(next);
        feedSound();
    }
    qint64 due = m_origin + m_next->time;
    if (now() - due > stallUs) {
        m_origin = now() - m_next->time;
        due = now();
    }
    if (due - now() >= 1000) {
        wakeIn(m_soundOut ? std::min(due - now(), soundFeedUs) : due - now());
        return;
    }
    ffmpeg::MoviePicture shown = std::move(*m_next);
    m_next.reset();
    m_shownTime = shown.time;
    publish(shown.image, shown.time);
    reportPosition(shown.time / 1000, false);
    // The following picture is read at once, so that it is ready when its time comes.
    wakeIn(0);
}

void FfmpegMovieEngine::applySeek()
{
    qint64 target = 0;
    {
        std::lock_guard lock(m_mutex);
        target = m_seekTarget;
        m_seekTarget = -1;
    }
    if (!m_reader || m_failed || target < 0)
        return;
    if (m_reader->duration() > 0)
        target = std::min(target, m_reader->duration());
    m_timer->stop();
    m_next.reset();
    stopSound();
    std::optional<ffmpeg::MoviePicture> shown;
    if (!attempt([&] { shown = m_reader->seek(target, frameBox()); }))
        return;
    if (shown) {
        m_shownTime = shown->time;
        publish(shown->image, shown->time);
    }
    reportPosition(target, true);
    if (m_playing) {
        m_origin = now() - m_shownTime;
        startSound();
        wakeIn(0);
    }
}

void FfmpegMovieEngine::reachEnd()
{
    m_playing = false;
    m_timer->stop();
    stopSound();
    emit playingChanged(false);
    // Back to the start, stopped, showing the first picture: it never plays on by itself.
    std::optional<ffmpeg::MoviePicture> first;
    if (!attempt([&] { first = m_reader->seek(0, frameBox()); }))
        return;
    m_shownTime = first ? first->time : 0;
    if (first)
        publish(first->image, first->time);
    reportPosition(0, true);
    emit ended();
}

void FfmpegMovieEngine::fail(const QString &message)
{
    if (m_failed)
        return;
    m_failed = true;
    m_timer->stop();
    stopSound();
    m_sink.reset();
    // Closed at once: a broken movie is not read again and again.
    m_reader.reset();
    m_next.reset();
    if (std::exchange(m_playing, false))
        emit playingChanged(false);
    emit failed(message.isEmpty() ? QStringLiteral("The movie cannot be read.") : message);
}

void FfmpegMovieEngine::startSound()
{
    if (!m_sink)
        return;
    if (m_soundOut && m_sink->state() == QAudio::SuspendedState)
        m_sink->resume();
    else if (!m_soundOut)
        m_soundOut = m_sink->start();
    feedSound();
}

void FfmpegMovieEngine::stopSound()
{
    if (m_sink && m_soundOut)
        m_sink->stop();
    m_soundOut = nullptr;
    m_sound.clear();
}

void FfmpegMovieEngine::feedSound()
{
    if (!m_soundOut) {
        // Without an output the sound read is of no use; before the first start it waits.
        if (!m_sink)
            m_sound.clear();
        return;
    }
    const qsizetype backlog = qsizetype(m_soundBytesPerSecond * soundBacklogUs / 1'000'000);
    if (m_sound.size() > backlog)
        m_sound.remove(0, (m_sound.size() - backlog) / m_soundFrameBytes * m_soundFrameBytes);
    const qsizetype room = std::min<qsizetype>(m_sink->bytesFree(), m_sound.size());
    const qsizetype written = room > 0 ? m_soundOut->write(m_sound.constData(), room) : 0;
    if (written > 0)
        m_sound.remove(0, written);
}

void FfmpegMovieEngine::publish(const QImage &image, qint64 time)
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

void FfmpegMovieEngine::reportPosition(qint64 position, bool now)
{
    if (!now && m_positionClock.elapsed() < positionIntervalMs)
        return;
    m_positionClock.restart();
    emit positionChanged(position);
}

} // namespace platform
