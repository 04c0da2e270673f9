#include "app/AppEnvironment.h"

#include "account/AuthService.h"
#include "account/KeychainStore.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "app/GlobalHotkeyManager.h"
#include "app/TrayPreviewWiring.h"
#include "capture/AreaSelectionService.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "capture/PermissionManager.h"
#include "capture/RecordingHUDController.h"
#include "capture/SaveService.h"
#include "capture/ScreenCaptureService.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ScreenRecordingService.h"
#include "capture/ShareService.h"
#include "capture/WindowSelectionService.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "model/UserDefaults.h"
#include "pins/PinAutoPinner.h"
#include "pins/PinManager.h"
#include "platform/Log.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "preview/AnnotationWindowController.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "tray/NotchWindowController.h"

#include <QPointer>
#include <exception>
#include <utility>

namespace {

// The staging tray of the real desktop: the notch tray over the environment's displays,
// panels, pointer monitor, compositor and recorder. Its recording controls reach the recording
// controls' hub and the coordinator when pressed, so the coordinator that builds the tray need
// not be finished yet.
StagingTrayFactory
notchTrayFactory(AppEnvironment &environment, std::shared_ptr<platform::PanelWindows> panels,
                 ScreenRecordingModeSelector::PointerMonitorFactory pointerMonitors)
{
    QPointer<AppEnvironment> self(&environment);
    return [self, panels,
            pointerMonitors](CaptureQueue &queue, SettingsStore &settings,
                             StagingTrayCallbacks callbacks) -> std::unique_ptr<StagingTray> {
        if (!self)
            return nullptr;
        TrayNeighbours neighbours;
        neighbours.pinning = &self->pinManager();
        neighbours.requestRecordingStop = [self] {
            if (self)
                self->recordingHUD().requestStop();
        };
        neighbours.stopRecording = [self] {
            if (self)
                startTask(self->captureCoordinator().stopRecording());
        };
        neighbours.cancelRecording = [self] {
            if (self)
                startTask(self->captureCoordinator().cancelRecording());
        };
        neighbours.preview = &self->previewController();
        const StagingTrayCallbacks trayActions = callbacks;
        auto tray = std::make_unique<NotchWindowController>(NotchWindowController::Services{
            .queue = queue,
            .settings = settings,
            .callbacks = std::move(callbacks),
            .displays = *self->platform().displays,
            .recorder = &self->recordingService(),
            .neighbours = std::move(neighbours),
            .panels = panels,
            .pointerMonitor = pointerMonitors ? pointerMonitors() : nullptr,
            .compositor = self->platform().compositor.get(),
        });
        connectTrayToPreview({.preview = self->previewController(),
                              .ocr = self->ocrService(),
                              .settings = self->settingsStore()},
                             *tray, queue, trayActions);
        return tray;
    };
}

} // namespace

template <typename T, typename... Args>
T &AppEnvironment::make(std::unique_ptr<T> &member, const char *name, Args &&...args)
{
    member = std::make_unique<T>(std::forward<Args>(args)...);
    note("made", name);
    m_teardown.push_back([this, &member, name] {
        member.reset();
        note("destroyed", name);
    });
    return *member;
}

AppEnvironment::AppEnvironment(Options options, QObject *parent)
    : QObject(parent), m_lifecycleObserver(std::move(options.lifecycleObserver))
{
    if (!options.makePlatform)
        qFatal("The application environment needs the desktop's parts");
    m_platform = options.makePlatform();
    note("made", "platform");
    m_teardown.push_back([this] {
        m_platform = {};
        note("destroyed", "platform");
    });

    if (options.makeUserDefaults) {
        m_userDefaults = options.makeUserDefaults();
    } else {
        m_userDefaults = UserDefaults::standard();
    }
    note("made", "UserDefaults");
    m_teardown.push_back([this] {
        m_userDefaults.reset();
        note("destroyed", "UserDefaults");
    });

    make(m_settingsStore, "SettingsStore", *m_userDefaults, *m_platform.loginItem).makeShared();
    make(m_permissionManager, "PermissionManager", m_platform.screenCapturePermission,
         m_platform.urlOpener)
        .makeShared();
    make(m_queue, "CaptureQueue", SettingDefaults::maxQueueCapacity());
    make(m_screenCaptureService, "ScreenCaptureService", m_platform.screenCapture,
         m_platform.displays, m_platform.windowSystem);
    make(m_clipboardService, "ClipboardService", m_platform.pasteboard);
    make(m_saveService, "SaveService", m_platform.savePanel, m_platform.imageWriter);
    make(m_areaSelectionService, "AreaSelectionService", *m_screenCaptureService,
         *m_platform.displays, *m_platform.compositor, std::as_const(*m_settingsStore),
         m_platform.overlayWindows);
    make(m_windowSelectionService, "WindowSelectionService", *m_platform.windowList,
         *m_platform.displays, m_platform.overlayWindows, m_screenCaptureService.get(),
         m_platform.compositor.get());
    make(m_feedbackService, "FeedbackService", m_platform.soundPlayer, m_platform.haptics)
        .makeShared();
    // Before the coordinator, which takes a removed pin's capture out of the queue.
    make(m_pinNotifications, "PinNotifications").makeShared();
    // The recorder and its controls before the coordinator, which answers their requests.
    const std::shared_ptr<platform::PanelWindows> panels = m_platform.panelWindows;
    const ScreenRecordingModeSelector::PointerMonitorFactory pointerMonitors =
        m_platform.makePointerMonitor;
    // Pins before the coordinator, whose tray pins through the manager.
    make(m_pinManager, "PinManager",
         PinDeckServices{
             .displays = m_platform.displays,
             .panels = panels,
             .compositor = m_platform.compositor,
             .makePointerMonitor = pointerMonitors,
             .actions =
                 PinActionServices{
                     .clipboard = m_clipboardService.get(),
                     .saving = m_saveService.get(),
                     .urlOpener = m_platform.urlOpener,
                     .feedback = m_feedbackService.get(),
                 },
             .notifications = m_pinNotifications.get(),
         })
        .makeShared();
    make(m_autoPinner, "PinAutoPinner", *m_pinManager).makeShared();
    m_autoPinner->start(*m_queue, *m_settingsStore);
    m_pinManager->setSettings(m_settingsStore.get());
    make(m_recordingService, "ScreenRecordingService", m_platform.makeRecordingPlatform(),
         *m_platform.displays)
        .makeShared();
    make(m_recordingHUD, "RecordingHUDController", m_recordingService.get(), panels).makeShared();
    make(m_recordingModeSelector, "ScreenRecordingModeSelector", panels, pointerMonitors)
        .makeShared();
    make(
        m_previewController, "QuickLookPreviewController",
        [this, panels]() -> std::unique_ptr<PreviewWindow> {
            return std::make_unique<QtPreviewWindow>(*m_platform.displays, panels);
        },
        [this](QuickLookPreviewController &owner) -> QWidget * {
            return new QuickLookPreviewView(owner, previewServices());
        },
        [this, panels] { return previewScreenFrame(*panels); })
        .makeShared();
    make(m_annotationWindow, "AnnotationWindowController", [this, panels] {
        return previewScreenFrame(*panels);
    }).makeShared();
    // The caller's tray; on the real desktop, without one, the notch tray.
    StagingTrayFactory trayFactory = options.trayFactory;
    if (!trayFactory && options.notchTray)
        trayFactory = notchTrayFactory(*this, panels, pointerMonitors);
    make(m_captureCoordinator, "CaptureCoordinator",
         CaptureCoordinator::Services{
             .queue = *m_queue,
             .permissionManager = *m_permissionManager,
             .screenCaptureService = *m_screenCaptureService,
             .areaSelectionService = *m_areaSelectionService,
             .windowSelectionService = *m_windowSelectionService,
             .saveService = *m_saveService,
             .clipboardService = *m_clipboardService,
             .settingsStore = *m_settingsStore,
             .feedbackService = *m_feedbackService,
             .alertPresenter = *m_platform.alertPresenter,
             .displays = *m_platform.displays,
             // Without a tray the coordinator skips every tray step.
             .trayFactory = trayFactory,
             .previewWindow = m_previewController.get(),
             .markupWindow = m_annotationWindow.get(),
             .pinNotifications = m_pinNotifications.get(),
             .recorder = m_recordingService.get(),
             .modeSelector = m_recordingModeSelector.get(),
             .hud = m_recordingHUD.get(),
         });
    make(m_hotkeyManager, "GlobalHotkeyManager", m_platform.globalHotkeys);
    make(m_ocrService, "OCRService", m_platform.textRecognizer, m_platform.pasteboard,
         *m_feedbackService)
        .makeShared();
    make(m_shareService, "ShareService", m_platform.shareDestinations).makeShared();
    if (m_platform.secretStore && m_platform.httpTransport) {
        make(m_keychainStore, "KeychainStore", m_platform.secretStore).makeShared();
        make(m_sessionStore, "SessionStore", *m_keychainStore).makeShared();
        make(m_supabaseClient, "SupabaseClient").makeShared();
        make(m_authService, "AuthService", *m_sessionStore, *m_supabaseClient,
             AuthService::Platform{m_platform.httpTransport, m_platform.appleSignIn,
                                   m_platform.urlOpener})
            .makeShared();
    }

    setupHotkeys();
    setupBindings();
}

AppEnvironment::~AppEnvironment()
{
    for (const QMetaObject::Connection &binding : std::as_const(m_bindings))
        disconnect(binding);
    while (!m_teardown.empty()) {
        const std::function<void()> step = std::move(m_teardown.back());
        m_teardown.pop_back();
        step();
    }
}

PreviewServices AppEnvironment::previewServices() const
{
    PreviewServices services;
    services.applicationQueue = m_queue.get();
    services.ocr = m_ocrService.get();
    services.pasteboard = m_platform.pasteboard;
    services.share = m_shareService.get();
    services.pinning = m_pinManager.get();
    services.urlOpener = m_platform.urlOpener;
    services.makePlayer = m_platform.makeMoviePlayer;
    return services;
}

std::optional<QRectF> AppEnvironment::previewScreenFrame(const platform::PanelWindows &panels) const
{
    // The display the user is working on: where the pointer is.
    const std::optional<platform::Display> display = m_platform.displays->displayUnderPointer();
    if (!display)
        return std::nullopt;
    return panels.visibleFrame(*display).value_or(display->screenFrame);
}

GlobalHotkeyHandling &AppEnvironment::hotkeyManager() const
{
    return *m_hotkeyManager;
}

void AppEnvironment::note(const char *what, const char *name) const
{
    if (m_lifecycleObserver)
        m_lifecycleObserver(QStringLiteral("%1 %2").arg(QLatin1String(what), QLatin1String(name)));
}

QString AppEnvironment::setupHotkeys()
{
    m_hotkeyManager->unregisterAll();
    const ShortcutDefinition::ShortcutSet shortcuts = m_settingsStore->effectiveShortcuts();

    // Each action finds the environment (and through it the coordinator) when the key is
    // pressed, and does nothing once the environment is gone.
    QPointer<AppEnvironment> self(this);
    const auto capture = [self](CaptureFlow flow) {
        return [self, flow] {
            if (self)
                self->startCapture(flow);
        };
    };
    const std::pair<ShortcutDefinition, std::function<void()>> table[] = {
        {shortcuts.fullDisplay, capture(&CaptureCoordinator::captureFullDisplay)},
        {shortcuts.area, capture(&CaptureCoordinator::captureArea)},
        {shortcuts.window, capture(&CaptureCoordinator::captureWindow)},
        {shortcuts.record,
         [self] {
             if (self)
                 self->toggleScreenRecording();
         }},
        {ShortcutDefinition(QStringLiteral("closeAllPins"), m_settingsStore->pinCloseAllShortcut()),
         [self] {
             if (self)
                 self->pinManager().closeAll();
             qCInfo(Log::hotkey, "Close all pins shortcut triggered");
         }},
    };

    try {
        for (const auto &[definition, action] : table)
            m_hotkeyManager->registerHotkey(definition, action);
    } catch (const CaptureError &error) {
        qCCritical(Log::hotkey, "Failed to register global hotkeys: %s",
                   qUtf8Printable(error.errorDescription()));
        return m_hotkeyProblem = error.errorDescription();
    } catch (const std::exception &error) {
        qCCritical(Log::hotkey, "Failed to register global hotkeys: %s", error.what());
        return m_hotkeyProblem = QString::fromUtf8(error.what());
    }
    qCInfo(Log::hotkey, "Hotkeys registered for scheme: %s",
           qUtf8Printable(rawValue(m_settingsStore->shortcutScheme())));
    return m_hotkeyProblem = QString();
}

void AppEnvironment::startCapture(CaptureFlow flow)
{
    startTask((m_captureCoordinator.get()->*flow)());
}

void AppEnvironment::toggleScreenRecording()
{
    startTask(m_captureCoordinator->toggleRecording());
}

void AppEnvironment::setupBindings()
{
    // The settings announce a change after storing it, so the hot keys registered here are the
    // new ones.
    m_queue->setMaxCapacity(m_settingsStore->maxQueueCapacity());
    m_bindings << connect(m_settingsStore.get(), &SettingsStore::maxQueueCapacityChanged,
                          m_queue.get(), &CaptureQueue::setMaxCapacity);
    m_bindings << connect(m_settingsStore.get(), &SettingsStore::shortcutSchemeChanged, this,
                          &AppEnvironment::setupHotkeys);
    m_bindings << connect(m_settingsStore.get(), &SettingsStore::pinCloseAllShortcutChanged, this,
                          &AppEnvironment::setupHotkeys);
}
