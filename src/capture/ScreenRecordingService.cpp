#include "capture/ScreenRecordingService.h"

#include "capture/RecordingGif.h"
#include "model/CaptureErrors.h"
#include "model/FreedMemory.h"
#include "model/SettingsStore.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/TemporaryDirectory.h"

#include <QColor>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QPainter>
#include <QPointer>
#include <QUuid>
#include <QWaitCondition>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <qcoro/qcorofuture.h>

namespace {

// One side of a recording in pixels: truncated, at least 2 and even, as the H.264 encoder
// needs for its half-size colour planes.
int pixelSide(double points, double scale)
{
    const int pixels = std::max(int(scale * points), 2);
    return pixels % 2 == 0 ? pixels : pixels + 1;
}

QSize pixelSize(const QSizeF &points, double scale)
{
    return {pixelSide(points.width(), scale), pixelSide(points.height(), scale)};
}

platform::MovieContainer containerFor(VideoExportFormat format)
{
    // A GIF is recorded as an MPEG-4 movie and made from it when the recording stops.
    return format == VideoExportFormat::mov ? platform::MovieContainer::quickTime
                                            : platform::MovieContainer::mpeg4;
}

// Hands the sound to the writer once there is one; the sound starts before the writer exists
// so that the writer knows whether to make a sound track.
struct AudioRoute {
    QMutex mutex;
    platform::MovieWriter *writer = nullptr;

    void setWriter(platform::MovieWriter *newWriter)
    {
        QMutexLocker locker(&mutex);
        writer = newWriter;
    }
};

void removeFile(const QString &path)
{
    if (!path.isEmpty())
        QFile::remove(path);
}

} // namespace

RecordingGeometry recordingGeometry(const platform::Display &display,
                                    const std::optional<QRectF> &sourceRect,
                                    const std::optional<platform::WindowInfo> &window)
{
    const double scale = display.scale;
    const QPointF captureOrigin = display.captureFrame.topLeft();
    const auto rootPoint = [&](QPointF capture) {
        const QPointF relative = (capture - captureOrigin) * scale;
        return display.rootRect.topLeft() +
               QPoint(int(std::floor(relative.x())), int(std::floor(relative.y())));
    };

    RecordingGeometry geometry;
    if (window) {
        geometry.pixelSize = pixelSize(window->captureFrame.size(), scale);
        // Only where the window starts; the frame source follows it from there.
        geometry.rootRect = QRect(rootPoint(window->captureFrame.topLeft()), geometry.pixelSize);
    } else if (sourceRect) {
        geometry.sourceRect = sourceRect->translated(-captureOrigin);
        geometry.pixelSize = pixelSize(sourceRect->size(), scale);
        geometry.rootRect = QRect(rootPoint(sourceRect->topLeft()), geometry.pixelSize);
    } else {
        geometry.pixelSize = pixelSize(display.captureFrame.size(), scale);
        geometry.rootRect = display.rootRect;
    }
    return geometry;
}

struct ScreenRecordingService::Session {
    quint64 generation = 0;
    platform::DisplayId displayId = 0;
    bool recordsWindow = false;
    // Where the GIF goes and what makes it, for a recording kept as one.
    QString gifPath;
    std::shared_ptr<platform::GifConverter> gifConverter;
    bool ended = false;
    std::atomic<bool> hasFrames = false;
    std::atomic<bool> sourceEnded = false;
    QMutex firstFrameMutex;
    QWaitCondition firstFrameCame;
    // Destroyed from the bottom up: the sources before the writer they feed.
    std::shared_ptr<AudioRoute> audioRoute = std::make_shared<AudioRoute>();
    std::unique_ptr<platform::MovieWriter> writer;
    std::unique_ptr<platform::AudioCapture> audio;
    std::unique_ptr<platform::FrameStream> frames;

    // Called on the source's thread for each frame and when the source ends.
    void noteFrame()
    {
        if (!hasFrames.exchange(true))
            wakeStop();
    }
    void noteSourceEnded()
    {
        sourceEnded = true;
        wakeStop();
    }
    void wakeStop()
    {
        QMutexLocker locker(&firstFrameMutex);
        firstFrameCame.wakeAll();
    }

    // A stop that comes before the source's first frame (a program that starts and stops at
    // once, a busy machine) waits for it, so that a started recording gives a movie; a source
    // that gives none in time, or ends, leaves a recording without frames.
    void awaitFirstFrame(std::chrono::milliseconds wait)
    {
        QDeadlineTimer deadline(wait);
        QMutexLocker locker(&firstFrameMutex);
        while (!hasFrames && !sourceEnded && !deadline.hasExpired())
            firstFrameCame.wait(&firstFrameMutex, deadline);
    }

    // Joins the capture threads; nothing reaches the writer afterwards.
    void stopSources()
    {
        if (frames)
            frames->stop();
        if (audio)
            audio->stop();
        audioRoute->setWriter(nullptr);
    }

    // Frees the sources and the writer with all they hold (pictures, encoder, shared memory).
    void release()
    {
        stopSources();
        frames.reset();
        audio.reset();
        writer.reset();
    }
};

ScreenRecordingService::ScreenRecordingService(platform::RecordingPlatform recordingPlatform,
                                               platform::Displays &displays, QObject *parent)
    : ScreenRecording(parent), m_platform(std::move(recordingPlatform)), m_displays(displays)
{
    m_timer.setInterval(1000);
    // A coarse timer may fire up to 5 % early, and the elapsed time shown rounds down: the
    // clock would then lag a second behind and skip or repeat seconds.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &ScreenRecordingService::updateDuration);
    connect(&m_displays, &platform::Displays::displaysChanged, this,
            &ScreenRecordingService::handleDisplaysChanged);
}

ScreenRecordingService::~ScreenRecordingService()
{
    // Quitting while recording: the movie is completed so that it plays, and left in place;
    // one without a single frame is no movie.
    if (m_session) {
        m_session->stopSources();
        if (!m_session->writer->finish())
            removeFile(m_outputPath);
    }
}

void ScreenRecordingService::setRecording(bool recording)
{
    if (m_isRecording == recording)
        return;
    m_isRecording = recording;
    emit isRecordingChanged(m_isRecording);
}

void ScreenRecordingService::setDuration(double duration)
{
    if (m_duration == duration)
        return;
    m_duration = duration;
    emit durationChanged(m_duration);
}

void ScreenRecordingService::updateDuration()
{
    if (m_recordingStartTime.isValid())
        setDuration(m_recordingStartTime.elapsed() / 1000.0);
}

QCoro::Task<void> ScreenRecordingService::startRecording(platform::DisplayId displayID,
                                                         std::optional<QRectF> sourceRect,
                                                         std::optional<platform::WindowInfo> window,
                                                         VideoExportFormat format, int frameRate,
                                                         bool recordAudio)
{
    if (m_isRecording || m_stopping) {
        qCCritical(Log::capture, "Recording already in progress");
        co_return;
    }
    // The encoder and the pacing need a rate whose frame interval is a positive number of
    // microseconds.
    frameRate = sanitizedFrameRate(frameRate);
    qCInfo(Log::capture, "Starting screen recording (display: %u, fps: %ld, format: %s)", displayID,
           long(frameRate), qUtf8Printable(rawValue(format)));

    const QList<platform::Display> displays = m_displays.displays();
    if (displays.isEmpty())
        throw CaptureError::noDisplayFound();
    const auto match = std::find_if(displays.begin(), displays.end(),
                                    [&](const platform::Display &d) { return d.id == displayID; });
    const platform::Display display = match != displays.end() ? *match : displays.first();
    const RecordingGeometry geometry = recordingGeometry(display, sourceRect, window);
    // The encoder's pictures and frames then go back to the system when it is done with them.
    keepLargeBuffersMapped();

    const QString outputPath =
        QDir(platform::TemporaryDirectory::path())
            .filePath(QStringLiteral("Recording-%1.%2")
                          .arg(QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(),
                               fileExtension(format)));
    m_outputPath = recordingMoviePath(outputPath, format);

    auto session = std::make_unique<Session>();
    if (format == VideoExportFormat::gif) {
        session->gifPath = outputPath;
        session->gifConverter = m_platform.gifConverter;
    }
    session->generation = ++m_generation;
    session->displayId = display.id;
    session->recordsWindow = window.has_value();

    if (recordAudio && m_platform.audioInputs) {
        QString reason;
        std::shared_ptr<AudioRoute> route = session->audioRoute;
        session->audio = m_platform.audioInputs->start(
            true, true,
            [route](const float *samples, int frames, qint64 steadyTimeUs) {
                QMutexLocker locker(&route->mutex);
                if (route->writer)
                    route->writer->addAudio(samples, frames, steadyTimeUs);
            },
            &reason);
        if (!session->audio)
            qCWarning(Log::capture, "Recording without sound: %s", qUtf8Printable(reason));
    }

    platform::MovieSettings settings;
    settings.filePath = m_outputPath;
    settings.container = containerFor(format);
    settings.frameSize = geometry.pixelSize;
    settings.frameRate = frameRate;
    settings.withAudio = session->audio != nullptr;
    QString reason;
    session->writer = m_platform.movieWriters->create(settings, &reason);
    if (!session->writer) {
        session->stopSources();
        removeFile(m_outputPath);
        throw CaptureError::captureFailed(reason);
    }
    session->audioRoute->setWriter(session->writer.get());

    platform::FrameSourceRequest request;
    request.rootRect = geometry.rootRect;
    if (window)
        request.window = window->id;
    request.frameSize = geometry.pixelSize;
    request.frameRate = frameRate;
    request.showsCursor = true;
    Session *running = session.get();
    const quint64 generation = session->generation;
    QPointer<ScreenRecordingService> self(this);
    session->frames = m_platform.frameSources->start(
        request,
        [running](const QImage &frame, qint64 steadyTimeUs) {
            running->writer->addVideoFrame(frame, steadyTimeUs);
            running->noteFrame();
        },
        [self, generation, running](const QString &reason) {
            running->noteSourceEnded();
            QMetaObject::invokeMethod(
                self.data(),
                [self, generation, reason] {
                    if (self)
                        self->handleStreamEnded(generation, reason);
                },
                Qt::QueuedConnection);
        },
        &reason);
    if (!session->frames) {
        session->stopSources();
        session->writer->cancel();
        removeFile(m_outputPath);
        throw CaptureError::captureFailed(reason);
    }

    m_session = std::move(session);
    setRecording(true);
    setDuration(0);
    m_recordingStartTime.start();
    m_timer.start();
    qCInfo(Log::capture, "Screen recording started successfully");
}

QCoro::Task<RecordingResult> ScreenRecordingService::stopRecording()
{
    if (!m_isRecording || m_stopping || !m_session)
        throw CaptureError::captureFailed(QStringLiteral("No active recording to stop"));
    qCInfo(Log::capture, "Stopping screen recording...");
    m_timer.stop();
    RecordingResult result;
    result.filePath = m_outputPath;
    result.duration = m_duration;
    setDuration(0);
    m_stopping = true;

    struct Outcome {
        bool finished = false;
        bool hadFrames = false;
        int droppedFrames = 0;
        QString error;
        QImage posterFrame;
        std::optional<QString> gifFailure;
    };
    std::shared_ptr<Session> session = takeSession();
    std::shared_ptr<platform::PosterFrames> posterFrames = m_platform.posterFrames;
    const QString path = m_outputPath;
    const QString gifPath = session->gifPath;
    const std::chrono::milliseconds firstFrameWait = m_firstFrameWait;
    QFuture<Outcome> finishing =
        platform::runInBackground([session, posterFrames, path, firstFrameWait]() -> Outcome {
            Outcome outcome;
            session->awaitFirstFrame(firstFrameWait);
            session->stopSources();
            outcome.hadFrames = session->hasFrames.load();
            outcome.finished = session->writer->finish(&outcome.error);
            outcome.droppedFrames = session->writer->droppedFrames();
            session->release();
            // Deleted while it was written, the movie went on into a file no name leads to.
            if (outcome.finished && !QFileInfo(path).isFile()) {
                outcome.finished = false;
                outcome.error = QStringLiteral("The movie file was deleted while recording");
            }
            if (outcome.finished)
                outcome.posterFrame = makeThumbnail(*posterFrames, path);
            if (outcome.finished && !session->gifPath.isEmpty())
                outcome.gifFailure =
                    convertRecordingToGif(session->gifConverter.get(), path, session->gifPath);
            returnFreedMemory();
            return outcome;
        });
    QPointer<ScreenRecordingService> self(this);
    const Outcome outcome = co_await finishing;
    if (!self)
        throw CaptureError::cancelled();
    m_stopping = false;
    setRecording(false);

    if (outcome.droppedFrames > 0)
        qCWarning(Log::capture, "Recording dropped %d frames the encoder could not keep up with",
                  outcome.droppedFrames);
    if (!outcome.finished) {
        const QString message =
            outcome.error.isEmpty() ? QStringLiteral("Unknown encoding error") : outcome.error;
        qCCritical(Log::capture, "Movie writer failed with error: %s", qUtf8Printable(message));
        // A movie without a frame is no recording; a damaged one may still hold what was
        // recorded, and stays while the program runs, like every temporary file of ours.
        if (outcome.hadFrames && QFileInfo(path).isFile()) {
            qCWarning(Log::capture, "Partial recording kept at: %s", qUtf8Printable(path));
            TemporaryFiles::deleteAtQuit({path});
        } else
            removeFile(path);
        throw CaptureError::captureFailed(QStringLiteral("Failed to finalize video: ") + message);
    }
    if (outcome.gifFailure) {
        // What was recorded stays, as the movie the GIF was to be made from.
        qCCritical(Log::capture, "GIF conversion failed: %s", qUtf8Printable(*outcome.gifFailure));
        qCWarning(Log::capture, "Recording kept as a movie at: %s", qUtf8Printable(path));
        throw CaptureError::captureFailed(
            QStringLiteral("Failed to make the GIF: %1. The recording is kept as a movie at %2")
                .arg(*outcome.gifFailure, path));
    }
    if (!gifPath.isEmpty())
        m_outputPath = result.filePath = gifPath;
    qCInfo(Log::capture, "Recording finalized successfully at: %s", qUtf8Printable(m_outputPath));
    result.posterFrame = outcome.posterFrame;
    co_return result;
}

void ScreenRecordingService::cancelRecording()
{
    if (!m_isRecording)
        return;
    if (m_stopping) {
        // The stop already owns the movie; what was recorded is kept.
        qCWarning(Log::capture, "Cancel ignored: the recording is being stopped");
        return;
    }
    qCInfo(Log::capture, "Cancelling screen recording");
    m_timer.stop();
    setRecording(false);
    setDuration(0);
    if (std::unique_ptr<Session> session = takeSession()) {
        session->stopSources();
        session->writer->cancel();
        session->release();
        returnFreedMemory();
    }
    removeFile(m_outputPath);
    m_outputPath.clear();
}

std::unique_ptr<ScreenRecordingService::Session> ScreenRecordingService::takeSession()
{
    m_recordingStartTime.invalidate();
    return std::move(m_session);
}

void ScreenRecordingService::handleStreamEnded(quint64 generation, const QString &reason)
{
    if (!m_session || m_session->generation != generation || m_session->ended || m_stopping)
        return;
    m_session->ended = true;
    qCCritical(Log::capture, "Frame stream stopped with error: %s", qUtf8Printable(reason));
    // Still recording: the owner stops as usual and keeps what was recorded.
    emit streamEnded();
}

void ScreenRecordingService::handleDisplaysChanged()
{
    if (!m_session || m_session->recordsWindow)
        return;
    const QList<platform::Display> displays = m_displays.displays();
    const bool present = std::any_of(displays.begin(), displays.end(), [&](const auto &display) {
        return display.id == m_session->displayId;
    });
    if (!present)
        handleStreamEnded(m_session->generation, QStringLiteral("The display was disconnected"));
}

QImage ScreenRecordingService::makeThumbnail(platform::PosterFrames &posterFrames,
                                             const QString &filePath)
{
    QString error;
    QImage frame = posterFrames.frameAt(filePath, 0.1, &error);
    if (!frame.isNull())
        return frame;
    qCCritical(Log::capture, "Poster frame decoder at 0.1s failed: %s; trying time zero",
               qUtf8Printable(error));
    frame = posterFrames.frameAt(filePath, 0, &error);
    if (!frame.isNull())
        return frame;
    qCCritical(Log::capture, "Poster frame decoder at zero failed: %s; using fallback",
               qUtf8Printable(error));
    return makeFallbackPosterFrame();
}

QImage ScreenRecordingService::makeFallbackPosterFrame()
{
    QImage image(400, 300, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull()) {
        QImage black(1, 1, QImage::Format_ARGB32_Premultiplied);
        black.fill(Qt::black);
        return black;
    }
    image.fill(QColor::fromRgbF(0.1f, 0.1f, 0.12f, 1.0f));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor::fromRgbF(0.2f, 0.5f, 1.0f, 0.8f));
    painter.drawEllipse(QRectF(170, 120, 60, 60));
    return image;
}
