#include "app/AppDelegate.h"

#include "app/AppEnvironment.h"
#include "app/GlobalHotkeyManager.h"
#include "app/SystemWakeObserver.h"
#include "capture/CaptureCoordinator.h"
#include "capture/CaptureNeighbours.h"
#include "capture/PermissionManager.h"
#include "model/CaptureQueue.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"

#include <QThreadPool>
#include <QTimer>

namespace {

// How long quitting waits for capture files still being written or deleted.
constexpr int fileWorkLimitMs = 5000;

} // namespace

AppDelegate::AppDelegate(AppEnvironment &environment, QObject *parent)
    : QObject(parent), m_environment(environment)
{
}

AppDelegate::~AppDelegate() = default;

void AppDelegate::applicationDidFinishLaunching(bool alone)
{
    qCInfo(Log::capture, "Corvanta launched as menu bar utility");
    // Linux does not nap idle processes: hot-key presses reach a sleeping event loop without
    // delay, so there is no activity to hold while waiting for them.
    m_environment.setupHotkeys();
    m_environment.permissionManager().checkScreenCaptureAccess();
    // Off the interface: the temporary directory may be large or slow.
    // Taken before this run can write a file, so that none of its own goes.
    std::optional<TemporaryFiles::FileTime> aloneSince;
    if (alone)
        aloneSince = TemporaryFiles::fileClockNow();
    platform::runInBackground(
        [aloneSince] { TemporaryFiles::removeLeftovers(TemporaryFiles::leftoverAge, aloneSince); });
    if (m_wakeObserver == nullptr) {
        m_wakeObserver = new SystemWakeObserver(this);
        connect(m_wakeObserver, &SystemWakeObserver::systemWoke, this,
                &AppDelegate::handleSystemWake);
    }
    // After launching has returned, so the tray appears once the event loop runs.
    QTimer::singleShot(0, this, [this] {
        if (StagingTray *tray = m_environment.captureCoordinator().notchWindowController())
            tray->show(std::nullopt, TrayInteractionState::compact);
    });
}

void AppDelegate::handleSystemWake()
{
    QTimer::singleShot(0, this, [this] {
        qCInfo(Log::capture, "System woke from sleep; refreshing permission state and hotkeys");
        m_environment.permissionManager().checkScreenCaptureAccess();
        m_environment.setupHotkeys();
    });
}

void AppDelegate::applicationWillTerminate()
{
    qCInfo(Log::capture, "Corvanta terminating; cleaning up hotkeys and staging queue");
    m_environment.hotkeyManager().unregisterAll();

    // Staged captures do not outlive the program, and neither do their files nor those of
    // captures removed earlier: every deletion that normally waits a while runs now. Files
    // still being written are finished first, so none lands after its deletion.
    if (QThreadPool *threads = platform::backgroundThreads())
        threads->waitForDone(fileWorkLimitMs);
    m_environment.queue().clearAll();
    TemporaryFiles::deletePendingNow();
}
