#include "capture/ScreenRecordingService.h"
#include "model/CaptureErrors.h"
#include "model/TemporaryFiles.h"
#include "support/AwaitError.h"
#include "support/FakeDisplays.h"
#include "support/FakeFrameSources.h"
#include "support/FakeGifConverter.h"
#include "support/FakeMovieWriters.h"
#include "support/FakePosterFrames.h"
#include "support/Joined.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

using platform::Display;

// Sound inputs that are either all missing or hand out a capture the test feeds.
class FakeAudioInputs : public platform::AudioInputs {
public:
    class Capture : public platform::AudioCapture {
    public:
        void stop() override {}
    };

    std::unique_ptr<platform::AudioCapture> start(bool systemSound, bool microphone, Sink sink,
                                                  QString *error) override
    {
        requested = {systemSound, microphone};
        if (!available) {
            *error = QStringLiteral("Connection refused");
            return nullptr;
        }
        this->sink = std::move(sink);
        return std::make_unique<Capture>();
    }

    bool available = true;
    std::pair<bool, bool> requested;
    Sink sink;
};

platform::WindowInfo windowAt(QRectF captureFrame)
{
    platform::WindowInfo window;
    window.id = 0x400007;
    window.captureFrame = captureFrame;
    return window;
}

TEST(RecordingGeometryTest, PixelSizesAreEvenAtLeastTwoAndFollowTheDisplayScale)
{
    const QList<Display> displays =
        platform::arrangeDisplays({FakeDisplays::make(1, QRect(0, 0, 3024, 1964), 2.0, true),
                                   FakeDisplays::make(2, QRect(1512, 0, 1920, 1080))});
    const Display retina = displays[0];
    const Display plain = displays[1];

    const RecordingGeometry whole = recordingGeometry(retina, std::nullopt, std::nullopt);
    EXPECT_EQ(whole.pixelSize, QSize(3024, 1964));
    EXPECT_EQ(whole.rootRect, QRect(0, 0, 3024, 1964));
    EXPECT_FALSE(whole.sourceRect);

    EXPECT_EQ(
        recordingGeometry(plain, std::nullopt, windowAt(QRectF(1600, 10, 301, 201))).pixelSize,
        QSize(302, 202));
    EXPECT_EQ(recordingGeometry(retina, QRectF(10, 10, 0.5, 0.5), std::nullopt).pixelSize,
              QSize(2, 2));

    const RecordingGeometry area = recordingGeometry(plain, QRectF(2000, 100, 300, 200), {});
    EXPECT_EQ(area.sourceRect, QRectF(488, 100, 300, 200));
    EXPECT_EQ(area.pixelSize, QSize(300, 200));
    EXPECT_EQ(area.rootRect, QRect(2000, 100, 300, 200));

    const RecordingGeometry retinaArea = recordingGeometry(retina, QRectF(100, 50, 20.25, 10), {});
    EXPECT_EQ(retinaArea.rootRect, QRect(200, 100, 40, 20));

    const RecordingGeometry window =
        recordingGeometry(retina, QRectF(0, 0, 50, 50), windowAt(QRectF(100, 100, 150.5, 80)));
    EXPECT_FALSE(window.sourceRect);
    EXPECT_EQ(window.pixelSize, QSize(302, 160));
    EXPECT_EQ(window.rootRect.topLeft(), QPoint(200, 200));
}

class ScreenRecordingServiceTest : public ::testing::Test {
protected:
    ScreenRecordingService &service()
    {
        if (!m_service) {
            m_service = std::make_unique<ScreenRecordingService>(
                platform::RecordingPlatform{frames, writers, posters, audio, gifs}, displays);
        }
        return *m_service;
    }

    void start(platform::DisplayId id = 1, std::optional<QRectF> area = {},
               std::optional<platform::WindowInfo> window = {},
               VideoExportFormat format = VideoExportFormat::mp4, int frameRate = 30,
               bool recordAudio = false)
    {
        QCoro::waitFor(service().startRecording(id, area, window, format, frameRate, recordAudio));
    }

    std::optional<CaptureError> startError(platform::DisplayId id = 1)
    {
        return awaitError<CaptureError>(
            service().startRecording(id, {}, {}, VideoExportFormat::mp4, 30, false));
    }

    QStringList temporaryFiles() const { return QDir(temp.path()).entryList(QDir::Files); }

    TempDirScope temp;
    FakeDisplays displays{{FakeDisplays::make(1, QRect(0, 0, 3024, 1964), 2.0, true),
                           FakeDisplays::make(2, QRect(3024, 0, 1920, 1080))}};
    std::shared_ptr<FakeFrameSources> frames = std::make_shared<FakeFrameSources>();
    std::shared_ptr<FakeMovieWriters> writers = std::make_shared<FakeMovieWriters>();
    std::shared_ptr<FakePosterFrames> posters = std::make_shared<FakePosterFrames>();
    std::shared_ptr<FakeAudioInputs> audio = std::make_shared<FakeAudioInputs>();
    std::shared_ptr<FakeGifConverter> gifs = std::make_shared<FakeGifConverter>();
    LogCapture log;

private:
    std::unique_ptr<ScreenRecordingService> m_service;
};

TEST_F(ScreenRecordingServiceTest, StartRecordsTheChosenDisplayIntoANamedTemporaryMovie)
{
    QSignalSpy recording(&service(), &ScreenRecording::isRecordingChanged);
    start(2, {}, {}, VideoExportFormat::mov, 60);

    EXPECT_TRUE(service().isRecording());
    EXPECT_EQ(recording.count(), 1);
    ASSERT_TRUE(frames->lastRequest);
    EXPECT_EQ(frames->lastRequest->rootRect, QRect(3024, 0, 1920, 1080));
    EXPECT_EQ(frames->lastRequest->frameRate, 60);
    EXPECT_TRUE(frames->lastRequest->showsCursor);
    EXPECT_FALSE(frames->lastRequest->window);

    const platform::MovieSettings settings = writers->last->settings;
    EXPECT_EQ(settings.container, platform::MovieContainer::quickTime);
    EXPECT_EQ(settings.frameSize, QSize(1920, 1080));
    EXPECT_FALSE(settings.withAudio);
    EXPECT_EQ(QFileInfo(settings.filePath).absolutePath(),
              QFileInfo(temp.path()).absoluteFilePath());
    EXPECT_TRUE(QRegularExpression(
                    QStringLiteral("^Recording-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}\\.mov$"))
                    .match(QFileInfo(settings.filePath).fileName())
                    .hasMatch());
    EXPECT_EQ(service().outputPath(), settings.filePath);
    EXPECT_EQ(joined(log.messages("capture")),
              joined({"Starting screen recording (display: 2, fps: 60, format: MOV)",
                      "Screen recording started successfully"}));
}

TEST_F(ScreenRecordingServiceTest, AMissingTmpdirRecordsIntoTheSystemFolder)
{
    const QString system = temp.path() + "/system";
    QDir().mkdir(system);
    temp.dropTmpdir(system);
    start();
    ASSERT_TRUE(writers->last);
    EXPECT_EQ(QFileInfo(writers->last->settings.filePath).absolutePath(), system);
    EXPECT_TRUE(QFileInfo(service().outputPath()).isAbsolute());
    service().cancelRecording();
}

TEST_F(ScreenRecordingServiceTest, DisplayChoiceFrameRateAndContainerFollowTheRules)
{
    // An unknown display records the first; a rate of zero records one frame a second; a
    // "gif" runs as an MPEG-4 movie.
    QCoro::waitFor(service().startRecording(42, {}, {}, VideoExportFormat::gif, 0, false));
    EXPECT_EQ(frames->lastRequest->rootRect, QRect(0, 0, 3024, 1964));
    EXPECT_EQ(frames->lastRequest->frameRate, 1);
    EXPECT_EQ(writers->last->settings.frameRate, 1);
    EXPECT_EQ(writers->last->settings.container, platform::MovieContainer::mpeg4);
    EXPECT_TRUE(writers->last->settings.filePath.endsWith(QStringLiteral(".mp4")));
    service().cancelRecording();

    // Rates from a hand-edited settings file are bounded to what a display shows.
    for (const int asked : {100'000, 1'000'001, std::numeric_limits<int>::max()}) {
        start(2, {}, {}, VideoExportFormat::mp4, asked);
        EXPECT_EQ(frames->lastRequest->frameRate, 240);
        EXPECT_EQ(writers->last->settings.frameRate, 240);
        service().cancelRecording();
    }

    // A window wins over an area and is followed by the source.
    start(2, QRectF(3100, 10, 50, 50), windowAt(QRectF(3100, 20, 401, 300)));
    EXPECT_EQ(frames->lastRequest->window, platform::WindowId(0x400007));
    EXPECT_EQ(frames->lastRequest->frameSize, QSize(402, 300));
    service().cancelRecording();

    displays.set({});
    EXPECT_EQ(startError(), CaptureError::noDisplayFound());
    EXPECT_FALSE(service().isRecording());
}

TEST_F(ScreenRecordingServiceTest, StartWhileRecordingOnlyLogs)
{
    start();
    log.clear();
    start(2);
    EXPECT_EQ(frames->startCount, 1);
    EXPECT_EQ(writers->createCount, 1);
    EXPECT_EQ(joined(log.messages("capture")), joined({"Recording already in progress"}));
    EXPECT_TRUE(service().isRecording());
}

TEST_F(ScreenRecordingServiceTest, FailedStartLeavesNoFileAndStaysIdle)
{
    frames->failure = QStringLiteral("Cannot open the display");
    EXPECT_EQ(startError(), CaptureError::captureFailed(QStringLiteral("Cannot open the display")));
    EXPECT_TRUE(writers->last->cancelled);
    EXPECT_FALSE(service().isRecording());

    writers->createFailure = QStringLiteral("Permission denied");
    EXPECT_EQ(startError(), CaptureError::captureFailed(QStringLiteral("Permission denied")));
    EXPECT_TRUE(temporaryFiles().isEmpty());

    // A later start goes ahead as usual.
    frames->failure.clear();
    writers->createFailure.clear();
    start();
    EXPECT_TRUE(service().isRecording());
}

TEST_F(ScreenRecordingServiceTest, StopHandsOverTheMovieWithPosterFrameAndLastPublishedDuration)
{
    start();
    frames->deliverFrame(1'000'000);
    frames->deliverFrame(1'033'000);
    ASSERT_TRUE(waitUntil([&] { return service().duration() >= 1.0; }, 3000));
    const double published = service().duration();
    log.clear();

    const RecordingResult result = QCoro::waitFor(service().stopRecording());
    EXPECT_EQ(result.filePath, writers->last->settings.filePath);
    EXPECT_EQ(result.duration, published);
    EXPECT_EQ(result.posterFrame, posters->frames.value(0.1));
    EXPECT_TRUE(writers->last->finished);
    EXPECT_EQ(writers->last->frameTimes, (QList<qint64>{1'000'000, 1'033'000}));
    EXPECT_FALSE(frames->isRunning());
    EXPECT_FALSE(service().isRecording());
    EXPECT_EQ(service().duration(), 0);
    EXPECT_TRUE(QFile::exists(result.filePath));
    EXPECT_EQ(joined(log.messages("capture")),
              joined({"Stopping screen recording...",
                      "Recording finalized successfully at: " + result.filePath}));

    // The file now belongs to the caller; a second stop has nothing to stop.
    EXPECT_EQ(awaitError<CaptureError>(service().stopRecording()),
              CaptureError::captureFailed(QStringLiteral("No active recording to stop")));
    QFile::remove(result.filePath);
}

TEST_F(ScreenRecordingServiceTest, StopBeforeTheFirstFrameRemovesTheEmptyMovie)
{
    // A source that gives no frame, not even while the stop waits for one.
    const CaptureError noFrames = CaptureError::captureFailed(
        QStringLiteral("Failed to finalize video: No video frames were recorded"));
    service().setFirstFrameWait(std::chrono::milliseconds(50));
    start();
    EXPECT_EQ(awaitError<CaptureError>(service().stopRecording()), noFrames);
    EXPECT_TRUE(temporaryFiles().isEmpty());
    EXPECT_FALSE(service().isRecording());
    EXPECT_TRUE(log.messages("capture").contains(
        QStringLiteral("Movie writer failed with error: No video frames were recorded")));

    // A source that ended gives no first frame: the stop does not wait for one.
    service().setFirstFrameWait(std::chrono::minutes(1));
    start();
    frames->end(QStringLiteral("The window was closed"));
    EXPECT_EQ(awaitError<CaptureError>(service().stopRecording(), 10000), noFrames);
    EXPECT_TRUE(temporaryFiles().isEmpty());

    // A movie that cannot be completed after frames were written keeps what it holds.
    writers->finishFailure = QStringLiteral("No space left on device");
    start();
    frames->deliverFrame(5);
    EXPECT_EQ(awaitError<CaptureError>(service().stopRecording()),
              CaptureError::captureFailed(
                  QStringLiteral("Failed to finalize video: No space left on device")));
    EXPECT_EQ(temporaryFiles().size(), 1);
    // It is a temporary file like the others: a clean quit removes it.
    TemporaryFiles::deletePendingNow();
    EXPECT_TRUE(temporaryFiles().isEmpty());
}

TEST_F(ScreenRecordingServiceTest, CancelDeletesTheMovieAndIsIgnoredWhenIdleOrStopping)
{
    service().cancelRecording();
    EXPECT_TRUE(log.messages("capture").isEmpty());

    start();
    frames->deliverFrame(1);
    const QString path = service().outputPath();
    ASSERT_TRUE(QFile::exists(path));
    service().cancelRecording();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(service().outputPath().isEmpty());
    EXPECT_TRUE(writers->last->cancelled);
    EXPECT_FALSE(frames->isRunning());
    EXPECT_FALSE(service().isRecording());
    EXPECT_TRUE(log.messages("capture").contains(QStringLiteral("Cancelling screen recording")));

    // Stop and cancel pressed together: the stop already owns the movie and keeps it.
    start();
    frames->deliverFrame(1);
    QCoro::Task<RecordingResult> stopping = service().stopRecording();
    service().cancelRecording();
    const RecordingResult result = QCoro::waitFor(std::move(stopping));
    EXPECT_TRUE(QFile::exists(result.filePath));
    EXPECT_TRUE(writers->last->finished);
}

TEST_F(ScreenRecordingServiceTest, SourceThatEndsKeepsRecordingUntilStopped)
{
    start(1, {}, windowAt(QRectF(10, 10, 100, 100)));
    frames->deliverFrame(1);
    QSignalSpy ended(&service(), &ScreenRecording::streamEnded);
    frames->end(QStringLiteral("The window was closed"));
    frames->end(QStringLiteral("The window was closed"));
    ASSERT_TRUE(waitUntil([&] { return ended.count() > 0; }));
    QTest::qWait(20);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(service().isRecording());
    EXPECT_TRUE(log.messages("capture").contains(
        QStringLiteral("Frame stream stopped with error: The window was closed")));

    const RecordingResult result = QCoro::waitFor(service().stopRecording());
    EXPECT_TRUE(writers->last->finished);
    EXPECT_TRUE(QFile::exists(result.filePath));
}

TEST_F(ScreenRecordingServiceTest, UnpluggedDisplayEndsItsRecording)
{
    start(2);
    QSignalSpy ended(&service(), &ScreenRecording::streamEnded);
    displays.change({FakeDisplays::make(2, QRect(0, 0, 1920, 1080), 1.0, true),
                     FakeDisplays::make(3, QRect(1920, 0, 800, 600))});
    EXPECT_EQ(ended.count(), 0);
    displays.change({FakeDisplays::make(1, QRect(0, 0, 3024, 1964), 2.0, true)});
    EXPECT_EQ(ended.count(), 1);
    EXPECT_TRUE(log.messages("capture").contains(
        QStringLiteral("Frame stream stopped with error: The display was disconnected")));
}

TEST_F(ScreenRecordingServiceTest, SoundGoesToTheWriterAndIsLeftOutWhenUnavailable)
{
    start(1, {}, {}, VideoExportFormat::mp4, 30, true);
    EXPECT_EQ(audio->requested, std::make_pair(true, true));
    EXPECT_TRUE(writers->last->settings.withAudio);
    const float samples[8] = {};
    audio->sink(samples, 4, 100);
    EXPECT_EQ(writers->last->audioFrames, 4);
    service().cancelRecording();

    audio->available = false;
    start(1, {}, {}, VideoExportFormat::mp4, 30, true);
    EXPECT_TRUE(service().isRecording());
    EXPECT_FALSE(writers->last->settings.withAudio);
    EXPECT_TRUE(log.messages("capture").contains(
        QStringLiteral("Recording without sound: Connection refused")));
}

TEST_F(ScreenRecordingServiceTest, PosterFrameFallsBackToTheFirstFrameThenThePlaceholder)
{
    QImage first(32, 24, QImage::Format_RGB32);
    first.fill(Qt::green);
    posters->frames = {{0.0, first}};
    EXPECT_EQ(ScreenRecordingService::makeThumbnail(*posters, QStringLiteral("/t/a.mp4")), first);

    posters->frames.clear();
    const QImage placeholder =
        ScreenRecordingService::makeThumbnail(*posters, QStringLiteral("/t/a.mp4"));
    EXPECT_EQ(placeholder.size(), QSize(400, 300));
    EXPECT_EQ(placeholder.pixel(5, 5), QColor::fromRgbF(0.1f, 0.1f, 0.12f).rgb());
    const QColor dot = placeholder.pixelColor(200, 150);
    EXPECT_GT(dot.blue(), 200);
    EXPECT_LT(dot.red(), 80);
    EXPECT_EQ(joined(posters->calls), joined({"frameAt(a.mp4, 0.1)", "frameAt(a.mp4, 0)",
                                              "frameAt(a.mp4, 0.1)", "frameAt(a.mp4, 0)"}));
    EXPECT_EQ(joined(log.messages("capture")),
              joined({"Poster frame decoder at 0.1s failed: no frame at 0.1; trying time zero",
                      "Poster frame decoder at 0.1s failed: no frame at 0.1; trying time zero",
                      "Poster frame decoder at zero failed: no frame at 0; using fallback"}));
}

} // namespace

namespace {

class ScreenRecordingGifTest : public ScreenRecordingServiceTest {
protected:
    void recordGif()
    {
        start(1, {}, {}, VideoExportFormat::gif, 60);
        frames->deliverFrame(1'000'000);
        frames->deliverFrame(1'016'000);
    }
};

TEST_F(ScreenRecordingGifTest, StopTurnsTheMovieIntoTheGifOfTheSameName)
{
    recordGif();
    const QString movie = writers->last->settings.filePath;
    EXPECT_EQ(service().outputPath(), movie);
    log.clear();

    const RecordingResult result = QCoro::waitFor(service().stopRecording());
    const QString baseName = QFileInfo(movie).completeBaseName();
    EXPECT_EQ(result.filePath, temp.path() + '/' + baseName + ".gif");
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Recording-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}$"))
            .match(baseName)
            .hasMatch());
    EXPECT_EQ(service().outputPath(), result.filePath);
    EXPECT_EQ(gifs->calls,
              QStringList(QStringLiteral("convert(%1.mp4, %1.gif, 30)").arg(baseName)));
    // The poster frame comes from the movie while it is there; then only the GIF is left.
    EXPECT_EQ(posters->calls, QStringList(QStringLiteral("frameAt(%1.mp4, 0.1)").arg(baseName)));
    EXPECT_EQ(result.posterFrame, posters->frames.value(0.1));
    EXPECT_EQ(temporaryFiles(), QStringList(baseName + ".gif"));
    EXPECT_FALSE(service().isRecording());
    EXPECT_TRUE(log.messages("capture").contains("Recording finalized successfully at: " +
                                                 result.filePath));
}

TEST_F(ScreenRecordingGifTest, FailedConversionKeepsTheMovieAndReportsIt)
{
    gifs->failure = QStringLiteral("Cannot encode the GIF: Out of memory");
    recordGif();
    const QString movie = writers->last->settings.filePath;

    const std::optional<CaptureError> error = awaitError<CaptureError>(service().stopRecording());
    EXPECT_EQ(error, CaptureError::captureFailed(
                         QStringLiteral("Failed to make the GIF: Cannot encode the GIF: Out of "
                                        "memory. The recording is kept as a movie at ") +
                         movie));
    EXPECT_EQ(temporaryFiles(), QStringList(QFileInfo(movie).fileName()));
    EXPECT_EQ(service().outputPath(), movie);
    EXPECT_FALSE(service().isRecording());
    EXPECT_TRUE(log.messages("capture").contains(
        QStringLiteral("GIF conversion failed: Cannot encode the GIF: Out of memory")));

    // A platform that makes no GIFs fails the same way, and the next recording goes ahead.
    ScreenRecordingService gifless(platform::RecordingPlatform{frames, writers, posters, audio},
                                   displays);
    QCoro::waitFor(gifless.startRecording(1, {}, {}, VideoExportFormat::gif, 30, false));
    frames->deliverFrame(7);
    const std::optional<CaptureError> unavailable =
        awaitError<CaptureError>(gifless.stopRecording());
    ASSERT_TRUE(unavailable);
    EXPECT_TRUE(unavailable->errorDescription().contains("GIFs cannot be made here"));
    EXPECT_EQ(temporaryFiles().size(), 2);
}

TEST_F(ScreenRecordingGifTest, CancelLeavesNeitherMovieNorGif)
{
    recordGif();
    service().cancelRecording();
    EXPECT_TRUE(temporaryFiles().isEmpty());
    EXPECT_TRUE(gifs->calls.isEmpty());
}

} // namespace
