#include "platform/ffmpeg/FfmpegMovieEngine.h"

#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <limits>

namespace platform {

namespace {

// Position reports while playing: often enough for a timeline, rarely enough not to flood the
// interface with events.
constexpr qint64 positionIntervalMs = 100;
// Without sound, a picture this far behind its time starts the count afresh (the machine was
// busy): the movie goes on from there instead of rushing through the ones it missed.
constexpr qint64 stallUs = 250'000;
// While sound plays, the output is topped up, and how much of it was heard looked at, at least
// this often.
constexpr qint64 soundFeedUs = 10'000;
// A picture takes about a refresh of the screen from being handed on to being seen: with sound,
// it is handed on that much before the sound of its time is heard.
constexpr qint64 presentationLeadUs = 16'000;
// The sound is read as it is due, this far ahead of what the output has taken: enough to keep
// the output full, and no more waiting in memory however long the pictures stop for.
constexpr qint64 soundReadAheadUs = 300'000;
// Silence given after the movie's last sound. PulseAudio asks for more a step at a time and at
// times never asks again once the sound ends: Qt's output then counted the last 4 to 66 ms as
// never heard, for good. Followed by silence, the movie's sound is counted to its end.
constexpr qint64 soundTailUs = 250'000;

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

void FfmpegMovieEngine::open(const QString &path, const ffmpeg::SoundOutputs &outputs)
{
    // Nothing is decoded before the movie plays: until then the preview shows its poster, and
    // a movie looked at but never played costs no decoder's pictures.
    if (!attempt([&] { m_reader = std::make_unique<ffmpeg::MovieReader>(path, outputs.shape); }))
        return;
    emit durationChanged(m_reader->duration());
    if (m_reader->hasSound() && outputs.shape && outputs.make) {
        m_soundShape = *outputs.shape;
        m_output = outputs.make();
        if (m_output)
            m_output->setVolume(m_muted ? 0.0 : 1.0);
    }
}

void FfmpegMovieEngine::play()
{
    if (!m_reader || m_failed || m_playing)
        return;
    m_playing = true;
    m_origin = now() - m_shownTime;
    emit playingChanged(true);
    wakeIn(0);
}

void FfmpegMovieEngine::pause()
{
    if (!m_playing)
        return;
    m_playing = false;
    m_timer->stop();
    if (m_soundRunning)
        m_output->suspend();
    m_soundRunning = false;
    emit playingChanged(false);
}

void FfmpegMovieEngine::setMuted(bool muted)
{
    m_muted = muted;
    if (m_output)
        m_output->setVolume(muted ? 0.0 : 1.0);
}

void FfmpegMovieEngine::shutDown()
{
    m_timer->stop();
    stopSound();
    m_output.reset();
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

qint64 FfmpegMovieEngine::soundBytesToUs(qint64 bytes) const
{
    const qint64 samples = bytes / (m_soundShape.channels * 2);
    return samples * 1'000'000 / std::max(m_soundShape.sampleRate, 1);
}

bool FfmpegMovieEngine::soundLeads(qint64 until) const
{
    // Where the movie has no sound up to that time, none will be heard there to wait for; an
    // output that cannot play is not waited for either.
    return m_soundStarted && m_output->isWorking() &&
           (m_reader->soundEnd() >= until || !m_reader->allSoundRead());
}

qint64 FfmpegMovieEngine::movieTime(qint64 until)
{
    if (!soundLeads(until))
        return now() - m_origin;
    const qint64 heard = m_soundStart + m_output->heard();
    // Should the sound stop leading, the clock goes on from where it was.
    m_origin = now() - heard;
    return heard;
}

void FfmpegMovieEngine::tick()
{
    if (!m_playing || !m_reader)
        return;
    feedSound();
    if (!m_next) {
        // Behind the sound by more than a picture (the machine is busy): pictures are passed
        // over until one is due, so that what is seen keeps with what is heard.
        const qint64 passBefore = soundLeads(m_shownTime)
                                      ? movieTime(m_shownTime) - m_reader->frameInterval()
                                      : std::numeric_limits<qint64>::min();
        if (!attempt([&] { m_next = m_reader->next(frameBox(), nullptr, passBefore); }))
            return;
    }
    // The sound starts (or goes on) once the picture due with it is ready, or once there is
    // none: on a busy machine the first picture of a movie, or of a place moved to, takes a
    // while to decode.
    if (!m_soundRunning)
        startSound();
    else
        feedSound();
    if (!m_next) {
        // The last picture keeps the screen for its own time and the sound plays to its end:
        // the movie is over at the later of the two.
        qint64 end = m_shownTime + m_reader->frameInterval();
        if (m_soundStarted && m_output->isWorking())
            end = std::max(end, m_reader->allSoundRead() ? m_reader->soundEnd()
                                                         : std::numeric_limits<qint64>::max());
        const qint64 at = movieTime(end);
        if (at >= end) {
            reachEnd();
            return;
        }
        reportPosition(std::max(at, m_shownTime) / 1000, false);
        wakeIn(std::min(end - at, soundFeedUs));
        return;
    }
    const bool bySound = soundLeads(m_next->time);
    const qint64 at = movieTime(m_next->time);
    qint64 early = m_next->time - (bySound ? presentationLeadUs : 0) - at;
    if (!bySound && -early > stallUs) {
        m_origin = now() - m_next->time;
        early = 0;
    }
    if (early >= 1000) {
        // The time goes on while no picture is due, as where a window being recorded was
        // minimised.
        reportPosition(std::max(at, m_shownTime) / 1000, false);
        wakeIn(std::min(early, m_soundStarted ? soundFeedUs : positionIntervalMs * 1000));
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
    m_output.reset();
    // Closed at once: a broken movie is not read again and again.
    m_reader.reset();
    m_next.reset();
    if (std::exchange(m_playing, false))
        emit playingChanged(false);
    emit failed(message.isEmpty() ? QStringLiteral("The movie cannot be read.") : message);
}

void FfmpegMovieEngine::startSound()
{
    if (!m_output)
        return;
    m_soundRunning = true;
    if (m_soundStarted) {
        m_output->resume();
    } else {
        m_output->start();
        m_soundStarted = true;
        m_soundStart = m_reader->soundEnd() - soundBytesToUs(m_sound.size());
    }
    feedSound();
}

void FfmpegMovieEngine::stopSound()
{
    if (m_soundStarted)
        m_output->stop();
    m_soundStarted = false;
    m_soundRunning = false;
    m_soundTailed = false;
    m_sound.clear();
}

void FfmpegMovieEngine::feedSound()
{
    if (!m_soundStarted)
        return;
    const qint64 wanted = soundReadAheadUs - soundBytesToUs(m_sound.size());
    if (wanted > 0)
        m_reader->readSound(&m_sound, m_reader->soundEnd() + wanted);
    const int frameBytes = m_soundShape.channels * 2;
    if (!m_soundTailed && m_reader->allSoundRead()) {
        m_soundTailed = true;
        m_sound.append(QByteArray(
            qsizetype(qint64(m_soundShape.sampleRate) * soundTailUs / 1'000'000) * frameBytes,
            '\0'));
    }
    const qint64 room = std::min<qint64>(m_output->bytesFree(), m_sound.size());
    const qint64 written = room > 0 ? m_output->write(m_sound.constData(), room) : 0;
    if (written > 0)
        m_sound.remove(0, qsizetype(written));
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
