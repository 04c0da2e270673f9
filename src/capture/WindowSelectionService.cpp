#include "capture/WindowSelectionService.h"

#include "capture/WindowSelectionOverlayView.h"
#include "model/CaptureErrors.h"
#include "platform/Log.h"

WindowSelectionService::WindowSelectionService(platform::WindowList &windowList,
                                               platform::Displays &displays,
                                               std::shared_ptr<platform::OverlayWindows> overlays,
                                               ScreenCapturing *screenCapture,
                                               platform::Compositor *compositor)
    : m_windowList(windowList), m_displays(displays), m_screenCapture(screenCapture),
      m_compositor(compositor), m_selection("Window selection", std::move(overlays))
{
}

bool WindowSelectionService::needsFrozenDesktop() const
{
    return m_screenCapture && m_compositor && !m_compositor->isCompositing();
}

QCoro::Task<platform::WindowInfo> WindowSelectionService::selectWindow()
{
    qCInfo(Log::capture, "Starting interactive window selection");
    const auto session = m_selection.begin();

    const QList<platform::WindowInfo> candidates = selectableWindows(m_windowList.windows());
    if (candidates.isEmpty()) {
        qCCritical(Log::capture, "No candidate windows found for selection");
        session->fail(std::make_exception_ptr(
            CaptureError::captureFailed(QStringLiteral("No selectable windows found."))));
        co_return co_await session->outcome();
    }

    QHash<platform::DisplayId, QImage> frozenImages;
    if (needsFrozenDesktop()) {
        try {
            frozenImages = co_await m_screenCapture->captureAllDisplays(false, {});
        } catch (const std::exception &) {
            // The overlays are then translucent, black without a compositing manager.
        }
    }
    // Ended meanwhile (a newer request, or this service went away): nothing more to show.
    if (!session->isFinished())
        presentOverlays(session, candidates, frozenImages);
    co_return co_await session->outcome();
}

void WindowSelectionService::presentOverlays(
    const std::shared_ptr<SelectionSession<platform::WindowInfo>> &session,
    const QList<platform::WindowInfo> &candidates,
    const QHash<platform::DisplayId, QImage> &frozenImages)
{
    const bool compositing = !needsFrozenDesktop();
    m_selection.present(
        session, m_displays,
        [&](const platform::Display &display, double flipHeight) {
            const QImage image = frozenImages.value(display.id);
            auto *view = new WindowSelectionOverlayView(
                display, flipHeight, overlayBackground(compositing, !image.isNull()), image);
            view->setWindowsToSelect(candidates);
            return view;
        },
        [](const platform::WindowInfo &window) {
            qCInfo(Log::capture, "Window selected: ID %u", window.id);
        },
        [] { qCInfo(Log::capture, "Window selection cancelled"); });
}
