#include "capture/RecordingHUDController.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/FakeModeSelecting.h"
#include "support/FakeScreenRecording.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QDir>
#include <gtest/gtest.h>

namespace {

class RecordingFlowTest : public CaptureCoordinatorFixture {
protected:
    RecordingFlowTest()
    {
        m_recorderService = &m_recorder;
        m_modeSelectorService = &m_chooser;
        m_hudService = &m_hud;
        QObject::connect(&m_recorder, &ScreenRecording::isRecordingChanged, [this](bool on) {
            m_log.add(QStringLiteral("recorder.recording(%1)").arg(on));
        });
    }
    ~RecordingFlowTest() override
    {
        m_chooser.gate.open();
        m_recorder.startGate.open();
        m_recorder.stopGate.open();
        m_alerts.gate.open();
        waitUntil([this] {
            return m_chooser.gate.waiting() + m_recorder.startGate.waiting() +
                       m_recorder.stopGate.waiting() + m_alerts.gate.waiting() ==
                   0;
        });
        QCoreApplication::processEvents();
        // The coordinator goes before the recorder and the controls it was given.
        m_coordinator.reset();
    }

    // Runs a recording flow to its end, with the log cleared first.
    void run(QCoro::Task<void> (CaptureCoordinator::*flow)())
    {
        CaptureCoordinator &coordinatorRef = coordinator();
        m_log.clear();
        QCoro::waitFor((coordinatorRef.*flow)());
    }

    // A recording that runs, as the coordinator sees it once the announcement has arrived.
    void startRunning()
    {
        coordinator();
        m_recorder.setRecording(true);
        ASSERT_TRUE(waitUntil([this] { return coordinator().isRecording(); }));
        m_log.clear();
    }

    QStringList captureLines() const { return m_lines.messages(QStringLiteral("capture")); }

    FakeScreenRecording m_recorder;
    FakeModeSelecting m_chooser{m_log};
    RecordingHUDController m_hud{&m_recorder, nullptr};
};

TEST_F(RecordingFlowTest, FullScreenStartHidesChoosesStartsAndShowsTheTray)
{
    showMainWindow();
    m_displays.setPointer(QPointF(2000, 500)); // on the second display
    m_settings.setRecordingExportFormat(VideoExportFormat::mov);
    m_settings.setRecordingFrameRate(24);
    m_settings.setRecordMicrophoneAudio(true);
    run(&CaptureCoordinator::startRecording);

    const QStringList expected = {
        QStringLiteral("permission.preflight"),  QStringLiteral("tray.hide(force)"),
        QStringLiteral("preview.close"),         QStringLiteral("markup.close"),
        QStringLiteral("mainWindow.hide"),       QStringLiteral("select.mode"),
        QStringLiteral("recorder.recording(1)"), QStringLiteral("tray.show(compact)"),
    };
    EXPECT_EQ(m_log.events(), expected);
    // The desktop below the chooser repaints before the first frame.
    EXPECT_GE(*m_log.timeOf(QStringLiteral("recorder.")) - *m_log.timeOf(QStringLiteral("select.")),
              55);
    EXPECT_FALSE(m_mainWindow.isVisible()) << "the main window stays hidden while recording";
    ASSERT_TRUE(m_recorder.lastStart);
    EXPECT_EQ(m_recorder.lastStart->displayID, 9u);
    EXPECT_FALSE(m_recorder.lastStart->sourceRect);
    EXPECT_FALSE(m_recorder.lastStart->window);
    EXPECT_EQ(m_recorder.lastStart->format, VideoExportFormat::mov);
    EXPECT_EQ(m_recorder.lastStart->frameRate, 24);
    EXPECT_TRUE(m_recorder.lastStart->recordAudio);
    EXPECT_FALSE(coordinator().isCaptureInProgress());
    ASSERT_TRUE(waitUntil([this] { return coordinator().isRecording(); }));

    // Already recording: nothing is asked and nothing hidden.
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_log.events(), QStringList(QStringLiteral("permission.preflight")));
    EXPECT_EQ(m_recorder.startCount, 1);
}

TEST_F(RecordingFlowTest, EachModeRecordsOnTheDisplayItsRuleChooses)
{
    // Outside every display: the main one.
    m_displays.setPointer(QPointF(-5000, -5000));
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_recorder.lastStart->displayID, 7u);
    m_recorder.cancelRecording();

    // A window is recorded on the display under the pointer, not its own.
    m_displays.setPointer(QPointF(2000, 500));
    m_chooser.mode = RecordingSelectionMode::window;
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_log.events().mid(4, 2),
              QStringList({QStringLiteral("select.mode"), QStringLiteral("select.window")}));
    EXPECT_EQ(m_recorder.lastStart->displayID, 9u);
    ASSERT_TRUE(m_recorder.lastStart->window);
    EXPECT_EQ(m_recorder.lastStart->window->id, m_window.window.id);
    EXPECT_FALSE(m_recorder.lastStart->sourceRect);
    EXPECT_GE(*m_log.timeOf(QStringLiteral("recorder.")) -
                  *m_log.timeOf(QStringLiteral("select.window")),
              55);
    m_recorder.cancelRecording();

    // An area on both displays: the first it touches, passed on as it was selected.
    m_chooser.mode = RecordingSelectionMode::area;
    m_area.rect = QRectF(1800, 100, 400, 200);
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_recorder.lastStart->displayID, 7u);
    EXPECT_EQ(m_recorder.lastStart->sourceRect, m_area.rect);
    EXPECT_FALSE(m_recorder.lastStart->window);
    m_recorder.cancelRecording();

    m_area.rect = QRectF(2000, 100, 300, 200);
    // No frames would make no movie: a rate below one records one frame a second.
    m_settings.setRecordingFrameRate(0);
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_recorder.lastStart->displayID, 9u);
    EXPECT_EQ(m_recorder.lastStart->frameRate, 1);
    m_recorder.cancelRecording();

    // A rate whose frame interval rounds to no microseconds at all records 240 a second.
    m_settings.setRecordingFrameRate(2'000'000);
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_recorder.lastStart->frameRate, 240);
}

TEST_F(RecordingFlowTest, BackingOutOfAnyStepLogsAndRestoresWithoutAnAlert)
{
    showMainWindow();
    m_chooser.failure = CaptureError::cancelled();
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_log.events().mid(4),
              QStringList({QStringLiteral("mainWindow.hide"), QStringLiteral("select.mode"),
                           QStringLiteral("mainWindow.show")}));
    EXPECT_TRUE(
        captureLines().contains(QStringLiteral("Area recording selection cancelled by user")));
    EXPECT_TRUE(m_alerts.presented.isEmpty());
    EXPECT_EQ(m_recorder.startCount, 0);

    // Without a hidden main window the tray comes back compact when something is staged ...
    m_mainWindow.hide();
    m_chooser.failure.reset();
    m_chooser.mode = RecordingSelectionMode::area;
    m_area.failure = CaptureError::cancelled();
    m_queue.enqueue(makeItem());
    run(&CaptureCoordinator::startRecording);
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.show(compact)"));
    EXPECT_EQ(captureLines().count(QStringLiteral("Area recording selection cancelled by user")),
              2);

    // ... and stays hidden over an empty queue on a screen without a notch.
    m_queue.clearAll();
    m_chooser.mode = RecordingSelectionMode::window;
    m_window.failure = CaptureError::cancelled();
    run(&CaptureCoordinator::startRecording);
    EXPECT_FALSE(m_log.contains(QStringLiteral("tray.show")));
    EXPECT_TRUE(m_alerts.presented.isEmpty());
    EXPECT_EQ(m_recorder.startCount, 0);
}

TEST_F(RecordingFlowTest, AFailedStartRestoresFirstThenAlerts)
{
    showMainWindow();
    m_recorder.startFailure = CaptureError::noDisplayFound();
    run(&CaptureCoordinator::startRecording);

    EXPECT_LT(at(QStringLiteral("mainWindow.show")),
              at(QStringLiteral("alert(Screen Recording Failed)")));
    ASSERT_EQ(m_alerts.presented.size(), 1);
    const platform::Alert &alert = m_alerts.presented.first();
    EXPECT_EQ(alert.style, platform::AlertStyle::warning);
    EXPECT_EQ(alert.informativeText, CaptureError::noDisplayFound().errorDescription());
    EXPECT_EQ(alert.buttonTitles, QStringList(QStringLiteral("OK")));
    EXPECT_TRUE(captureLines().contains(QStringLiteral("Failed to start screen recording: ") +
                                        CaptureError::noDisplayFound().errorDescription()));
    EXPECT_FALSE(m_recorder.isRecording());
    EXPECT_FALSE(coordinator().isCaptureInProgress());
}

TEST_F(RecordingFlowTest, RecordingsAndScreenshotsNeverStartWhileTheOtherIsBeingTaken)
{
    // A screenshot's selection is open: the recording is refused.
    coordinator();
    m_area.gate.close();
    QCoro::Task<void> screenshot = coordinator().captureArea();
    ASSERT_TRUE(waitUntil([this] { return m_area.gate.waiting() == 1; }));
    run(&CaptureCoordinator::startRecording);
    EXPECT_TRUE(m_log.events().isEmpty());
    EXPECT_TRUE(captureLines().contains(
        QStringLiteral("Capture request ignored: another capture is in progress")));
    m_area.gate.open();
    QCoro::waitFor(std::move(screenshot));

    // The chooser is up: a screenshot is refused.
    m_chooser.gate.close();
    QCoro::Task<void> recording = coordinator().startRecording();
    ASSERT_TRUE(waitUntil([this] { return m_chooser.gate.waiting() == 1; }));
    run(&CaptureCoordinator::captureFullDisplay);
    EXPECT_TRUE(m_log.events().isEmpty());
    m_chooser.gate.open();
    QCoro::waitFor(std::move(recording));
    EXPECT_TRUE(m_recorder.isRecording());

    // A screenshot while the recording runs is taken as before.
    run(&CaptureCoordinator::captureFullDisplay);
    EXPECT_TRUE(m_log.contains(QStringLiteral("capture.display")));
}

TEST_F(RecordingFlowTest, AStopStagesTheMovieWithItsPosterFrame)
{
    m_recorder.stopResult.posterFrame = QImage(1920, 1080, QImage::Format_RGB32);
    m_recorder.stopResult.posterFrame.fill(Qt::darkCyan);
    m_recorder.stopResult.filePath = QDir(m_tmp.path()).filePath(QStringLiteral("Recording-A.mov"));
    startRunning();
    run(&CaptureCoordinator::stopRecording);

    EXPECT_EQ(m_log.events(),
              QStringList({QStringLiteral("recorder.recording(0)"), QStringLiteral("sound.stop(1)"),
                           QStringLiteral("sound.play(screen-capture@1)"),
                           QStringLiteral("haptic.generic"), QStringLiteral("queue.items(1)"),
                           QStringLiteral("tray.updateLayout"),
                           QStringLiteral("tray.show(confirmation)")}));
    ASSERT_EQ(m_queue.items().size(), 1);
    const CaptureItem item = m_queue.items().first();
    EXPECT_EQ(item.mode(), CaptureMode::recording);
    EXPECT_FALSE(item.sourceDisplayID());
    EXPECT_EQ(item.state(), CaptureItemState::pending());
    EXPECT_EQ(QSize(int(item.pixelWidth()), int(item.pixelHeight())), QSize(1920, 1080));
    EXPECT_EQ(item.thumbnail().size(), QSize(200, 112));
    EXPECT_EQ(item.image().pixel(3, 3), m_recorder.stopResult.posterFrame.pixel(3, 3));
    // The movie itself is staged, not a copy of it.
    ASSERT_TRUE(item.videoURL());
    EXPECT_EQ(item.videoURL()->toLocalFile(), m_recorder.stopResult.filePath);
    EXPECT_TRUE(item.fileName().endsWith(QStringLiteral(".mov")));
    EXPECT_TRUE(
        QDir(m_tmp.capturesPath()).entryList({QStringLiteral("*.mov")}, QDir::Files).isEmpty());
    EXPECT_TRUE(m_alerts.presented.isEmpty());

    // Nothing to stop: nothing happens.
    run(&CaptureCoordinator::stopRecording);
    EXPECT_TRUE(m_log.events().isEmpty());
    EXPECT_EQ(m_recorder.stopCount, 1);
}

TEST_F(RecordingFlowTest, AFailedStopAlertsAndShowsTheTrayByTheCancelRule)
{
    const CaptureError failure = CaptureError::captureFailed(QStringLiteral("disk full"));
    m_recorder.stopFailure = failure;
    startRunning();
    run(&CaptureCoordinator::stopRecording);
    EXPECT_FALSE(m_log.contains(QStringLiteral("tray.show")));
    EXPECT_EQ(m_log.events().last(), QStringLiteral("alert(Recording Save Failed)"));
    EXPECT_EQ(m_alerts.presented.first().informativeText, failure.errorDescription());
    EXPECT_EQ(m_alerts.presented.first().buttonTitles, QStringList(QStringLiteral("OK")));
    EXPECT_TRUE(captureLines().contains(QStringLiteral("Failed to stop screen recording: ") +
                                        failure.errorDescription()));
    EXPECT_TRUE(m_queue.items().isEmpty());

    // On a notched screen the tray comes back, before the alert.
    tray().notch = true;
    startRunning();
    run(&CaptureCoordinator::stopRecording);
    EXPECT_LT(at(QStringLiteral("tray.show(compact)")),
              at(QStringLiteral("alert(Recording Save Failed)")));
}

TEST_F(RecordingFlowTest, CancelAlwaysAsksTheRecorderThenAppliesTheTrayRule)
{
    startRunning();
    run(&CaptureCoordinator::cancelRecording);
    EXPECT_EQ(m_recorder.cancelCount, 1);
    EXPECT_EQ(m_log.events(), QStringList(QStringLiteral("recorder.recording(0)")));

    m_queue.enqueue(makeItem());
    run(&CaptureCoordinator::cancelRecording);
    EXPECT_EQ(m_recorder.cancelCount, 2) << "asked even while idle";
    EXPECT_EQ(m_log.events(), QStringList(QStringLiteral("tray.show(compact)")));
    EXPECT_EQ(m_queue.items().size(), 1);
    EXPECT_TRUE(m_alerts.presented.isEmpty());
}

TEST_F(RecordingFlowTest, EveryEndOfARecordingBringsBackTheMainWindowItHid)
{
    m_recorder.stopResult.posterFrame = QImage(64, 48, QImage::Format_RGB32);
    m_recorder.stopResult.filePath = QDir(m_tmp.path()).filePath(QStringLiteral("R.mp4"));
    const auto recordOverTheMainWindow = [this] {
        showMainWindow();
        run(&CaptureCoordinator::startRecording);
        ASSERT_FALSE(m_mainWindow.isVisible());
        ASSERT_TRUE(waitUntil([this] { return coordinator().isRecording(); }));
    };
    const auto afterTheRecorder = [this] {
        return m_log.events().mid(at(QStringLiteral("recorder.recording(0)")) + 1);
    };

    // Stopped: the movie is staged and the tray shown, then the main window comes back.
    recordOverTheMainWindow();
    run(&CaptureCoordinator::stopRecording);
    EXPECT_EQ(afterTheRecorder().mid(afterTheRecorder().size() - 2),
              (QStringList{QStringLiteral("tray.show(confirmation)"),
                           QStringLiteral("mainWindow.show")}));
    EXPECT_EQ(m_queue.items().size(), 1);

    // Cancelled, and a stop that failed: the tray by its rule, then the main window.
    recordOverTheMainWindow();
    run(&CaptureCoordinator::cancelRecording);
    EXPECT_EQ(afterTheRecorder(), (QStringList{QStringLiteral("tray.show(compact)"),
                                               QStringLiteral("mainWindow.show")}));
    recordOverTheMainWindow();
    m_recorder.stopFailure = CaptureError::captureFailed(QStringLiteral("disk full"));
    run(&CaptureCoordinator::stopRecording);
    EXPECT_EQ(afterTheRecorder(),
              (QStringList{QStringLiteral("tray.show(compact)"), QStringLiteral("mainWindow.show"),
                           QStringLiteral("alert(Recording Save Failed)")}));
    EXPECT_TRUE(m_mainWindow.isVisible());
}

// Opened again during the recording, the main window is where the user put it: the stop leaves
// the keyboard with the window the user went on to work in.
TEST_F(RecordingFlowTest, AMainWindowReopenedDuringTheRecordingIsLeftWhereItIs)
{
    m_recorder.stopResult.posterFrame = QImage(64, 48, QImage::Format_RGB32);
    m_recorder.stopResult.filePath = QDir(m_tmp.path()).filePath(QStringLiteral("R.mp4"));
    showMainWindow();
    m_mainWindow.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_mainWindow)) << "it had the keyboard";
    run(&CaptureCoordinator::startRecording);
    ASSERT_TRUE(waitUntil([this] { return coordinator().isRecording(); }));
    showMainWindow();
    QWidget working;
    working.show();
    working.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&working));

    run(&CaptureCoordinator::stopRecording);
    EXPECT_EQ(m_queue.items().size(), 1);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_EQ(QApplication::activeWindow(), &working) << "the keyboard stays where the user is";
}

TEST_F(RecordingFlowTest, TheMirrorFollowsTheRecorderOnALaterTurn)
{
    QList<bool> announced;
    QObject::connect(&coordinator(), &CaptureCoordinator::isRecordingChanged,
                     [&](bool on) { announced << on; });
    m_recorder.setRecording(true);
    EXPECT_FALSE(coordinator().isRecording());
    ASSERT_TRUE(waitUntil([this] { return coordinator().isRecording(); }));
    m_recorder.setRecording(false);
    ASSERT_TRUE(waitUntil([this] { return !coordinator().isRecording(); }));
    EXPECT_EQ(announced, QList<bool>({true, false}));

    // A coordinator made while a recording runs starts out recording.
    m_coordinator.reset();
    m_recorder.setRecording(true);
    EXPECT_TRUE(coordinator().isRecording());
}

TEST_F(RecordingFlowTest, TheControlsRequestsAndToggleReachTheFlows)
{
    startRunning();
    m_hud.requestStop();
    EXPECT_EQ(m_recorder.stopCount, 0) << "the request returns first";
    ASSERT_TRUE(waitUntil([this] { return m_queue.items().size() == 1; }));

    startRunning();
    m_hud.requestCancel();
    EXPECT_EQ(m_recorder.cancelCount, 0);
    ASSERT_TRUE(waitUntil([this] { return m_recorder.cancelCount == 1; }));

    run(&CaptureCoordinator::toggleRecording);
    EXPECT_TRUE(m_log.contains(QStringLiteral("select.mode")));
    EXPECT_TRUE(m_recorder.isRecording());
    run(&CaptureCoordinator::toggleRecording);
    EXPECT_EQ(m_recorder.stopCount, 2);
    EXPECT_EQ(m_queue.items().size(), 2);

    // Once the coordinator is gone the requests do nothing.
    m_coordinator.reset();
    m_recorder.setRecording(true);
    m_hud.requestStop();
    m_hud.requestCancel();
    QTest::qWait(50);
    EXPECT_EQ(m_recorder.stopCount, 2);
    EXPECT_EQ(m_recorder.cancelCount, 1);
}

TEST_F(RecordingFlowTest, AStreamThatEndsByItselfIsStagedLikeAStop)
{
    startRunning();
    m_recorder.endStream();
    ASSERT_TRUE(waitUntil([this] { return m_queue.items().size() == 1; }));
    EXPECT_EQ(m_queue.items().first().mode(), CaptureMode::recording);
    EXPECT_TRUE(captureLines().contains(
        QStringLiteral("Recording source went away; finishing the recording")));
    EXPECT_EQ(m_recorder.stopCount, 1);
    EXPECT_TRUE(m_alerts.presented.isEmpty());
}

TEST_F(RecordingFlowTest, StopAndCancelTogetherKeepTheMovieBeingSaved)
{
    // Cancel while the stop finishes the movie: the movie is kept and staged.
    startRunning();
    m_recorder.stopGate.close();
    QCoro::Task<void> stopping = coordinator().stopRecording();
    ASSERT_TRUE(waitUntil([this] { return m_recorder.stopGate.waiting() == 1; }));
    QCoro::waitFor(coordinator().cancelRecording());
    // A second stop, and the stream ending meanwhile, leave it alone too.
    QCoro::waitFor(coordinator().stopRecording());
    m_recorder.endStream();
    QTest::qWait(30);
    EXPECT_EQ(m_recorder.cancelCount, 0);
    EXPECT_EQ(m_recorder.stopCount, 1);
    EXPECT_TRUE(captureLines().contains(
        QStringLiteral("Recording cancel ignored: the recording is being saved")));
    m_recorder.stopGate.open();
    QCoro::waitFor(std::move(stopping));
    EXPECT_EQ(m_queue.items().size(), 1);
    EXPECT_EQ(m_recorder.stopCount, 1);

    // Cancel first, stop at once after, before the mirror caught up: the stop finds nothing.
    startRunning();
    QCoro::waitFor(coordinator().cancelRecording());
    EXPECT_TRUE(coordinator().isRecording()) << "the mirror has not caught up yet";
    QCoro::waitFor(coordinator().stopRecording());
    EXPECT_EQ(m_recorder.stopCount, 1);
    EXPECT_TRUE(m_alerts.presented.isEmpty());
    EXPECT_EQ(m_queue.items().size(), 1);
}

} // namespace
