// Recordings, GIF recordings above all, from the recording flow's stop to the staged capture and
// what the tray's copy and save do with it: the recorder's own movie writer, poster frames and
// GIF converter over frames the test hands in.

#include "app/DesktopPlatform.h"
#include "capture/ClipboardService.h"
#include "capture/SaveService.h"
#include "capture/ScreenRecordingService.h"
#include "platform/RecordingPlatform.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/FakeFrameSources.h"
#include "support/FakeGifConverter.h"
#include "support/FakeImageWriter.h"
#include "support/FakeModeSelecting.h"
#include "support/FakePasteboard.h"
#include "support/FakeSavePanel.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QThread>
#include <gtest/gtest.h>

namespace {

const QColor firstHalf(230, 40, 40);
const QColor secondHalf(40, 70, 220);

bool near(QColor actual, QColor expected)
{
    return std::abs(actual.red() - expected.red()) < 24 &&
           std::abs(actual.green() - expected.green()) < 24 &&
           std::abs(actual.blue() - expected.blue()) < 24;
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class GifRecordingFlowTest : public CaptureCoordinatorFixture {
protected:
    GifRecordingFlowTest()
    {
        m_settings.setRecordingExportFormat(VideoExportFormat::gif);
        m_settings.setRecordingFrameRate(60);
        m_settings.setRecordMicrophoneAudio(false);
        m_chooser.mode = RecordingSelectionMode::area;
        m_platform.frameSources = m_frames;
        m_platform.audioInputs = nullptr;
        m_modeSelectorService = &m_chooser;
        m_clipboardService = &m_clipboardReal;
        m_saveService = &m_saverReal;
    }
    ~GifRecordingFlowTest() override
    {
        // The coordinator goes before the recorder it was given.
        m_coordinator.reset();
        if (m_recorder)
            m_recorder->cancelRecording();
    }

    // A second at 60 fps of the selected area: one colour, then the other halfway, where
    // `halfway` runs; stopped through the flow.
    void recordAndStop(const std::function<void()> &halfway = {})
    {
        m_recorder = std::make_unique<ScreenRecordingService>(m_platform, m_displays);
        m_recorderService = m_recorder.get();
        QCoro::waitFor(coordinator().startRecording());
        ASSERT_TRUE(m_recorder->isRecording());
        for (int i = 0; i < 60; ++i) {
            if (i == 30 && halfway)
                halfway();
            m_frames->deliverFrame(i * 1'000'000 / 60, i < 30 ? firstHalf : secondHalf);
            QThread::msleep(3);
        }
        QCoro::waitFor(coordinator().stopRecording());
    }

    QStringList temporaryFiles() const
    {
        return QDir(m_tmp.path()).entryList({QStringLiteral("Recording-*")}, QDir::Files);
    }

    platform::RecordingPlatform m_platform = desktop::makeRecordingPlatform();
    std::shared_ptr<FakeFrameSources> m_frames = std::make_shared<FakeFrameSources>();
    std::unique_ptr<ScreenRecordingService> m_recorder;
    FakeModeSelecting m_chooser{m_log};
    std::shared_ptr<FakePasteboard> m_pasteboard = std::make_shared<FakePasteboard>();
    ClipboardService m_clipboardReal{m_pasteboard};
    std::shared_ptr<FakeSavePanel> m_panel = std::make_shared<FakeSavePanel>();
    SaveService m_saverReal{m_panel, std::make_shared<FakeImageWriter>()};
};

TEST_F(GifRecordingFlowTest, TheStagedCaptureIsTheLoopingGifWithItsPosterFrame)
{
    recordAndStop();
    EXPECT_TRUE(m_alerts.presented.isEmpty());
    ASSERT_EQ(m_queue.items().size(), 1);
    const CaptureItem item = m_queue.items().first();
    ASSERT_TRUE(item.videoURL());
    const QString gif = item.videoURL()->toLocalFile();
    EXPECT_TRUE(item.fileName().endsWith(QStringLiteral(".gif")));
    // Only the GIF is left of the recording.
    EXPECT_EQ(temporaryFiles(), QStringList(QFileInfo(gif).fileName()));

    QImageReader reader(gif);
    EXPECT_EQ(reader.format(), "gif");
    EXPECT_EQ(reader.size(), QSize(320, 240));
    EXPECT_EQ(reader.loopCount(), -1);
    // 60 frames a second recorded, 30 in the GIF.
    QList<QImage> frames;
    for (QImage frame = reader.read(); !frame.isNull(); frame = reader.read())
        frames.append(frame);
    ASSERT_NEAR(frames.size(), 30, 2);
    EXPECT_TRUE(near(frames[5].pixelColor(160, 120), firstHalf));
    EXPECT_TRUE(near(frames[frames.size() - 5].pixelColor(160, 120), secondHalf));

    EXPECT_EQ(item.image().size(), QSize(320, 240));
    EXPECT_TRUE(near(item.image().pixelColor(160, 120), firstHalf))
        << item.image().pixelColor(160, 120).name().toStdString();
}

TEST_F(GifRecordingFlowTest, CopyOffersTheGifFileAndSaveCopiesItByteForByte)
{
    recordAndStop();
    ASSERT_EQ(m_queue.items().size(), 1);
    const CaptureItem item = m_queue.items().first();
    const QString gif = item.videoURL()->toLocalFile();

    QCoro::waitFor(coordinator().performCopy(item));
    EXPECT_EQ(m_pasteboard->calls,
              QStringList({"file(" + QUrl::fromLocalFile(gif).toString() + ")"}));

    const QString chosen = m_tmp.path() + QStringLiteral("/saved.gif");
    m_panel->answer = QUrl::fromLocalFile(chosen);
    QCoro::waitFor(coordinator().saveCapture(m_queue.items().first()));
    ASSERT_FALSE(m_panel->shown.isEmpty());
    EXPECT_EQ(m_panel->shown.last().allowedContentTypes, QStringList("image/gif"));
    const QByteArray bytes = contents(gif);
    EXPECT_TRUE(bytes.startsWith("GIF89a"));
    EXPECT_EQ(contents(chosen), bytes);
}

TEST_F(GifRecordingFlowTest, AFailedConversionAlertsKeepsTheMovieAndStagesNothing)
{
    auto failing = std::make_shared<FakeGifConverter>();
    failing->failure = QStringLiteral("Cannot encode the GIF: No space left on device");
    m_platform.gifConverter = failing;
    recordAndStop();

    EXPECT_TRUE(m_queue.items().isEmpty());
    ASSERT_EQ(m_alerts.presented.size(), 1);
    EXPECT_EQ(m_alerts.presented.first().messageText, "Recording Save Failed");
    const QStringList kept = temporaryFiles();
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(kept.first().endsWith(".mp4"));
    const QString movie = m_tmp.path() + '/' + kept.first();
    EXPECT_EQ(m_alerts.presented.first().informativeText,
              "Capture failed: Failed to make the GIF: Cannot encode the GIF: No space left on "
              "device. The "
              "recording is kept as a movie at " +
                  movie);
    // What was recorded plays.
    EXPECT_FALSE(m_platform.posterFrames->frameAt(movie, 0.5).isNull());
    EXPECT_FALSE(m_recorder->isRecording());
}

TEST_F(GifRecordingFlowTest, AMovieDeletedWhileRecordingEndsAsAFailedRecording)
{
    for (const VideoExportFormat format : {VideoExportFormat::mp4, VideoExportFormat::gif}) {
        m_settings.setRecordingExportFormat(format);
        m_alerts.presented.clear();
        // A coordinator for each recorder.
        m_coordinator.reset();
        recordAndStop([this] { ASSERT_TRUE(QFile::remove(m_recorder->outputPath())); });

        EXPECT_TRUE(m_queue.items().isEmpty()) << rawValue(format).toStdString();
        ASSERT_EQ(m_alerts.presented.size(), 1) << rawValue(format).toStdString();
        EXPECT_EQ(m_alerts.presented.first().messageText, "Recording Save Failed");
        EXPECT_EQ(m_alerts.presented.first().informativeText,
                  "Capture failed: Failed to finalize video: The movie file was deleted while "
                  "recording");
        EXPECT_FALSE(m_recorder->isRecording());
        EXPECT_TRUE(temporaryFiles().isEmpty()) << temporaryFiles().join(' ').toStdString();
    }
}

} // namespace
