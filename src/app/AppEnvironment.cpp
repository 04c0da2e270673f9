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
#include "model/ShortcutModel.h"
#include "model/StartTask.h"
#include "model/UserDefaults.h"
#include "pins/PinAutoPinner.h"
#include "pins/PinManager.h"
#include "platform/Log.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "preview/AnnotationWindowController.h"
#include "preview/PreviewServices.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "tray/NotchWindowController.h"

#include <QPointer>
#include <QStringList>
#include <algorithm>
#include <exception>
#include <utility>

namespace {

// What the notch tray works with besides the queue and the settings: every one of them is
// built before the coordinator that builds the tray, and outlives it.
struct NotchTrayParts {
    std::shared_ptr<platform::Displays> displays;
    std::shared_ptr<platform::Compositor> compositor;
    std::shared_ptr<platform::PanelWindows> panels;
    ScreenRecordingModeSelector::PointerMonitorFactory pointerMonitors;
    ScreenRecordingService &recorder;
    RecordingHUDController &hud;
    PinManager &pins;
    QuickLookPreviewController &preview;
    OCRService &ocr;
};

// The staging tray of the real desktop: the notch tray over the environment's displays, panels,
// pointer monitor, compositor and recorder. Its Stop Recording and cancel buttons run the
// coordinator's own callbacks, a click while recording asks the recording controls' hub.
StagingTrayFactory notchTrayFactory(NotchTrayParts parts)
{
    return [parts](CaptureQueue &queue, SettingsStore &settings,
                   StagingTrayCallbacks callbacks) -> std::unique_ptr<StagingTray> {
        TrayNeighbours neighbours;
        neighbours.pinning = &parts.pins;
        neighbours.preview = &parts.preview;
        QPointer<RecordingHUDController> hud(&parts.hud);
        neighbours.requestRecordingStop = [hud] {
            if (hud)
                hud->requestStop();
        };
        neighbours.stopRecording = callbacks.onStopRecording;
        neighbours.cancelRecording = callbacks.onCancelRecording;
        const StagingTrayCallbacks trayActions = callbacks;
        auto tray = std::make_unique<NotchWindowController>(NotchWindowController::Services{
            .queue = queue,
            .settings = settings,
            .callbacks = std::move(callbacks),
            .displays = *parts.displays,
            .recorder = &parts.recorder,
            .neighbours = std::move(neighbours),
            .panels = parts.panels,
            .pointerMonitor = parts.pointerMonitors ? parts.pointerMonitors() : nullptr,
            .compositor = parts.compositor.get(),
        });
        connectTrayToPreview({.preview = parts.preview, .ocr = parts.ocr, .settings = settings},
                             *tray, queue, trayActions);
        return tray;
    };
}

// Where the preview and markup windows go: the display the user is working on.
std::optional<QRectF> previewScreenFrame(const platform::Displays &displays,
                                         const platform::PanelWindows &panels)
{
    // The display under the pointer.
    const std::optional<platform::Display> display = displays.displayUnderPointer();
    if (!display)
        return std::nullopt;
    return panels.visibleFrame(*display).value_or(display->screenFrame);
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

    // Each object is handed the ones built before it, never a way to reach one built later.
    SettingsStore &settings =
        make(m_settingsStore, "SettingsStore", *m_userDefaults, *m_platform.loginItem);
    PermissionManager &permission = make(m_permissionManager, "PermissionManager",
                                         m_platform.screenCapturePermission, m_platform.urlOpener);
    CaptureQueue &queue = make(m_queue, "CaptureQueue", SettingDefaults::maxQueueCapacity());
    ScreenCaptureService &screenCapture =
        make(m_screenCaptureService, "ScreenCaptureService", m_platform.screenCapture,
             m_platform.displays, m_platform.windowSystem);
    ClipboardService &clipboard =
        make(m_clipboardService, "ClipboardService", m_platform.pasteboard);
    SaveService &saving =
        make(m_saveService, "SaveService", m_platform.savePanel, m_platform.imageWriter);
    AreaSelectionService &areaSelection =
        make(m_areaSelectionService, "AreaSelectionService", screenCapture, *m_platform.displays,
             *m_platform.compositor, std::as_const(settings), m_platform.overlayWindows);
    WindowSelectionService &windowSelection =
        make(m_windowSelectionService, "WindowSelectionService", *m_platform.windowList,
             *m_platform.displays, m_platform.overlayWindows, &screenCapture,
             m_platform.compositor.get());
    FeedbackService &feedback =
        make(m_feedbackService, "FeedbackService", m_platform.soundPlayer, m_platform.haptics);
    OCRService &ocr = make(m_ocrService, "OCRService", m_platform.textRecognizer,
                           m_platform.pasteboard, feedback);
    ShareService &share = make(m_shareService, "ShareService", m_platform.shareDestinations);
    PinNotifications &pinNotifications = make(m_pinNotifications, "PinNotifications");
    const std::shared_ptr<platform::PanelWindows> panels = m_platform.panelWindows;
    const ScreenRecordingModeSelector::PointerMonitorFactory pointerMonitors =
        m_platform.makePointerMonitor;
    PinManager &pins = make(m_pinManager, "PinManager", settings,
                            PinDeckServices{
                                .displays = m_platform.displays,
                                .panels = panels,
                                .compositor = m_platform.compositor,
                                .makePointerMonitor = pointerMonitors,
                                .actions =
                                    PinActionServices{
                                        .clipboard = &clipboard,
                                        .saving = &saving,
                                        .urlOpener = m_platform.urlOpener,
                                        .feedback = &feedback,
                                    },
                                .notifications = &pinNotifications,
                            });
    pins.setStagedCheck([&queue](const QUuid &id) {
        const QList<CaptureItem> items = queue.items();
        return std::any_of(items.cbegin(), items.cend(),
                           [&id](const CaptureItem &item) { return item.id() == id; });
    });
    make(m_autoPinner, "PinAutoPinner", pins).start(queue, settings);
    ScreenRecordingService &recorder =
        make(m_recordingService, "ScreenRecordingService", m_platform.makeRecordingPlatform(),
             *m_platform.displays);
    RecordingHUDController &hud = make(m_recordingHUD, "RecordingHUDController", &recorder, panels);
    ScreenRecordingModeSelector &modeSelector =
        make(m_recordingModeSelector, "ScreenRecordingModeSelector", panels, pointerMonitors);
    PreviewServices previewServices;
    previewServices.applicationQueue = &queue;
    previewServices.ocr = &ocr;
    previewServices.pasteboard = m_platform.pasteboard;
    previewServices.share = &share;
    previewServices.pinning = &pins;
    previewServices.urlOpener = m_platform.urlOpener;
    previewServices.makePlayer = m_platform.makeMoviePlayer;
    const std::shared_ptr<platform::Displays> displays = m_platform.displays;
    QuickLookPreviewController &preview = make(
        m_previewController, "QuickLookPreviewController",
        [displays, panels]() -> std::unique_ptr<PreviewWindow> {
            return std::make_unique<QtPreviewWindow>(*displays, panels);
        },
        [previewServices](QuickLookPreviewController &owner) -> QWidget * {
            return new QuickLookPreviewView(owner, previewServices);
        },
        [displays, panels] { return previewScreenFrame(*displays, *panels); });
    AnnotationWindowController &markup = make(
        m_annotationWindow, "AnnotationWindowController",
        [displays, panels] { return previewScreenFrame(*displays, *panels); }, panels);
    // The caller's tray; on the real desktop, without one, the notch tray.
    StagingTrayFactory trayFactory = options.trayFactory;
    if (!trayFactory && options.notchTray) {
        trayFactory = notchTrayFactory({
            .displays = displays,
            .compositor = m_platform.compositor,
            .panels = panels,
            .pointerMonitors = pointerMonitors,
            .recorder = recorder,
            .hud = hud,
            .pins = pins,
            .preview = preview,
            .ocr = ocr,
        });
    }
    make(m_captureCoordinator, "CaptureCoordinator",
         CaptureCoordinator::Services{
             .queue = queue,
             .permissionManager = permission,
             .screenCaptureService = screenCapture,
             .areaSelectionService = areaSelection,
             .windowSelectionService = windowSelection,
             .saveService = saving,
             .clipboardService = clipboard,
             .settingsStore = settings,
             .feedbackService = feedback,
             .alertPresenter = *m_platform.alertPresenter,
             .displays = *displays,
             // Without a tray the coordinator skips every tray step.
             .trayFactory = std::move(trayFactory),
             .previewWindow = &preview,
             .markupWindow = &markup,
             .pinNotifications = &pinNotifications,
             .recorder = &recorder,
             .modeSelector = &modeSelector,
             .hud = &hud,
             .windowList = m_platform.windowList.get(),
         });
    make(m_hotkeyManager, "GlobalHotkeyManager", m_platform.globalHotkeys);
    if (m_platform.secretStore && m_platform.httpTransport) {
        KeychainStore &keychain = make(m_keychainStore, "KeychainStore", m_platform.secretStore);
        SessionStore &sessions = make(m_sessionStore, "SessionStore", keychain);
        SupabaseClient &backend = make(m_supabaseClient, "SupabaseClient");
        make(m_authService, "AuthService", sessions, backend,
             AuthService::Platform{m_platform.httpTransport, m_platform.appleSignIn,
                                   m_platform.urlOpener});
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

    // Each key is registered on its own: one the desktop refuses leaves the others working.
    QStringList problems;
    QList<std::pair<quint32, quint32>> given;
    for (const auto &[definition, action] : table) {
        const QString shown = shortcutDisplayText(definition.displayString);
        if (isGrabbableShortcut(definition.keyCode, definition.carbonModifiers)) {
            const std::pair combination(definition.keyCode, definition.carbonModifiers);
            if (given.contains(combination)) {
                qCWarning(Log::hotkey, "Hotkey %s is set for two actions; only the first has it",
                          qUtf8Printable(definition.displayString));
                problems << QStringLiteral("%1 is set for two actions.").arg(shown);
                continue;
            }
            given << combination;
        }
        QString refusal;
        try {
            m_hotkeyManager->registerHotkey(definition, action);
            continue;
        } catch (const CaptureError &error) {
            refusal = error.errorDescription();
        } catch (const std::exception &error) {
            refusal = QString::fromUtf8(error.what());
        }
        qCCritical(Log::hotkey, "Failed to register global hotkeys: %s", qUtf8Printable(refusal));
        problems << hotkeyRefusalText(shown, m_hotkeyManager->lastRefusal());
    }
    if (problems.isEmpty())
        qCInfo(Log::hotkey, "Hotkeys registered for scheme: %s",
               qUtf8Printable(rawValue(m_settingsStore->shortcutScheme())));
    const QString problem = problems.join(u'\n');
    if (problem != std::exchange(m_hotkeyProblem, problem))
        emit hotkeyProblemChanged();
    return problem;
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
