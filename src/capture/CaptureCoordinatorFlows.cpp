// The three screenshot flows of the capture coordinator: full display, area and window.

#include "capture/CaptureCoordinator.h"

#include "capture/DisplayHelpers.h"
#include "capture/ScreenCapturing.h"
#include "capture/Selecting.h"
#include "model/CaptureErrors.h"
#include "model/SettingsStore.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QTimer>
#include <qcoro/qcorotimer.h>

namespace {

// After a selection closes its overlays, the desktop below gets this long to repaint.
constexpr std::chrono::milliseconds afterSelection(60);

} // namespace

QCoro::Task<void> CaptureCoordinator::captureFullDisplay()
{
    return runScreenshotFlow(CaptureMode::fullDisplay,
                             &CaptureCoordinator::captureFullDisplayImage);
}

QCoro::Task<void> CaptureCoordinator::captureArea()
{
    return runScreenshotFlow(CaptureMode::area, &CaptureCoordinator::captureAreaImage);
}

QCoro::Task<void> CaptureCoordinator::captureWindow()
{
    return runScreenshotFlow(CaptureMode::window, &CaptureCoordinator::captureWindowImage);
}

QCoro::Task<void> CaptureCoordinator::runScreenshotFlow(CaptureMode mode, CaptureStep step)
{
    std::optional<CaptureSlot> slot = claimCaptureSlot();
    if (!slot)
        co_return;

    QCoro::Task<bool> permitting = ensureScreenCapturePermission(slot);
    if (!co_await permitting)
        co_return;
    // The area overlays are made while the tray leaves the screen, so that they can show as
    // soon as the displays are frozen.
    std::function<void()> duringPause;
    if (mode == CaptureMode::area)
        duringPause = [this] { m_areaSelectionService.prepareSelection(); };
    const bool mainWindowWasHidden = co_await prepareForCapture(duringPause);

    std::optional<CaptureItem> item;
    try {
        const QImage image = co_await (this->*step)();
        if (image.isNull())
            throw CaptureError::captureFailed(QStringLiteral("no image was returned"));
        item.emplace(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt, mode, image,
                     std::nullopt, std::nullopt, CaptureItemState::pending());
    } catch (const CaptureError &error) {
        logCaptureFailure(mode, error.kind() == CaptureError::Kind::cancelled,
                          error.errorDescription());
    } catch (const std::exception &error) {
        logCaptureFailure(mode, false, QString::fromUtf8(error.what()));
    }

    if (!item) {
        restoreAfterCapture(mainWindowWasHidden, true);
        co_return;
    }
    enqueue(*item);
    restoreAfterCapture(mainWindowWasHidden, false);
}

void CaptureCoordinator::logCaptureFailure(CaptureMode mode, bool cancelled,
                                           const QString &description) const
{
    // A full display is never cancelled by the user: it has nothing to select.
    if (mode != CaptureMode::area && mode != CaptureMode::window) {
        qCCritical(Log::capture, "Full screen capture failed: %s", qUtf8Printable(description));
        return;
    }
    const char *flow = mode == CaptureMode::area ? "Area" : "Window";
    if (cancelled)
        qCInfo(Log::capture, "%s capture cancelled by user", flow);
    else
        qCCritical(Log::capture, "%s capture failed: %s", flow, qUtf8Printable(description));
}

std::optional<std::chrono::milliseconds> CaptureCoordinator::timerDelayWait(double seconds)
{
    // Sanitised here, where the number is used: the store keeps whatever it was given.
    const double delay = sanitizedDelay(seconds);
    if (!(delay > 0.0))
        return std::nullopt;
    return std::chrono::milliseconds(static_cast<qint64>(delay * 1000.0));
}

QCoro::Task<void> CaptureCoordinator::pause(std::chrono::milliseconds duration)
{
    // A coarse timer may fire 5 % early; the user asked for at least this long.
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    timer.setSingleShot(true);
    timer.start(duration);
    co_await timer;
}

QCoro::Task<void> CaptureCoordinator::waitForTimerDelay()
{
    if (const auto wait = timerDelayWait(m_settingsStore.screenshotTimerDelay()))
        co_await pause(*wait);
}

QCoro::Task<QImage> CaptureCoordinator::captureFullDisplayImage()
{
    co_await waitForTimerDelay();
    // Chosen after the wait: the display the pointer is on when the picture is taken.
    const std::optional<platform::Display> display = screenContainingMouse(m_displays);
    const platform::DisplayId id = display ? displayID(*display) : platform::DisplayId(0);
    co_return co_await m_screenCaptureService.captureDisplay(
        id, m_settingsStore.includeCursorInScreenshot(), QList<platform::WindowId>());
}

QCoro::Task<QImage> CaptureCoordinator::captureAreaImage()
{
    const QRectF rect = co_await m_areaSelectionService.selectArea();
    co_await pause(afterSelection);
    co_await waitForTimerDelay();
    co_return co_await m_screenCaptureService.captureArea(rect, QList<platform::WindowId>());
}

QCoro::Task<QImage> CaptureCoordinator::captureWindowImage()
{
    const platform::WindowInfo window = co_await m_windowSelectionService.selectWindow();
    co_await pause(afterSelection);
    co_await waitForTimerDelay();
    const bool showsCursor = m_settingsStore.includeCursorInScreenshot();
    const bool ignoreShadows = !m_settingsStore.includeWindowShadow();
    co_return co_await m_screenCaptureService.captureWindow(window, showsCursor, ignoreShadows);
}
