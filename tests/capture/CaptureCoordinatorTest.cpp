#include "capture/AreaSelectionService.h"
#include "capture/SaveService.h"
#include "model/CaptureTestSupport.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/qt/QtSavePanel.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/FakeImageWriter.h"
#include "support/FakeOverlayWindows.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace {

using namespace std::chrono_literals;

class CaptureCoordinatorTest : public CaptureCoordinatorFixture {
protected:
    // Runs a flow to its end, as a hot key would start it, and clears the log first.
    void run(QCoro::Task<void> (CaptureCoordinator::*flow)())
    {
        CaptureCoordinator &coordinatorRef = coordinator();
        m_log.clear();
        QCoro::waitFor((coordinatorRef.*flow)());
    }
};

TEST_F(CaptureCoordinatorTest, FullDisplayCaptureRunsItsStepsInOrderAndStagesTheScreenshot)
{
    showMainWindow();
    m_displays.setPointer(QPointF(2000, 500)); // on the second display
    run(&CaptureCoordinator::captureFullDisplay);

    const QStringList expected = {
        QStringLiteral("permission.preflight"), QStringLiteral("tray.hide(force)"),
        QStringLiteral("preview.close"),        QStringLiteral("markup.close"),
        QStringLiteral("mainWindow.hide"),      QStringLiteral("capture.display(9, cursor=false)"),
        QStringLiteral("sound.stop(1)"),        QStringLiteral("sound.play(screen-capture@1)"),
        QStringLiteral("haptic.generic"),       QStringLiteral("queue.items(1)"),
        QStringLiteral("tray.updateLayout"),    QStringLiteral("tray.show(confirmation)"),
        QStringLiteral("mainWindow.show"),
    };
    EXPECT_EQ(m_log.events(), expected);
    // Our own windows have been gone for the settle time when the pixels are read.
    EXPECT_GE(*m_log.timeOf(QStringLiteral("capture.")) -
                  *m_log.timeOf(QStringLiteral("mainWindow.hide")),
              55);
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_FALSE(coordinator().isCaptureInProgress());

    ASSERT_EQ(m_queue.items().size(), 1);
    const CaptureItem item = m_queue.items().first();
    EXPECT_EQ(item.mode(), CaptureMode::fullDisplay);
    EXPECT_FALSE(item.sourceDisplayID().has_value());
    EXPECT_EQ(item.state(), CaptureItemState::pending());
    EXPECT_EQ(QSize(int(item.pixelWidth()), int(item.pixelHeight())), QSize(64, 48));
    EXPECT_TRUE(item.fileName().endsWith(QStringLiteral(".png")));
    EXPECT_LE(std::max(item.thumbnail().width(), item.thumbnail().height()), 200);
    EXPECT_EQ(item.image().pixel(5, 5), m_capture.image.pixel(5, 5));
    EXPECT_TRUE(m_capture.excluded.isEmpty());
    EXPECT_TRUE(m_lines.messages(QStringLiteral("capture"))
                    .contains(QStringLiteral(
                        "Capture item enqueued successfully; queue now holds 1 item(s)")));
}

TEST_F(CaptureCoordinatorTest, TheAreaOverlaysAreReadiedWhileOurWindowsLeaveTheScreen)
{
    showMainWindow();
    m_area.preparingMs = 60;
    run(&CaptureCoordinator::captureArea);
    const QStringList events = m_log.events();
    ASSERT_EQ(events.mid(0, 7),
              (QStringList{QStringLiteral("permission.preflight"),
                           QStringLiteral("tray.hide(force)"), QStringLiteral("preview.close"),
                           QStringLiteral("markup.close"), QStringLiteral("mainWindow.hide"),
                           QStringLiteral("select.prepare"), QStringLiteral("select.area")}));
    // The selection still starts a full pause after the windows went, and the readying took
    // place within that pause rather than after it.
    const qint64 hidden = *m_log.timeOf(QStringLiteral("mainWindow.hide"));
    const qint64 selecting = *m_log.timeOf(QStringLiteral("select.area"));
    EXPECT_GE(selecting - hidden, 55);
    EXPECT_LT(selecting - hidden, 60 + 60 - 5);

    // The other flows show no area overlays: nothing readied.
    run(&CaptureCoordinator::captureFullDisplay);
    EXPECT_FALSE(m_log.contains(QStringLiteral("select.prepare")));
    run(&CaptureCoordinator::captureWindow);
    EXPECT_FALSE(m_log.contains(QStringLiteral("select.prepare")));
}

TEST_F(CaptureCoordinatorTest, AreaAndWindowFlowsPassTheSelectionAndSettingsOn)
{
    run(&CaptureCoordinator::captureArea);
    EXPECT_TRUE(m_log.contains(QStringLiteral("capture.area(100,50 320x240)")));
    // The desktop below the overlays repaints before the area is read.
    EXPECT_GE(*m_log.timeOf(QStringLiteral("capture.area")) -
                  *m_log.timeOf(QStringLiteral("select.area")),
              55);
    ASSERT_EQ(m_queue.items().size(), 1);
    EXPECT_EQ(m_queue.items().first().mode(), CaptureMode::area);

    m_settings.setIncludeCursorInScreenshot(true);
    m_settings.setIncludeWindowShadow(false);
    run(&CaptureCoordinator::captureWindow);
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("capture.window(27262983, cursor=true, ignoreShadows=true)")));
    EXPECT_GE(*m_log.timeOf(QStringLiteral("capture.window")) -
                  *m_log.timeOf(QStringLiteral("select.window")),
              55);
    ASSERT_EQ(m_queue.items().size(), 2);
    EXPECT_EQ(m_queue.items().first().mode(), CaptureMode::window);

    m_settings.setIncludeWindowShadow(true);
    run(&CaptureCoordinator::captureWindow);
    EXPECT_TRUE(m_log.contains(
        QStringLiteral("capture.window(27262983, cursor=true, ignoreShadows=false)")));
}

TEST_F(CaptureCoordinatorTest, TrayOpensInTheFormTheSettingsChoose)
{
    struct Case {
        bool open;
        bool indicator;
        const char *state;
    };
    for (const Case &c :
         {Case{true, true, "tray.show(expanded)"}, Case{false, true, "tray.show(confirmation)"},
          Case{false, false, "tray.show(compact)"}}) {
        m_settings.setOpenCorvantaAfterCapture(c.open);
        m_settings.setShowCaptureIndicator(c.indicator);
        m_log.clear();
        coordinator().enqueue(makeItem());
        EXPECT_EQ(m_log.events().last(), QString::fromLatin1(c.state));
    }
}

TEST_F(CaptureCoordinatorTest, FeedbackFollowsTheSettingsAndComesBeforeTheQueue)
{
    m_settings.setSoundEffectsEnabled(false);
    m_settings.setHapticsEnabled(true);
    coordinator().enqueue(makeItem());
    EXPECT_FALSE(m_log.contains(QStringLiteral("sound.")));
    EXPECT_LT(at(QStringLiteral("haptic.generic")), at(QStringLiteral("queue.items")));

    m_log.clear();
    m_settings.setSoundEffectsEnabled(true);
    m_settings.setHapticsEnabled(false);
    coordinator().enqueue(makeItem());
    EXPECT_FALSE(m_log.contains(QStringLiteral("haptic.")));
    EXPECT_LT(at(QStringLiteral("sound.play")), at(QStringLiteral("queue.items")));
}

TEST_F(CaptureCoordinatorTest, CancelledCaptureRestoresWhatItHidAndStagesNothing)
{
    m_area.failure = CaptureError::cancelled();

    // A hidden main window comes back; the tray is not shown.
    showMainWindow();
    run(&CaptureCoordinator::captureArea);
    EXPECT_EQ(m_log.events().mid(at(QStringLiteral("select.area"))),
              (QStringList{QStringLiteral("select.area"), QStringLiteral("mainWindow.show")}));
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_FALSE(m_log.contains(QStringLiteral("sound.")));
    EXPECT_FALSE(m_log.contains(QStringLiteral("haptic.")));
    EXPECT_TRUE(
        m_lines.lines().contains(QStringLiteral("capture|info|Area capture cancelled by user")));

    // With captures staged the tray comes back as well, before the main window.
    m_queue.enqueue(makeItem());
    run(&CaptureCoordinator::captureArea);
    EXPECT_EQ(m_log.events().mid(at(QStringLiteral("select.area"))),
              (QStringList{QStringLiteral("select.area"), QStringLiteral("tray.show(compact)"),
                           QStringLiteral("mainWindow.show")}));
    m_queue.clearAll();

    // Without a main window: an empty queue on a screen without a notch shows no tray ...
    m_mainWindow.hide();
    run(&CaptureCoordinator::captureArea);
    EXPECT_FALSE(m_log.contains(QStringLiteral("tray.show")));
    EXPECT_FALSE(tray().visible);

    // ... a notched screen or staged captures show it compact.
    tray().notch = true;
    run(&CaptureCoordinator::captureArea);
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.show(compact)"));
    tray().notch = false;
    m_queue.enqueue(makeItem());
    m_window.failure = CaptureError::cancelled();
    run(&CaptureCoordinator::captureWindow);
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.show(compact)"));
    EXPECT_TRUE(
        m_lines.lines().contains(QStringLiteral("capture|info|Window capture cancelled by user")));
}

TEST_F(CaptureCoordinatorTest, AMinimisedMainWindowIsNeitherHiddenNorBroughtBack)
{
    m_mainWindow.showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(m_mainWindow.isMinimized());
    run(&CaptureCoordinator::captureFullDisplay);
    ASSERT_EQ(m_queue.items().size(), 1);
    EXPECT_FALSE(m_log.contains(QStringLiteral("mainWindow.")))
        << m_log.events().join(' ').toStdString();
    EXPECT_TRUE(m_mainWindow.isMinimized());

    m_area.failure = CaptureError::cancelled();
    run(&CaptureCoordinator::captureArea);
    EXPECT_FALSE(m_log.contains(QStringLiteral("mainWindow.")));
    EXPECT_TRUE(m_mainWindow.isMinimized());
}

TEST_F(CaptureCoordinatorTest, DisplaysChangingDuringTheSelectionEndTheFlowCleanly)
{
    struct NoCompositor : platform::Compositor {
        bool isCompositing() const override { return false; }
    } compositor;
    AreaSelectionService area(m_capture, m_displays, compositor, m_settings,
                              std::make_shared<FakeOverlayWindows>());
    CaptureCoordinator &c = coordinator(&area);
    showMainWindow();

    QCoro::Task<void> flow = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !area.windows().isEmpty(); }, 2000));
    m_displays.change({FakeDisplays::make(7, QRect(0, 0, 1920, 1080), 1.0, true)});
    ASSERT_TRUE(QTest::qWaitFor([&] { return flow.isReady(); }, 2000));

    EXPECT_TRUE(
        m_lines.lines().contains(QStringLiteral("capture|info|Area capture cancelled by user")));
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_TRUE(m_mainWindow.isVisible());
    for (QWidget *window : QApplication::topLevelWidgets())
        EXPECT_FALSE(window->isVisible() && window != &m_mainWindow) << "left on screen";
}

TEST_F(CaptureCoordinatorTest, FailuresAreLoggedRestoredAndNeverStaged)
{
    showMainWindow();
    m_capture.failure = CaptureError::captureFailed(QStringLiteral("the display went away"));
    run(&CaptureCoordinator::captureFullDisplay);
    m_area.failure = CaptureError::invalidSelection();
    run(&CaptureCoordinator::captureArea);
    m_capture.failure = CaptureError::captureFailed(QStringLiteral("the window is gone"));
    run(&CaptureCoordinator::captureWindow);
    // A service that answers without an image has not captured anything.
    m_capture.failure.reset();
    m_capture.image = QImage();
    run(&CaptureCoordinator::captureFullDisplay);

    EXPECT_EQ(m_lines.messages(QStringLiteral("capture")).filter(QStringLiteral("failed")),
              (QStringList{
                  QStringLiteral("Full screen capture failed: Capture failed: the display went "
                                 "away"),
                  QStringLiteral("Area capture failed: The selected area was too small or "
                                 "invalid."),
                  QStringLiteral("Window capture failed: Capture failed: the window is gone"),
                  QStringLiteral("Full screen capture failed: Capture failed: no image was "
                                 "returned"),
              }));
    EXPECT_TRUE(m_lines.lines()
                    .filter(QStringLiteral("capture failed"))
                    .first()
                    .startsWith(QStringLiteral("capture|error|")));
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_EQ(m_log.events().last(), QStringLiteral("mainWindow.show"));
    EXPECT_FALSE(coordinator().isCaptureInProgress());
}

TEST_F(CaptureCoordinatorTest, MissingPermissionStopsBeforeAnythingIsHidden)
{
    showMainWindow();
    m_permission->granted = false;

    // The request grants access: no alert, and still no capture in this request.
    m_permission->grantedOnRequest = true;
    run(&CaptureCoordinator::captureFullDisplay);
    EXPECT_EQ(m_log.events(), (QStringList{QStringLiteral("permission.preflight"),
                                           QStringLiteral("permission.request")}));
    EXPECT_TRUE(m_alerts.presented.isEmpty());
    EXPECT_TRUE(m_lines.lines().contains(
        QStringLiteral("permissions|error|Cannot perform capture: screen recording permission "
                       "not granted")));

    // The request is refused too: the alert, whose first button opens the settings.
    m_permission->grantedOnRequest = false;
    m_alerts.answer = 0;
    run(&CaptureCoordinator::captureArea);
    ASSERT_EQ(m_alerts.presented.size(), 1);
    const platform::Alert alert = m_alerts.presented.first();
    EXPECT_EQ(alert.style, platform::AlertStyle::warning);
    EXPECT_EQ(alert.messageText, QStringLiteral("Screen Recording Permission Required"));
    EXPECT_EQ(alert.informativeText,
              QStringLiteral("Corvanta could not read the screen, which it needs to take "
                             "screenshots and record. Allow screen capture for Corvanta in your "
                             "desktop's settings, then try again."));
    EXPECT_EQ(alert.buttonTitles,
              (QStringList{QStringLiteral("Open Desktop Settings"), QStringLiteral("Cancel")}));
    EXPECT_EQ(m_urlOpener->opened, QList<QUrl>{*m_permission->url});

    m_alerts.answer = 1;
    run(&CaptureCoordinator::captureWindow);
    EXPECT_EQ(m_alerts.presented.size(), 2);
    EXPECT_EQ(m_urlOpener->opened.size(), 1);

    // Answered after the coordinator went, the alert acts on nothing of it.
    m_alerts.answer = 0;
    m_alerts.gate.close();
    QCoro::Task<void> leftOpen = coordinator().captureWindow();
    ASSERT_EQ(m_alerts.gate.waiting(), 1);
    m_coordinator.reset();
    m_alerts.gate.open();
    QCoro::waitFor(std::move(leftOpen));
    EXPECT_EQ(m_urlOpener->opened.size(), 1);
    ASSERT_EQ(m_alerts.presented.size(), 3);

    // A desktop with no settings page for it offers no button that would open nothing.
    m_permission->url.reset();
    m_alerts.answer = 0;
    run(&CaptureCoordinator::captureWindow);
    ASSERT_EQ(m_alerts.presented.size(), 4);
    EXPECT_EQ(m_alerts.presented.last().buttonTitles, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(m_urlOpener->opened.size(), 1);

    for (const char *step :
         {"tray.", "preview.", "markup.", "mainWindow.", "select.", "capture."}) {
        EXPECT_FALSE(m_log.contains(QString::fromLatin1(step))) << step;
    }
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_TRUE(m_queue.items().isEmpty());
}

TEST_F(CaptureCoordinatorTest, AFailureAlertLeftOpenHoldsNoCaptureBack)
{
    CaptureCoordinator &c = coordinator();
    m_alerts.gate.close();

    // The permission alert, refused and left open.
    m_permission->granted = false;
    m_permission->grantedOnRequest = false;
    QCoro::Task<void> refused = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_alerts.gate.waiting() == 1; }, 2000));
    EXPECT_FALSE(c.isCaptureInProgress());
    m_permission->granted = true;
    QCoro::waitFor(c.captureArea());
    EXPECT_EQ(m_queue.items().size(), 1) << "the next hot key captures";

    // "Screen Recording Failed" (there is no recorder), left open as well.
    QCoro::Task<void> unavailable = c.startRecording();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_alerts.gate.waiting() == 2; }, 2000));
    EXPECT_EQ(m_alerts.presented.last().messageText, "Screen Recording Failed");
    EXPECT_FALSE(c.isCaptureInProgress());
    QCoro::waitFor(c.captureFullDisplay());
    EXPECT_EQ(m_queue.items().size(), 2);
    EXPECT_FALSE(
        m_lines.messages(QStringLiteral("capture"))
            .contains(QStringLiteral("Capture request ignored: another capture is in progress")));

    // Answered while another capture runs, they leave that capture's slot alone.
    m_area.gate.close();
    QCoro::Task<void> selecting = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_area.gate.waiting() == 1; }, 2000));
    m_alerts.gate.open();
    QCoro::waitFor(refused);
    QCoro::waitFor(unavailable);
    EXPECT_TRUE(c.isCaptureInProgress());
    m_area.gate.open();
    QCoro::waitFor(selecting);
    EXPECT_EQ(m_queue.items().size(), 3);
    EXPECT_FALSE(c.isCaptureInProgress());
}

TEST_F(CaptureCoordinatorTest, ACaptureDismissesOurOpenDialogsBeforeItSelects)
{
    SaveService saver(std::make_shared<platform::QtSavePanel>(),
                      std::make_shared<FakeImageWriter>());
    m_saveService = &saver;
    CaptureCoordinator &c = coordinator();
    const CaptureItem staged = makeItem();
    c.enqueue(staged);
    const auto openDialogs = [] {
        QStringList titles;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (qobject_cast<QDialog *>(window) && window->isVisible())
                titles << window->windowTitle();
        }
        titles.sort();
        return titles;
    };
    const auto closeDialogs = [] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
                dialog->reject();
        }
    };

    // The save panel and an alert are both open, and neither blocks the program.
    QCoro::Task<void> saving = c.saveCapture(staged);
    platform::MessageBoxAlertPresenter alerts;
    QCoro::Task<int> answering =
        alerts.present({platform::AlertStyle::warning, "Recording Save Failed", {}, {"OK"}});
    // However the test ends, nothing waits on a dialog of a service that has gone.
    const std::shared_ptr<void> ending(nullptr, [&](void *) {
        m_area.gate.open();
        closeDialogs();
        QCoro::waitFor(saving);
        QCoro::waitFor(answering);
    });
    ASSERT_TRUE(waitUntil([&] {
        return openDialogs() == QStringList{"Recording Save Failed", "Save Screenshot"};
    })) << openDialogs().join(", ").toStdString();
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(m_queue.items().first().state(), CaptureItemState::saving());

    m_area.gate.close();
    QCoro::Task<void> capturing = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_area.gate.waiting() == 1; }, 2000));
    EXPECT_TRUE(openDialogs().isEmpty()) << "gone before the selection shows";
    // Closed here when the capture left them open, so that the test ends either way.
    closeDialogs();
    QCoro::waitFor(saving);
    EXPECT_EQ(m_queue.items().first().state(), CaptureItemState::pending())
        << "a dismissed save panel: the capture waits again, unharmed";

    m_area.gate.open();
    QCoro::waitFor(capturing);

    // A save whose picture is still being decoded when a capture starts opens no panel over
    // the selection: it ends as dismissed.
    std::optional<PoolBlocker> pool(std::in_place);
    saving = c.saveCapture(staged);
    m_area.gate.close();
    capturing = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_area.gate.waiting() == 1; }, 2000));
    pool.reset();
    ASSERT_TRUE(waitUntil([&] { return saving.isReady() || !openDialogs().isEmpty(); }));
    EXPECT_TRUE(openDialogs().isEmpty());
    EXPECT_EQ(m_queue.items().last().state(), CaptureItemState::pending());
    m_area.gate.open();
    QCoro::waitFor(capturing);
    EXPECT_EQ(m_queue.items().size(), 3);
    EXPECT_EQ(m_queue.items().last().id(), staged.id());
}

TEST_F(CaptureCoordinatorTest, TimerDelayIsHonouredAndTheDisplayIsChosenAfterIt)
{
    m_settings.setScreenshotTimerDelay(0.4);
    m_displays.setPointer(QPointF(100, 100));
    QTimer::singleShot(150ms, [this] { m_displays.setPointer(QPointF(2000, 500)); });
    run(&CaptureCoordinator::captureFullDisplay);
    const qint64 waited = *m_log.timeOf(QStringLiteral("capture.display")) -
                          *m_log.timeOf(QStringLiteral("tray.hide"));
    EXPECT_GE(waited, 60 + 400 - 5);
    EXPECT_TRUE(m_log.contains(QStringLiteral("capture.display(9,")));

    // Nonsense delays do not wait (and never wait forever).
    for (double delay : {std::nan(""), -3.0, 0.0}) {
        m_settings.setScreenshotTimerDelay(delay);
        QElapsedTimer timer;
        timer.start();
        run(&CaptureCoordinator::captureArea);
        EXPECT_LT(timer.elapsed(), 400) << delay;
        EXPECT_TRUE(m_log.contains(QStringLiteral("capture.area"))) << delay;
    }
}

TEST_F(CaptureCoordinatorTest, TimerDelayWaitIsBounded)
{
    using Wait = std::optional<std::chrono::milliseconds>;
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(2.5), Wait(2500ms));
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(0.0), std::nullopt);
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(-1.0), std::nullopt);
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(std::nan("")), std::nullopt);
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(std::numeric_limits<double>::infinity()),
              Wait(3600s));
    EXPECT_EQ(CaptureCoordinator::timerDelayWait(1e300), Wait(3600s));
}

TEST_F(CaptureCoordinatorTest, SecondRequestWhileACaptureRunsIsRefused)
{
    showMainWindow();
    CaptureCoordinator &c = coordinator();
    m_area.gate.close();
    QCoro::Task<void> first = c.captureArea();
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_area.gate.waiting() == 1; }, 2000));
    EXPECT_TRUE(c.isCaptureInProgress());

    m_log.clear();
    QCoro::Task<void> second = c.captureFullDisplay();
    EXPECT_TRUE(second.isReady()) << "a refused request does not keep its caller waiting";
    QCoro::waitFor(c.captureWindow());
    EXPECT_TRUE(m_log.events().isEmpty());
    EXPECT_EQ(m_lines.messages(QStringLiteral("capture"))
                  .count(QStringLiteral("Capture request ignored: another capture is in progress")),
              2);

    m_area.gate.open();
    QCoro::waitFor(first);
    EXPECT_EQ(m_queue.items().size(), 1);
    EXPECT_TRUE(m_mainWindow.isVisible());
    EXPECT_FALSE(c.isCaptureInProgress());

    // Afterwards captures run again.
    run(&CaptureCoordinator::captureFullDisplay);
    EXPECT_EQ(m_queue.items().size(), 2);
}

TEST_F(CaptureCoordinatorTest, TrayToggleAndScreenChangesDriveTheTray)
{
    m_settings.setMaxQueueCapacity(3);
    coordinator();
    EXPECT_EQ(m_trays.made, 1);
    EXPECT_EQ(m_queue.maxCapacity(), 3);
    EXPECT_FALSE(tray().visible) << "the tray is not shown at start";
    EXPECT_FALSE(coordinator().isRecording());

    coordinator().toggleTray();
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.show(expanded)"));
    coordinator().toggleTray();
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.hide(force)"));

    m_displays.change({FakeDisplays::make(7, QRect(0, 0, 2560, 1440), 1.0, true)});
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.updateLayout"));
    EXPECT_FALSE(tray().layoutPosition.has_value());
    EXPECT_FALSE(tray().layoutScreen.has_value());
}

} // namespace
