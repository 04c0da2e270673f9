#pragma once

#include "capture/CaptureNeighbours.h"
#include "capture/RecordingModeSelecting.h"
#include "model/CaptureItem.h"
#include "model/CaptureMode.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <utility>

class AreaSelecting;
class CaptureQueue;
class CaptureSaving;
class ClipboardWriting;
class FeedbackService;
class PermissionManager;
class PinNotifications;
class QWidget;
class RecordingHUDController;
class ScreenCapturing;
class ScreenObserver;
class ScreenRecording;
struct RecordingResult;
class SettingsStore;
class WindowSelecting;
namespace platform {
class AlertPresenter;
class Displays;
class WindowList;
} // namespace platform

// The one way into the staging queue for every screenshot and recording: gates the request on
// the screen-capture permission, hides the program's own windows, runs the selection and the
// capture (or starts and later stops the recorder), hands the record to the queue with feedback,
// auto-copy and the tray, and brings the windows back. It also builds the staging tray and
// answers the tray's save, copy and delete requests, the recording controls' stop and cancel
// requests and the removal of desktop pins. Main thread only; lives as long as the program.
class CaptureCoordinator final : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)

public:
    // Everything the coordinator works with. The application environment passes its shared
    // objects (there is one settings store and one queue in the program); the references must
    // outlive the coordinator.
    struct Services {
        CaptureQueue &queue;
        PermissionManager &permissionManager;
        ScreenCapturing &screenCaptureService;
        AreaSelecting &areaSelectionService;
        WindowSelecting &windowSelectionService;
        CaptureSaving &saveService;
        ClipboardWriting &clipboardService;
        SettingsStore &settingsStore;
        FeedbackService &feedbackService;
        platform::AlertPresenter &alertPresenter;
        platform::Displays &displays;
        // Builds the staging tray once, here; empty: there is no tray and every tray step is
        // skipped.
        StagingTrayFactory trayFactory;
        // Closed before every capture when present.
        ClosableWindow *previewWindow = nullptr;
        ClosableWindow *markupWindow = nullptr;
        // When present, a removed pin takes its capture out of the queue.
        PinNotifications *pinNotifications = nullptr;
        // The screen recorder; null: recording is unavailable and a start says so. It must
        // outlive the coordinator.
        ScreenRecording *recorder = nullptr;
        // Asks what a recording covers; needed with a recorder.
        RecordingModeSelecting *modeSelector = nullptr;
        // The hub of the stop and cancel requests; when present the coordinator answers them.
        RecordingHUDController *hud = nullptr;
        // The desktop's windows, to tell whether others covered the main window when it was
        // hidden; null: it comes back on top.
        const platform::WindowList *windowList = nullptr;
    };

    explicit CaptureCoordinator(Services services, QObject *parent = nullptr);
    ~CaptureCoordinator() override;

    // True while a screen recording runs: the recorder's own flag, followed from the event loop
    // (so it turns true shortly after a start has returned).
    bool isRecording() const { return m_isRecording; }

    // The screenshot flows. Each stages one screenshot or ends, logged, on a cancellation or a
    // failure; none throws. A request that arrives while another capture runs is refused (and
    // logged), so that two flows never hide, restore or select at the same time.
    QCoro::Task<void> captureFullDisplay();
    QCoro::Task<void> captureArea();
    QCoro::Task<void> captureWindow();
    bool isCaptureInProgress() const { return m_captureInProgress; }

    // The recording flows; none throws. Start asks for the mode and the window or area, then
    // starts the recorder (refused, logged, while another capture is being taken, and without
    // effect while a recording runs); a cancellation only logs and restores, a failure restores
    // and then shows "Screen Recording Failed". Stop stages the finished movie, or shows
    // "Recording Save Failed"; without a recording it does nothing. Cancel discards the
    // recording, except while a stop is finishing it: the movie being saved is kept. A stop or
    // cancel brings back the main window the start hid. Toggle stops a running recording, else
    // starts one.
    QCoro::Task<void> startRecording();
    QCoro::Task<void> stopRecording();
    QCoro::Task<void> cancelRecording();
    QCoro::Task<void> toggleRecording();
    // What the recording controls' stop and cancel requests run: the flow, as a task of its own
    // started after the caller returns.
    void hudStopRequested();
    void hudCancelRequested();

    // Whether the capture may go on: re-checks access and, when it is missing, asks for it and
    // shows the alert when that request is refused too (a flow that calls it has ended by then:
    // the alert holds no capture back). False whenever the re-check found no
    // access, even if access was granted meanwhile: the user starts the capture again.
    QCoro::Task<bool> ensureScreenCapturePermission();
    // The program's main window, which a capture takes off the screen and puts back; without
    // one there is nothing to hide. The coordinator does not own it.
    void setMainWindow(QWidget *window);
    // Dismisses our open dialogs (a save panel as cancelled, an alert unanswered), hides the
    // tray, closes the preview and markup windows, hides the main window when it is on the
    // screen (shown and not minimised), and waits 60 ms, running duringPause (when given)
    // within those 60 ms. Answers whether the main window was hidden.
    QCoro::Task<bool> prepareForCapture(const std::function<void()> &duringPause = {});
    // Brings back what prepareForCapture hid: with showTray the tray in compact form unless
    // there is nothing to show, then the main window when it was hidden. The main window comes
    // back below the window the user is in, and takes the keyboard only when it had it; one the
    // user has opened again meanwhile is left where it is.
    void restoreAfterCapture(bool mainWindowWasHidden, bool showTray);
    // Hands a finished capture to the queue: feedback, the queue, the auto-copy, then the tray
    // in the form the settings choose.
    void enqueue(const CaptureItem &item);
    // The menu's tray toggle: hides the tray when it shows, else opens it expanded.
    void toggleTray();
    // The staging tray the coordinator built; null while there is none.
    StagingTray *notchWindowController() const { return m_notchWindowController.get(); }

    // The actions on a staged capture. None throws: each ends as the capture's state in the
    // queue, and a capture is never dropped because an action failed. An action may start on a
    // capture that is busy or failed; its state follows the latest action, and an update for a
    // capture that has left the queue meanwhile changes nothing.

    // The tray's delete: the capture leaves the queue at once; an emptied queue reconciles the
    // tray.
    void deleteCapture(const CaptureItem &item);
    // A removed desktop pin takes the capture of the same identifier out of the queue, as a
    // delete does. A pin that names no capture (a null identifier) is ignored.
    void handlePinDeleted(const QUuid &id);
    // Marks the capture copying and starts performCopy as a task of its own; returns at once.
    void copyCapture(const CaptureItem &item);
    // Copies the capture to the clipboard. Afterwards it is pending again, or gone from the
    // queue when copyRemovesCapture is on; a failed copy leaves it failed. A copy that a later
    // one overtook leaves the clipboard, the sound and the state to the latest: the capture
    // waits again unless a later copy of it gives it a result.
    QCoro::Task<void> performCopy(CaptureItem item);
    // Asks where to save the capture (a panel that blocks no window) and writes it in the export
    // format. Afterwards it is saved under the chosen file's name, pending again when the user
    // dismissed the panel, or failed.
    QCoro::Task<void> saveCapture(CaptureItem item);

    // How long a screenshot waits for the timer setting: nothing for zero, negative or NaN
    // seconds, at most an hour.
    static std::optional<std::chrono::milliseconds> timerDelayWait(double seconds);

signals:
    void isRecordingChanged(bool isRecording);

private:
    using CaptureStep = QCoro::Task<QImage> (CaptureCoordinator::*)();

    // The one capture slot, held by a running capture flow until the flow ends.
    class CaptureSlot {
    public:
        explicit CaptureSlot(bool &held) : m_held(&held) { held = true; }
        CaptureSlot(CaptureSlot &&other) noexcept : m_held(std::exchange(other.m_held, nullptr)) {}
        CaptureSlot(const CaptureSlot &) = delete;
        CaptureSlot &operator=(const CaptureSlot &) = delete;
        CaptureSlot &operator=(CaptureSlot &&) = delete;
        ~CaptureSlot()
        {
            if (m_held)
                *m_held = false;
        }

    private:
        bool *m_held;
    };
    // The slot, or nothing (logged) while another capture holds it.
    std::optional<CaptureSlot> claimCaptureSlot();

    // ensureScreenCapturePermission for a flow: its slot is released before any alert shows.
    QCoro::Task<bool> ensureScreenCapturePermission(std::optional<CaptureSlot> &slot);
    QCoro::Task<void> runScreenshotFlow(CaptureMode mode, CaptureStep step);
    QCoro::Task<QImage> captureFullDisplayImage();
    QCoro::Task<QImage> captureAreaImage();
    QCoro::Task<QImage> captureWindowImage();
    QCoro::Task<void> waitForTimerDelay();
    static QCoro::Task<void> pause(std::chrono::milliseconds duration);
    void logCaptureFailure(CaptureMode mode, bool cancelled, const QString &description) const;
    QCoro::Task<void> showPermissionAlert();

    void setIsRecording(bool isRecording);
    void installRecording(RecordingHUDController *hud);
    bool recorderIsRecording() const;
    QCoro::Task<void> startRecorderFor(RecordingSelectionMode mode);
    void stageRecording(const RecordingResult &result);
    QCoro::Task<void> showRecordingAlert(QString title, QString description);

    void removeFromQueue(const QUuid &id);
    // Runs `work` from the event loop, after the caller returns, and not at all once the
    // coordinator is gone.
    void later(std::function<void()> work);
    // True when request is the capture's latest copy, which has ended.
    bool endLatestCopy(const QUuid &id, quint64 request);
    void installTray(StagingTrayFactory factory);
    bool hasKeyboard(const QWidget &window) const;
    bool isCovered(const QWidget &window) const;
    void restoreMainWindow();
    static void dismissOpenDialogs();

    CaptureQueue &m_queue;
    PermissionManager &m_permissionManager;
    ScreenCapturing &m_screenCaptureService;
    AreaSelecting &m_areaSelectionService;
    WindowSelecting &m_windowSelectionService;
    CaptureSaving &m_saveService;
    ClipboardWriting &m_clipboardService;
    SettingsStore &m_settingsStore;
    FeedbackService &m_feedbackService;
    platform::AlertPresenter &m_alertPresenter;
    platform::Displays &m_displays;
    ClosableWindow *m_previewWindow;
    ClosableWindow *m_markupWindow;
    QPointer<QWidget> m_mainWindow;
    // When the capture hid it, the main window had the keyboard, or windows of its layer
    // stood above it.
    bool m_mainWindowWasActive = false;
    bool m_mainWindowWasCovered = false;
    const platform::WindowList *m_windowList;
    std::unique_ptr<StagingTray> m_notchWindowController;
    std::unique_ptr<ScreenObserver> m_screenObserver;
    ScreenRecording *m_recorder;
    RecordingModeSelecting *m_modeSelector;
    // The copies asked for so far, and the number of each staged capture's latest copy while it
    // runs.
    quint64 m_copyRequests = 0;
    QHash<QUuid, quint64> m_latestCopyOf;
    bool m_isRecording = false;
    bool m_captureInProgress = false;
    // A stop is finishing the movie: another stop or a cancel must leave it alone.
    bool m_stoppingRecording = false;
    // The running recording hid the main window; its stop or cancel brings it back.
    bool m_mainWindowHiddenForRecording = false;
};
