#pragma once

#include "capture/CaptureCoordinator.h"
#include "capture/FeedbackService.h"
#include "capture/PermissionManager.h"
#include "model/CaptureQueue.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/EventLog.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeCaptureSaving.h"
#include "support/FakeClipboardWriting.h"
#include "support/FakeClosableWindow.h"
#include "support/FakeDisplays.h"
#include "support/FakeHaptics.h"
#include "support/FakeLoginItem.h"
#include "support/FakeScreenCapturePermission.h"
#include "support/FakeScreenCapturing.h"
#include "support/FakeSelecting.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeStagingTray.h"
#include "support/FakeUrlOpener.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

// The main window as the coordinator is handed it. Records "mainWindow.show" and
// "mainWindow.hide".
class FakeMainWindow : public QWidget {
public:
    explicit FakeMainWindow(EventLog &log) : m_log(log)
    {
        setWindowTitle(QStringLiteral("Corvanta"));
        resize(300, 200);
    }

protected:
    void showEvent(QShowEvent *) override { m_log.add(QStringLiteral("mainWindow.show")); }
    void hideEvent(QHideEvent *) override { m_log.add(QStringLiteral("mainWindow.hide")); }

private:
    EventLog &m_log;
};

// A capture coordinator over test doubles that all write into one event log, so that a test can
// check the order of steps across them; the queue adds "queue.items(<count>)" at every change.
// The coordinator is made on first use, so a test may swap a service or the area selection
// first.
class CaptureCoordinatorFixture : public ::testing::Test {
protected:
    CaptureCoordinatorFixture()
        : m_defaults(m_tmp.path() + QStringLiteral("/Corvanta.conf")),
          m_settings(m_defaults, m_loginItem)
    {
        m_permission->log = &m_log;
        m_sounds->log = &m_log;
        m_haptics->log = &m_log;
        m_alerts.log = &m_log;
        m_permission->url = QUrl(QStringLiteral("settings://screen-capture"));
        QObject::connect(&m_queue, &CaptureQueue::itemsChanged, [this] {
            m_log.add(QStringLiteral("queue.items(%1)").arg(m_queue.items().size()));
        });
        m_settings.setSoundEffectsEnabled(true);
        m_settings.setHapticsEnabled(true);
        m_settings.setOpenCorvantaAfterCapture(false);
        m_settings.setShowCaptureIndicator(true);
        m_settings.setAutoCopyOnCapture(false);
        m_settings.setCopyRemovesCapture(false);
        m_settings.setScreenshotTimerDelay(0);
        m_settings.setIncludeCursorInScreenshot(false);
        m_settings.setIncludeWindowShadow(true);
    }

    ~CaptureCoordinatorFixture() override
    {
        // Held actions finish and queued ones run before the doubles and folders go.
        m_clipboard.gate.open();
        m_saver.gate.open();
        const bool released = QTest::qWaitFor(
            [this] { return m_clipboard.gate.waiting() == 0 && m_saver.gate.waiting() == 0; },
            5000);
        EXPECT_TRUE(released) << "an action is still held";
        QCoreApplication::processEvents();
        m_coordinator.reset();
        m_queue.clearAll();
    }

    CaptureCoordinator &coordinator(AreaSelecting *area = nullptr)
    {
        if (!m_coordinator) {
            m_coordinator = std::make_unique<CaptureCoordinator>(CaptureCoordinator::Services{
                .queue = m_queue,
                .permissionManager = m_permissions,
                .screenCaptureService = m_capture,
                .areaSelectionService = area ? *area : m_area,
                .windowSelectionService = m_window,
                .saveService = *m_saveService,
                .clipboardService = *m_clipboardService,
                .settingsStore = m_settings,
                .feedbackService = m_feedback,
                .alertPresenter = m_alerts,
                .displays = m_displays,
                .trayFactory = m_trays.factory(),
                .previewWindow = &m_preview,
                .markupWindow = &m_markup,
                .pinNotifications = &m_pins,
                .recorder = m_recorderService,
                .modeSelector = m_modeSelectorService,
                .hud = m_hudService,
            });
            m_coordinator->setMainWindow(&m_mainWindow);
        }
        return *m_coordinator;
    }
    FakeStagingTray &tray()
    {
        coordinator();
        return *m_trays.tray;
    }

    void showMainWindow()
    {
        m_mainWindow.show();
        QCoreApplication::processEvents();
    }

    static CaptureItem makeItem()
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(Qt::green);
        return CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                           CaptureMode::area, image, std::nullopt, std::nullopt,
                           CaptureItemState::pending());
    }

    qsizetype at(const QString &prefix) const { return m_log.indexOf(prefix); }

    TempDirScope m_tmp;
    EventLog m_log;
    LogCapture m_lines;
    FakeLoginItem m_loginItem;
    UserDefaults m_defaults;
    SettingsStore m_settings;
    CaptureQueue m_queue{8};
    std::shared_ptr<FakeScreenCapturePermission> m_permission =
        std::make_shared<FakeScreenCapturePermission>();
    std::shared_ptr<FakeUrlOpener> m_urlOpener = std::make_shared<FakeUrlOpener>();
    PermissionManager m_permissions{m_permission, m_urlOpener};
    std::shared_ptr<FakeSoundPlayer> m_sounds = std::make_shared<FakeSoundPlayer>();
    std::shared_ptr<FakeHaptics> m_haptics = std::make_shared<FakeHaptics>();
    FeedbackService m_feedback{m_sounds, m_haptics};
    FakeScreenCapturing m_capture{m_log};
    FakeAreaSelecting m_area{m_log};
    FakeWindowSelecting m_window{m_log};
    FakeClipboardWriting m_clipboard{m_log};
    FakeCaptureSaving m_saver{m_log};
    // What the coordinator is given; a test may point them at real services.
    ClipboardWriting *m_clipboardService = &m_clipboard;
    CaptureSaving *m_saveService = &m_saver;
    // The recording parts the coordinator is given; none by default.
    ScreenRecording *m_recorderService = nullptr;
    RecordingModeSelecting *m_modeSelectorService = nullptr;
    RecordingHUDController *m_hudService = nullptr;
    FakeAlertPresenter m_alerts;
    FakeDisplays m_displays{{FakeDisplays::make(7, QRect(0, 0, 1920, 1080), 1.0, true),
                             FakeDisplays::make(9, QRect(1920, 0, 1280, 1024))}};
    FakeStagingTrayFactory m_trays{m_log};
    FakeClosableWindow m_preview{QStringLiteral("preview"), m_log};
    FakeClosableWindow m_markup{QStringLiteral("markup"), m_log};
    PinNotifications m_pins;
    FakeMainWindow m_mainWindow{m_log};
    std::unique_ptr<CaptureCoordinator> m_coordinator;
};
