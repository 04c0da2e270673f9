#include "../platform/MovieProbe.h"
#include "app/DesktopPlatform.h"
#include "capture/ScreenRecordingService.h"
#include "platform/RecordingPlatform.h"
#include "platform/ffmpeg/FfmpegMovieReader.h"
#include "platform/x11/X11FrameSource.h"
#include "support/AwaitError.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QSignalSpy>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>
#include <sys/stat.h>

// Recordings of the harness's screen with the real frame source, writer and poster frames.
namespace {

using namespace platform;

const QColor stillColour(200, 40, 200);
constexpr int frameRate = 30;
constexpr int recordedMs = 2000;

// Its left half never changes; its right half changes colour at every repaint and a bar runs
// across it, so that every recorded frame differs.
class AnimatedWindow : public QWidget {
public:
    AnimatedWindow()
    {
        setFixedSize(301, 201);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            ++m_tick;
            update();
        });
        m_timer.start(20);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(0, 0, 150, height(), stillColour);
        painter.fillRect(150, 0, width() - 150, height(),
                         QColor::fromHsv((m_tick * 9) % 360, 255, 230));
        painter.fillRect(150 + (m_tick * 5) % 140, 0, 10, height(), Qt::white);
    }

private:
    QTimer m_timer;
    int m_tick = 0;
};

bool near(QColor actual, QColor expected)
{
    return std::abs(actual.red() - expected.red()) < 20 &&
           std::abs(actual.green() - expected.green()) < 20 &&
           std::abs(actual.blue() - expected.blue()) < 20;
}

bool pulseAudioRuns()
{
    return QFile::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pulse/native");
}

class ScreenRecordingDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        if (!MovieProbe::available())
            GTEST_SKIP() << "ffprobe is not installed";
        display = m_platform.displays->displays().first();
        window.setWindowTitle("Recorded");
        window.move(200, 150);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        ASSERT_TRUE(waitUntil([&] {
            info = listed(WindowId(window.winId()));
            return info && info->captureFrame.height() > window.height();
        }));
        service = std::make_unique<ScreenRecordingService>(recording, *m_platform.displays);
    }

    // The window's unchanging half, in capture coordinates.
    QPointF stillPoint() const { return QPointF(window.mapToGlobal(QPoint(75, 100))); }

    RecordingResult record(std::optional<QRectF> area, std::optional<WindowInfo> target,
                           VideoExportFormat format, bool recordAudio = false)
    {
        awaited(service->startRecording(display.id, area, target, format, frameRate, recordAudio));
        EXPECT_TRUE(service->isRecording());
        QTest::qWait(recordedMs);
        return awaited(service->stopRecording());
    }

    // The movie as ffprobe reads it, and its poster frame showing the window's still half at
    // `still` (movie pixels).
    void expectMovie(const RecordingResult &result, QSize size, const QString &brand, QPoint still,
                     bool withAudio = false)
    {
        ASSERT_TRUE(QFile::exists(result.filePath));
        // The screen and the microphone are for the user alone.
        EXPECT_EQ(QFile::permissions(result.filePath) & ~(QFile::ReadUser | QFile::WriteUser),
                  QFile::ReadOwner | QFile::WriteOwner);
        const MovieProbe probe = MovieProbe::of(result.filePath, true);
        ASSERT_TRUE(probe.readable);
        EXPECT_EQ(probe.video.value("codec_name").toString(), "h264");
        EXPECT_EQ(probe.video.value("profile").toString(), "High");
        EXPECT_EQ(probe.video.value("pix_fmt").toString(), "yuv420p");
        EXPECT_EQ(QSize(probe.video.value("width").toInt(), probe.video.value("height").toInt()),
                  size);
        // The stream declares the asked rate exactly, and its frames are stamped with the time
        // they were read: the movie lasts as long as the recording, whatever the number of
        // frames.
        EXPECT_EQ(probe.video.value("r_frame_rate").toString(), "30/1");
        EXPECT_NEAR(probe.duration(), recordedMs / 1000.0, 0.4);
        // Frames are read at most at the asked rate. A busy machine skips ticks (on an
        // overloaded two-core machine the average falls to about half the rate), which costs
        // frames but not time: the floor only tells a recording that keeps reading from one
        // that stalled.
        const QStringList average = probe.video.value("avg_frame_rate").toString().split('/');
        ASSERT_EQ(average.size(), 2);
        EXPECT_LE(average[0].toDouble() / average[1].toDouble(), frameRate + 1.0);
        EXPECT_GE(probe.frames(), recordedMs * frameRate / 1000 / 3);
        EXPECT_LE(probe.frames(), recordedMs * frameRate / 1000 + 6);
        const QByteArray bitRate =
            "bitrate=" + QByteArray::number(qint64(size.width()) * size.height() * 4 / 1000);
        EXPECT_TRUE(MovieProbe::encoderSettingsContain(result.filePath, bitRate));
        if (!brand.isEmpty()) {
            EXPECT_EQ(probe.brand(), brand);
        }
        expectSound(result.filePath, probe, withAudio);

        EXPECT_EQ(result.posterFrame.size(), size);
        EXPECT_TRUE(near(result.posterFrame.pixelColor(still), stillColour))
            << result.posterFrame.pixelColor(still).name().toStdString();
        expectAnimated(result.filePath, still);
    }

    // Every moment was recorded afresh: the animated half differs a second later while the still
    // half stays.
    void expectAnimated(const QString &path, QPoint still) const
    {
        const QImage early = recording.posterFrames->frameAt(path, 0.5);
        const QImage late = recording.posterFrames->frameAt(path, 1.5);
        ASSERT_FALSE(early.isNull());
        ASSERT_FALSE(late.isNull());
        expectChanged(early, late, still);
    }

    // The still half alike in both frames, the animated half to its right different.
    static void expectChanged(const QImage &early, const QImage &late, QPoint still)
    {
        EXPECT_TRUE(near(early.pixelColor(still), stillColour));
        EXPECT_TRUE(near(late.pixelColor(still), stillColour));
        int differing = 0;
        for (int x = 80; x < 220; ++x) {
            const QPoint point = still + QPoint(x, 0);
            differing += !near(early.pixelColor(point), late.pixelColor(point));
        }
        EXPECT_GE(differing, 10);
    }

    // With sound, the one AAC track carries the harness's 440 Hz tone (the microphone) well
    // above silence over the whole movie.
    static void expectSound(const QString &path, const MovieProbe &probe, bool withAudio)
    {
        EXPECT_EQ(probe.audio.value("codec_name").toString(), withAudio ? "aac" : "");
        if (!withAudio)
            return;
        EXPECT_EQ(probe.audio.value("sample_rate").toString(), "44100");
        EXPECT_EQ(probe.audio.value("channels").toInt(), 2);
        EXPECT_NEAR(probe.audio.value("duration").toString().toDouble(), recordedMs / 1000.0, 0.5);
        const std::optional<MovieProbe::Loudness> loudness = MovieProbe::loudness(path);
        ASSERT_TRUE(loudness);
        EXPECT_GT(loudness->peak, -40) << loudness->peak;
        // A steady sine averages 3 dB below its peak; a burst or a track that is mostly silent
        // averages far lower.
        EXPECT_GT(loudness->mean, loudness->peak - 6) << loudness->mean;
    }

    TempDirScope temp;
    RecordingPlatform recording = desktop::makeRecordingPlatform();
    AnimatedWindow window;
    platform::Display display;
    std::optional<WindowInfo> info;
    std::unique_ptr<ScreenRecordingService> service;
};

TEST_F(ScreenRecordingDesktop, RecordsTheWholeDisplay)
{
    const QSize size = display.rootRect.size();
    const QPoint still = stillPoint().toPoint() - display.rootRect.topLeft();
    const bool withAudio = pulseAudioRuns();
    expectMovie(record({}, {}, VideoExportFormat::mp4, withAudio), size, "iso5", still, withAudio);
    expectMovie(record({}, {}, VideoExportFormat::mov), size, "qt  ", still);
}

TEST_F(ScreenRecordingDesktop, RecordsAWindowWithItsDecorations)
{
    const QRectF frame = info->captureFrame;
    const QSize size((int(frame.width()) + 1) / 2 * 2, (int(frame.height()) + 1) / 2 * 2);
    const QPoint still = (stillPoint() - frame.topLeft()).toPoint();
    expectMovie(record({}, info, VideoExportFormat::mp4), size, "iso5", still);
    expectMovie(record({}, info, VideoExportFormat::mov), size, "qt  ", still);
}

TEST_F(ScreenRecordingDesktop, RecordsAnArea)
{
    // 301 × 201 points: recorded 302 × 202.
    const QRectF area(QPointF(window.mapToGlobal(QPoint(0, 0))), QSizeF(301, 201));
    const QPoint still(75, 100);
    expectMovie(record(area, {}, VideoExportFormat::mp4), QSize(302, 202), "iso5", still);
    expectMovie(record(area, {}, VideoExportFormat::mov), QSize(302, 202), "qt  ", still);
}

TEST_F(ScreenRecordingDesktop, RecordsAnAreaOfAFewPixels)
{
    // 11 × 5 points of the still half: recorded 12 × 6, too few pixels for 4 bits each a second.
    const RecordingResult result =
        record(QRectF(stillPoint(), QSizeF(11, 5)), {}, VideoExportFormat::mp4);
    const MovieProbe probe = MovieProbe::of(result.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_EQ(QSize(probe.video.value("width").toInt(), probe.video.value("height").toInt()),
              QSize(12, 6));
    EXPECT_GE(probe.frames(), recordedMs * frameRate / 1000 / 3);
    // Its poster frame, and every picture as the player reads them.
    QList<QImage> pictures{result.posterFrame};
    ffmpeg::MovieReader reader(result.filePath, std::nullopt);
    QByteArray sound;
    while (std::optional<ffmpeg::MoviePicture> picture = reader.next(QSize(), &sound))
        pictures << picture->image;
    EXPECT_EQ(pictures.size(), probe.frames() + 1);
    for (const QImage &picture : std::as_const(pictures)) {
        ASSERT_EQ(picture.size(), QSize(12, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                ASSERT_TRUE(near(picture.pixelColor(x, y), stillColour)) << x << "," << y;
    }
}

TEST_F(ScreenRecordingDesktop, RecordsAnAreaAtSixtyFramesAsALoopingGifAtThirty)
{
    const QRectF area(QPointF(window.mapToGlobal(QPoint(0, 0))), QSizeF(301, 201));
    const QPoint still(75, 100);
    awaited(service->startRecording(display.id, area, {}, VideoExportFormat::gif, 60, false));
    QTest::qWait(recordedMs);
    const RecordingResult result = awaited(service->stopRecording());

    ASSERT_TRUE(result.filePath.endsWith(".gif"));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(result.filePath).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files),
              QStringList(QFileInfo(result.filePath).fileName()));
    EXPECT_EQ(result.posterFrame.size(), QSize(302, 202));
    EXPECT_TRUE(near(result.posterFrame.pixelColor(still), stillColour));

    QImageReader reader(result.filePath);
    EXPECT_EQ(reader.format(), "gif");
    EXPECT_EQ(reader.size(), QSize(302, 202));
    EXPECT_EQ(reader.loopCount(), -1);
    QList<QImage> frames;
    int shownMs = 0;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read()) {
        frames.append(frame);
        shownMs += reader.nextImageDelay();
    }
    // Two seconds (less what a busy machine takes to start) at 30 frames a second, not 60.
    EXPECT_NEAR(shownMs, recordedMs, 400);
    EXPECT_NEAR(frames.size(), shownMs * 30 / 1000, 2);
    ASSERT_GE(frames.size(), 30);
    expectChanged(frames[frames.size() / 4], frames[frames.size() * 3 / 4], still);
}

TEST_F(ScreenRecordingDesktop, CancelLeavesNoMovie)
{
    awaited(
        service->startRecording(display.id, {}, info, VideoExportFormat::mp4, frameRate, false));
    const QString path = service->outputPath();
    QTest::qWait(300);
    EXPECT_TRUE(QFile::exists(path));
    service->cancelRecording();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_FALSE(service->isRecording());
}

TEST_F(ScreenRecordingDesktop, AStopRightAfterTheStartGivesAMovieOfWhatWasShown)
{
    awaited(
        service->startRecording(display.id, {}, info, VideoExportFormat::mp4, frameRate, false));
    const RecordingResult result = awaited(service->stopRecording());
    const MovieProbe probe = MovieProbe::of(result.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_GE(probe.frames(), 1);
    const QPoint still = (stillPoint() - info->captureFrame.topLeft()).toPoint();
    EXPECT_TRUE(near(result.posterFrame.pixelColor(still), stillColour));
}

TEST_F(ScreenRecordingDesktop, AWindowClosedMidRecordingLeavesAPlayableMovie)
{
    QSignalSpy ended(service.get(), &ScreenRecording::streamEnded);
    awaited(
        service->startRecording(display.id, {}, info, VideoExportFormat::mp4, frameRate, false));
    QTest::qWait(1200);
    window.close();
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    EXPECT_TRUE(service->isRecording());

    const RecordingResult result = awaited(service->stopRecording());
    const MovieProbe probe = MovieProbe::of(result.filePath, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_GE(probe.frames(), 20);
    EXPECT_NEAR(probe.duration(), 1.2, 0.4);
}

// The frame source on its own: pacing, padding and the pointer.
class X11FrameSourceDesktop : public X11DesktopTest {
protected:
    struct Delivered {
        QMutex mutex;
        QList<QImage> frames;
        QString endReason;
    };

    std::unique_ptr<FrameStream> start(const FrameSourceRequest &request, Delivered &delivered)
    {
        QString error;
        std::unique_ptr<FrameStream> stream = sources.start(
            request,
            [&delivered](const QImage &frame, qint64) {
                QMutexLocker lock(&delivered.mutex);
                delivered.frames.append(frame.copy());
            },
            [&delivered](const QString &reason) {
                QMutexLocker lock(&delivered.mutex);
                delivered.endReason = reason;
            },
            &error);
        EXPECT_TRUE(stream) << error.toStdString();
        return stream;
    }

    static FrameSourceRequest request(QRect rootRect, QSize frameSize, int frameRate = 30)
    {
        FrameSourceRequest request;
        request.rootRect = rootRect;
        request.frameSize = frameSize;
        request.frameRate = frameRate;
        return request;
    }

    // Until the stream delivered a frame or ended.
    static bool waitFor(Delivered &delivered, bool ended)
    {
        return waitUntil([&] {
            QMutexLocker lock(&delivered.mutex);
            return ended ? !delivered.endReason.isEmpty() : !delivered.frames.isEmpty();
        });
    }

    X11FrameSources sources;
};

TEST_F(X11FrameSourceDesktop, FramesComeAtTheRatePaddedToTheirSize)
{
    const QRect root = m_platform.displays->displays().first().rootRect;
    // Reaches past the screen's corner: the part outside is black.
    Delivered delivered;
    QElapsedTimer running;
    running.start();
    std::unique_ptr<FrameStream> stream =
        start(request(QRect(root.right() - 63, root.bottom() - 63, 100, 100), QSize(100, 100), 20),
              delivered);
    QTest::qWait(1000);
    stream->stop();
    const qint64 ranMs = running.elapsed();

    // Which tick each frame takes, a late one skipped, is the pacer's own test; here the
    // stream keeps to the rate, at most one frame a tick of the time it ran.
    QMutexLocker lock(&delivered.mutex);
    EXPECT_GE(delivered.frames.size(), 15);
    EXPECT_LE(delivered.frames.size(), ranMs / 50 + 1) << ranMs << " ms";
    const QImage frame = delivered.frames.last();
    EXPECT_EQ(frame.size(), QSize(100, 100));
    EXPECT_EQ(frame.pixel(80, 80), qRgb(0, 0, 0));
    EXPECT_EQ(frame.pixel(99, 10), qRgb(0, 0, 0));
}

TEST_F(X11FrameSourceDesktop, ARateBeyondAMillionAFrameStillReadsFrames)
{
    // Its frame interval rounds to no microseconds at all.
    Delivered delivered;
    std::unique_ptr<FrameStream> stream =
        start(request(QRect(0, 0, 64, 64), QSize(64, 64), 2'000'000), delivered);
    EXPECT_TRUE(waitFor(delivered, false));
    stream->stop();
}

TEST_F(X11FrameSourceDesktop, ThePointerIsDrawnIn)
{
    const QRgb solid = qRgb(10, 120, 200);
    QWidget window;
    window.setFixedSize(120, 80);
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(QColor(solid)));
    window.move(300, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QRect client(window.mapToGlobal(QPoint(0, 0)), window.size());
    QCursor::setPos(client.center());
    ASSERT_TRUE(waitUntil([&] { return QCursor::pos() == client.center(); }));

    const auto differing = [&](bool showsCursor) {
        FrameSourceRequest pointerRequest = request(client, client.size());
        pointerRequest.showsCursor = showsCursor;
        Delivered delivered;
        std::unique_ptr<FrameStream> stream = start(pointerRequest, delivered);
        EXPECT_TRUE(waitFor(delivered, false));
        stream->stop();
        const QImage frame = delivered.frames.first();
        int count = 0;
        for (int y = 0; y < frame.height(); ++y) {
            for (int x = 0; x < frame.width(); ++x)
                count += frame.pixel(x, y) != solid;
        }
        return count;
    };
    EXPECT_EQ(differing(false), 0);
    EXPECT_GT(differing(true), 20);
}

TEST_F(X11FrameSourceDesktop, AClosedWindowEndsTheStream)
{
    auto window = std::make_unique<QWidget>();
    window->setFixedSize(120, 80);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    FrameSourceRequest windowRequest = request({}, QSize(200, 200));
    windowRequest.window = WindowId(window->winId());
    Delivered delivered;
    std::unique_ptr<FrameStream> stream = start(windowRequest, delivered);
    ASSERT_TRUE(waitFor(delivered, false));
    window->close();
    EXPECT_TRUE(waitFor(delivered, true));
    stream->stop();
    {
        QMutexLocker lock(&delivered.mutex);
        EXPECT_EQ(delivered.endReason, "The window was closed");
        EXPECT_FALSE(delivered.frames.isEmpty());
    }

    // A window that no longer exists cannot be recorded.
    window.reset();
    QTest::qWait(100);
    QString error;
    EXPECT_FALSE(sources.start(
        windowRequest, [](const QImage &, qint64) {}, [](const QString &) {}, &error));
    EXPECT_TRUE(error.startsWith("Window ")) << error.toStdString();
}

} // namespace
