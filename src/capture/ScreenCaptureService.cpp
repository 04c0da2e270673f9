#include "capture/ScreenCaptureService.h"

#include "capture/DisplayHelpers.h"
#include "capture/WindowShadow.h"
#include "model/CaptureErrors.h"
#include "platform/Background.h"
#include "platform/Log.h"

#include <QFuture>
#include <cmath>
#include <functional>
#include <qcoro/qcorofuture.h>

namespace {

// Smaller selections are taken for stray clicks.
constexpr double minimumAreaSide = 2.0;

const char *boolText(bool value)
{
    return value ? "true" : "false";
}

// Runs a read on a background thread; the caller co_awaits the future on the main thread.
QFuture<platform::CaptureResult> onWorkerThread(std::function<platform::CaptureResult()> read)
{
    return platform::runInBackground([read = std::move(read)]() -> platform::CaptureResult {
        // A failure comes back as a failed read, which the awaiter reports as such.
        try {
            return read();
        } catch (const std::exception &error) {
            return platform::CaptureResult::failed(QString::fromUtf8(error.what()));
        }
    });
}

QImage imageOrThrow(platform::CaptureResult result)
{
    if (!result)
        throw CaptureError::captureFailed(result.failure);
    return std::move(result.image);
}

// The points a window's shadow surrounds: what was read, which can be less than the listed frame
// (only the part on the screen, without a compositor) or other than it (a window resized since);
// else the listed frame; else the pixels at the main display's scale.
QSizeF shadowedPoints(const platform::CaptureResult &result, QSizeF frame, double scale)
{
    if (!result.capturedArea.isEmpty())
        return result.capturedArea.size();
    if (!frame.isEmpty())
        return frame;
    return QSizeF(result.image.size()) / scale;
}

} // namespace

ScreenCaptureService::ScreenCaptureService(std::shared_ptr<platform::ScreenCapture> screenCapture,
                                           std::shared_ptr<platform::Displays> displays,
                                           std::shared_ptr<platform::WindowSystem> windowSystem)
    : m_screenCapture(std::move(screenCapture)), m_displays(std::move(displays)),
      m_windowSystem(std::move(windowSystem))
{
}

// The coroutines copy what the worker needs before their first suspension and touch no member
// after it, so that a service destroyed meanwhile does no harm.

QCoro::Task<QImage> ScreenCaptureService::captureDisplay(platform::DisplayId displayID,
                                                         bool showsCursor,
                                                         QList<platform::WindowId>)
{
    qCInfo(Log::capture, "Starting full display capture for display ID: %u, showsCursor: %s",
           displayID, boolText(showsCursor));
    const std::optional<platform::Display> display = m_displays->display(displayID);
    if (!display) {
        qCCritical(Log::capture, "No matching SCDisplay found for ID %u", displayID);
        throw CaptureError::noDisplayFound();
    }
    m_windowSystem->syncPendingRequests();
    const QFuture<platform::CaptureResult> read =
        onWorkerThread([capture = m_screenCapture, id = display->id, showsCursor] {
            return capture->captureDisplay(id, showsCursor);
        });
    const QImage image = imageOrThrow(co_await read);
    qCInfo(Log::capture, "Captured display successfully via ScreenCaptureKit (%ldx%ld)",
           long(image.width()), long(image.height()));
    co_return image;
}

QCoro::Task<QHash<platform::DisplayId, QImage>>
ScreenCaptureService::captureAllDisplays(bool showsCursor, QList<platform::WindowId>)
{
    qCInfo(Log::capture, "Starting concurrent full display capture for all displays");
    const QList<platform::Display> displays = m_displays->displays();
    m_windowSystem->syncPendingRequests();
    QList<std::pair<platform::DisplayId, QFuture<platform::CaptureResult>>> captures;
    for (const platform::Display &display : displays) {
        const platform::DisplayId id = display.id;
        captures.append({id, onWorkerThread([capture = m_screenCapture, id, showsCursor] {
                             return capture->captureDisplay(id, showsCursor);
                         })});
    }
    QHash<platform::DisplayId, QImage> images;
    for (auto &[id, future] : captures) {
        const platform::CaptureResult result = co_await future;
        if (result)
            images.insert(id, std::move(result.image));
    }
    co_return images;
}

QCoro::Task<QImage> ScreenCaptureService::captureArea(QRectF rect, QList<platform::WindowId>)
{
    // Written so that NaN sides count as too small.
    if (!(std::abs(rect.width()) >= minimumAreaSide &&
          std::abs(rect.height()) >= minimumAreaSide)) {
        qCCritical(Log::capture, "Capture area rect too small");
        throw CaptureError::invalidSelection();
    }
    qCInfo(Log::capture, "Starting area capture: %f,%f %fx%f", rect.x(), rect.y(), rect.width(),
           rect.height());
    const QRectF area = rect.normalized();
    if (m_displays->displays().isEmpty())
        throw CaptureError::noDisplayFound();
    m_windowSystem->syncPendingRequests();
    const QFuture<platform::CaptureResult> read = onWorkerThread(
        [capture = m_screenCapture, area] { return capture->captureRect(area, false); });
    const QImage image = imageOrThrow(co_await read);
    qCInfo(Log::capture, "Captured area successfully via ScreenCaptureKit (%ldx%ld)",
           long(image.width()), long(image.height()));
    co_return image;
}

QCoro::Task<QImage> ScreenCaptureService::captureWindow(platform::WindowInfo window,
                                                        bool showsCursor, bool ignoreShadows)
{
    qCInfo(Log::capture,
           "Starting window capture for window ID: %u, showsCursor: %s, ignoreShadows: %s",
           window.id, boolText(showsCursor), boolText(ignoreShadows));
    // Sizes follow the main display's scale, wherever the window is.
    const double scale = scaleFactor(m_displays->mainDisplay());
    const QSizeF frame = window.captureFrame.size();
    m_windowSystem->syncPendingRequests();
    const QFuture<platform::CaptureResult> read = onWorkerThread(
        [capture = m_screenCapture, id = window.id, showsCursor, ignoreShadows, scale, frame] {
            platform::CaptureResult result = capture->captureWindow(id, true, showsCursor);
            if (!result || ignoreShadows)
                return result;
            const QSizeF points = shadowedPoints(result, frame, scale);
            return platform::CaptureResult::success(
                withWindowShadow(result.image, shadowedWindowSize(points, scale), scale));
        });
    const QImage image = imageOrThrow(co_await read);
    qCInfo(Log::capture, "Captured window successfully via ScreenCaptureKit (%ldx%ld)",
           long(image.width()), long(image.height()));
    co_return image;
}
