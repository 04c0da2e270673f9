#include "capture/CaptureCoordinator.h"

#include "capture/FeedbackService.h"
#include "capture/PermissionManager.h"
#include "capture/SaveService.h"
#include "capture/ScreenObserver.h"
#include "model/CaptureQueue.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "platform/Alerts.h"
#include "platform/Log.h"
#include "platform/WindowList.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <utility>

namespace {

// Long enough for the window system to take hidden windows off the screen and for the
// windows below to repaint before the pixels are read.
constexpr std::chrono::milliseconds settleTime(60);

} // namespace

CaptureCoordinator::CaptureCoordinator(Services services, QObject *parent)
    : QObject(parent), m_queue(services.queue), m_permissionManager(services.permissionManager),
      m_screenCaptureService(services.screenCaptureService),
      m_areaSelectionService(services.areaSelectionService),
      m_windowSelectionService(services.windowSelectionService),
      m_saveService(services.saveService), m_clipboardService(services.clipboardService),
      m_settingsStore(services.settingsStore), m_feedbackService(services.feedbackService),
      m_alertPresenter(services.alertPresenter), m_displays(services.displays),
      m_previewWindow(services.previewWindow), m_markupWindow(services.markupWindow),
      m_windowList(services.windowList), m_recorder(services.recorder),
      m_modeSelector(services.modeSelector)
{
    m_queue.setMaxCapacity(m_settingsStore.maxQueueCapacity());

    if (services.pinNotifications) {
        connect(services.pinNotifications, &PinNotifications::pinItemDeleted, this,
                &CaptureCoordinator::handlePinDeleted);
    }

    installTray(std::move(services.trayFactory));

    QPointer<CaptureCoordinator> self(this);
    m_screenObserver = std::make_unique<ScreenObserver>(&m_displays, [self] {
        if (self && self->m_notchWindowController)
            self->m_notchWindowController->updateLayout(std::nullopt, std::nullopt);
    });
    installRecording(services.hud);
}

CaptureCoordinator::~CaptureCoordinator() = default;

QCoro::Task<bool> CaptureCoordinator::ensureScreenCapturePermission()
{
    std::optional<CaptureSlot> noSlot;
    QCoro::Task<bool> ensuring = ensureScreenCapturePermission(noSlot);
    co_return co_await ensuring;
}

QCoro::Task<bool>
CaptureCoordinator::ensureScreenCapturePermission(std::optional<CaptureSlot> &slot)
{
    m_permissionManager.checkScreenCaptureAccess();
    if (m_permissionManager.hasScreenCaptureAccess())
        co_return true;

    qCCritical(Log::permissions, "Cannot perform capture: screen recording permission not granted");
    if (!m_permissionManager.requestScreenCaptureAccess()) {
        // The flow ends before the alert: however long the user leaves it open, the next
        // capture may start.
        slot.reset();
        co_await showPermissionAlert();
    }
    co_return false;
}

QCoro::Task<void> CaptureCoordinator::showPermissionAlert()
{
    platform::Alert alert;
    alert.style = platform::AlertStyle::warning;
    alert.messageText = QStringLiteral("Screen Recording Permission Required");
    alert.informativeText = QStringLiteral(
        "Corvanta could not read the screen, which it needs to take screenshots and record. "
        "Allow screen capture for Corvanta in your desktop's settings, then try again.");
    const bool canOpen = m_permissionManager.canOpenScreenRecordingSettings();
    alert.buttonTitles =
        canOpen ? QStringList{QStringLiteral("Open Desktop Settings"), QStringLiteral("Cancel")}
                : QStringList{QStringLiteral("OK")};
    const QPointer<CaptureCoordinator> self(this);
    const int answer = co_await m_alertPresenter.present(alert);
    if (self && canOpen && answer == 0)
        m_permissionManager.openScreenRecordingSettings();
}

void CaptureCoordinator::setMainWindow(QWidget *window)
{
    m_mainWindow = window;
}

void CaptureCoordinator::dismissOpenDialogs()
{
    // Our dialogs do not block the program, so one may still be open when a capture starts.
    // Left open it would be in the picture and take keys meant for the selection; it is
    // dismissed as the user's Escape would: a save panel as cancelled, an alert unanswered.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *dialog = qobject_cast<QDialog *>(window);
        if (dialog && dialog->isVisible())
            dialog->reject();
    }
}

QCoro::Task<bool> CaptureCoordinator::prepareForCapture(const std::function<void()> &duringPause)
{
    // A save whose picture is still being decoded would open its panel over the selection.
    m_saveService.dismissPanels();
    dismissOpenDialogs();
    if (m_notchWindowController)
        m_notchWindowController->hide(true);
    if (m_previewWindow)
        m_previewWindow->close();
    if (m_markupWindow)
        m_markupWindow->close();

    // A minimised window is not on the screen: hiding it would only bring it back unminimised.
    bool mainWindowWasHidden = false;
    if (m_mainWindow && m_mainWindow->isVisible() && !m_mainWindow->isMinimized()) {
        m_mainWindowWasActive = hasKeyboard(*m_mainWindow);
        m_mainWindowWasCovered = !m_mainWindowWasActive && isCovered(*m_mainWindow);
        m_mainWindow->hide();
        mainWindowWasHidden = true;
    }
    // The pause runs from the moment the windows are hidden, whatever is done meanwhile.
    QCoro::Task<void> paused = pause(settleTime);
    if (duringPause)
        duringPause();
    co_await std::move(paused);
    co_return mainWindowWasHidden;
}

void CaptureCoordinator::restoreAfterCapture(bool mainWindowWasHidden, bool showTray)
{
    // The tray first: the main window comes back last, as after a capture that was staged.
    if (showTray && m_notchWindowController &&
        (!m_queue.items().isEmpty() || m_notchWindowController->hasNotch()))
        m_notchWindowController->show(std::nullopt, TrayInteractionState::compact);
    if (mainWindowWasHidden)
        restoreMainWindow();
}

bool CaptureCoordinator::hasKeyboard(const QWidget &window) const
{
    // The window manager's word: ours learns of a switch to another program only a while later.
    if (m_windowList) {
        if (const std::optional<platform::WindowId> active = m_windowList->activeWindow())
            return *active == platform::WindowId(window.winId());
    }
    return window.isActiveWindow();
}

bool CaptureCoordinator::isCovered(const QWidget &window) const
{
    if (!m_windowList)
        return false;
    const auto id = platform::WindowId(window.winId());
    // Topmost first: a window of the same layer listed before ours stands above it.
    const QList<platform::WindowInfo> windows = m_windowList->windows();
    for (qsizetype own = 0; own < windows.size(); ++own) {
        if (windows[own].id != id)
            continue;
        for (qsizetype above = 0; above < own; ++above) {
            if (windows[above].layer == windows[own].layer)
                return true;
        }
        return false;
    }
    return false;
}

void CaptureCoordinator::restoreMainWindow()
{
    const bool activate = std::exchange(m_mainWindowWasActive, false);
    const bool covered = std::exchange(m_mainWindowWasCovered, false);
    // Opened again meanwhile (during a recording): the user has put it where it is now.
    if (!m_mainWindow || m_mainWindow->isVisible())
        return;
    if (activate) {
        m_mainWindow->show();
        m_mainWindow->raise();
        m_mainWindow->activateWindow();
        return;
    }
    // Shown without a user time, the window manager does not give it the keyboard; it puts it on
    // top of its layer. A window may ask only for the top or the bottom of its layer, so one that
    // others covered goes to the bottom, below them again.
    QWindow *handle = m_mainWindow->windowHandle();
    if (handle)
        handle->setProperty("_q_showWithoutActivating", true);
    m_mainWindow->show();
    if (handle)
        handle->setProperty("_q_showWithoutActivating", QVariant());
    if (covered)
        m_mainWindow->lower();
}

void CaptureCoordinator::enqueue(const CaptureItem &item)
{
    // Feedback comes before the queue is touched, so it is given even when the enqueue fails.
    m_feedbackService.playCapture(m_settingsStore.soundEffectsEnabled(),
                                  m_settingsStore.hapticsEnabled());
    try {
        static_cast<CaptureQueueing &>(m_queue).enqueue(item);
    } catch (const std::exception &error) {
        qCCritical(Log::capture, "Failed to enqueue capture item: %s", error.what());
        if (m_notchWindowController)
            m_notchWindowController->show(std::nullopt, TrayInteractionState::compact);
        return;
    }
    qCInfo(Log::capture, "Capture item enqueued successfully; queue now holds %ld item(s)",
           long(m_queue.items().size()));

    // Marked copying now; the copy itself runs as a task of its own.
    if (m_settingsStore.autoCopyOnCapture())
        copyCapture(item);

    if (!m_notchWindowController)
        return;
    m_notchWindowController->updateLayout(std::nullopt, std::nullopt);
    TrayInteractionState state = TrayInteractionState::compact;
    if (m_settingsStore.openCorvantaAfterCapture())
        state = TrayInteractionState::expanded;
    else if (m_settingsStore.showCaptureIndicator())
        state = TrayInteractionState::confirmation;
    m_notchWindowController->show(std::nullopt, state);
}

std::optional<CaptureCoordinator::CaptureSlot> CaptureCoordinator::claimCaptureSlot()
{
    // One capture at a time: a second flow would hide what the first is about to restore,
    // or open a second set of selection overlays over the first. The later request is the
    // one dropped, so the capture the user is already in finishes normally.
    if (m_captureInProgress) {
        qCWarning(Log::capture, "Capture request ignored: another capture is in progress");
        return std::nullopt;
    }
    std::optional<CaptureSlot> slot;
    slot.emplace(m_captureInProgress);
    return slot;
}

void CaptureCoordinator::toggleTray()
{
    if (!m_notchWindowController)
        return;
    if (m_notchWindowController->isWindowVisible())
        m_notchWindowController->hide(true);
    else
        m_notchWindowController->show(std::nullopt, TrayInteractionState::expanded);
}
