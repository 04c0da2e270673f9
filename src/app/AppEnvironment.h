#pragma once

#include "app/AppPlatform.h"
#include "capture/CaptureNeighbours.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>
#include <vector>

class AnnotationWindowController;
class AreaSelectionService;
class AuthService;
class CaptureCoordinator;
class CaptureQueue;
class ClipboardService;
class FeedbackService;
class GlobalHotkeyManager;
class GlobalHotkeyHandling;
class KeychainStore;
class OCRService;
class PermissionManager;
class PinAutoPinner;
class PinManager;
class PinNotifications;
class QuickLookPreviewController;
class RecordingHUDController;
class SaveService;
class SessionStore;
class ScreenCaptureService;
class ScreenRecordingModeSelector;
class ScreenRecordingService;
class SettingsStore;
class ShareService;
class SupabaseClient;
class UserDefaults;
class WindowSelectionService;

// The owner of the program's long-lived objects. Building it makes the whole object graph in a
// fixed order (the platform first, then the settings, the permission, the staging queue, the
// capture services, feedback, text recognition and sharing, the pins, the recorder, its
// controls and its mode chooser, the preview and markup windows, the coordinator with its tray,
// the hot keys, and the account when the platform has one), handing each object the ones built
// before it; it registers the global hot keys and keeps the queue's capacity and the hot keys
// in step with the settings. Destroying it takes the graph down in the reverse order. Main
// thread only.
class AppEnvironment final : public QObject {
    Q_OBJECT

public:
    struct Options {
        // The desktop parts (desktop::makeAppPlatform() on the real desktop); required.
        std::function<AppPlatform()> makePlatform;
        // The preferences file; empty: the user's own (UserDefaults::standard()).
        std::function<std::unique_ptr<UserDefaults>()> makeUserDefaults;
        // Told "made <Type>" and "destroyed <Type>" as each object of the graph comes and goes.
        std::function<void(const QString &event)> lifecycleObserver;
        // Builds the staging tray for the coordinator; empty: the notch tray when notchTray is
        // set (the real desktop), else no tray.
        StagingTrayFactory trayFactory;
        bool notchTray = false;
    };

    explicit AppEnvironment(Options options, QObject *parent = nullptr);
    ~AppEnvironment() override;
    AppEnvironment(const AppEnvironment &) = delete;
    AppEnvironment &operator=(const AppEnvironment &) = delete;

    const AppPlatform &platform() const { return m_platform; }
    SettingsStore &settingsStore() const { return *m_settingsStore; }
    PermissionManager &permissionManager() const { return *m_permissionManager; }
    CaptureQueue &queue() const { return *m_queue; }
    CaptureCoordinator &captureCoordinator() const { return *m_captureCoordinator; }
    GlobalHotkeyHandling &hotkeyManager() const;
    OCRService &ocrService() const { return *m_ocrService; }
    ShareService &shareService() const { return *m_shareService; }
    ClipboardService &clipboardService() const { return *m_clipboardService; }
    SaveService &saveService() const { return *m_saveService; }
    FeedbackService &feedbackService() const { return *m_feedbackService; }
    PinNotifications &pinNotifications() const { return *m_pinNotifications; }
    // Desktop pins: the tray's, the preview's and the hot key's way to the deck.
    PinManager &pinManager() const { return *m_pinManager; }
    PinAutoPinner &autoPinner() const { return *m_autoPinner; }
    ScreenRecordingService &recordingService() const { return *m_recordingService; }
    RecordingHUDController &recordingHUD() const { return *m_recordingHUD; }
    ScreenRecordingModeSelector &recordingModeSelector() const { return *m_recordingModeSelector; }
    QuickLookPreviewController &previewController() const { return *m_previewController; }
    AnnotationWindowController &annotationWindow() const { return *m_annotationWindow; }
    // Null when the platform offers no secret store or no HTTP.
    AuthService *authService() const { return m_authService.get(); }

    // Unregisters every global hot key, then registers the four capture shortcuts of the current
    // scheme and the close-all-pins shortcut, in that order. A key the desktop refuses, or one
    // already given to an earlier action, is logged and skipped, and the others are registered.
    // Returns the problem for the user, one line per such key naming it; empty when every
    // shortcut was registered.
    QString setupHotkeys();
    // What the last registration said (see setupHotkeys()).
    QString hotkeyProblem() const { return m_hotkeyProblem; }

    // One of the coordinator's screenshot flows, started as a task of its own; returns at once.
    using CaptureFlow = QCoro::Task<void> (CaptureCoordinator::*)();
    void startCapture(CaptureFlow flow);

    // The recording command of the hot key and the menu: the coordinator's toggle, started as a
    // task of its own; returns at once.
    void toggleScreenRecording();

signals:
    // The text hotkeyProblem() returns changed, whoever asked for the registration.
    void hotkeyProblemChanged();

private:
    template <typename T, typename... Args>
    T &make(std::unique_ptr<T> &member, const char *name, Args &&...args);
    void note(const char *what, const char *name) const;
    void setupBindings();

    std::function<void(const QString &)> m_lifecycleObserver;
    // Undoes each construction step; run backwards on destruction.
    std::vector<std::function<void()>> m_teardown;
    QList<QMetaObject::Connection> m_bindings;
    QString m_hotkeyProblem;

    AppPlatform m_platform;
    std::unique_ptr<UserDefaults> m_userDefaults;
    std::unique_ptr<SettingsStore> m_settingsStore;
    std::unique_ptr<PermissionManager> m_permissionManager;
    std::unique_ptr<CaptureQueue> m_queue;
    std::unique_ptr<ScreenCaptureService> m_screenCaptureService;
    std::unique_ptr<ClipboardService> m_clipboardService;
    std::unique_ptr<SaveService> m_saveService;
    std::unique_ptr<AreaSelectionService> m_areaSelectionService;
    std::unique_ptr<WindowSelectionService> m_windowSelectionService;
    std::unique_ptr<FeedbackService> m_feedbackService;
    std::unique_ptr<PinNotifications> m_pinNotifications;
    std::unique_ptr<PinManager> m_pinManager;
    std::unique_ptr<PinAutoPinner> m_autoPinner;
    std::unique_ptr<ScreenRecordingService> m_recordingService;
    std::unique_ptr<RecordingHUDController> m_recordingHUD;
    std::unique_ptr<ScreenRecordingModeSelector> m_recordingModeSelector;
    std::unique_ptr<QuickLookPreviewController> m_previewController;
    std::unique_ptr<AnnotationWindowController> m_annotationWindow;
    std::unique_ptr<CaptureCoordinator> m_captureCoordinator;
    std::unique_ptr<GlobalHotkeyManager> m_hotkeyManager;
    std::unique_ptr<OCRService> m_ocrService;
    std::unique_ptr<ShareService> m_shareService;
    std::unique_ptr<KeychainStore> m_keychainStore;
    std::unique_ptr<SessionStore> m_sessionStore;
    std::unique_ptr<SupabaseClient> m_supabaseClient;
    std::unique_ptr<AuthService> m_authService;
};
