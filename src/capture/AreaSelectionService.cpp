#include "capture/AreaSelectionService.h"

#include "capture/SelectionOverlayView.h"
#include "model/Log.h"

AreaSelectionService::AreaSelectionService(ScreenCapturing &screenCapture,
                                           platform::Displays &displays,
                                           platform::Compositor &compositor,
                                           const SettingsStore &settings,
                                           std::shared_ptr<platform::OverlayWindows> overlays)
    : m_screenCapture(screenCapture), m_displays(displays), m_compositor(compositor),
      m_settings(settings), m_selection("Area selection", std::move(overlays))
{
}

QCoro::Task<QRectF> AreaSelectionService::selectArea()
{
    qCInfo(Log::capture, "Starting interactive area selection");
    // Begun before the displays are frozen, so that an open selection's overlays are gone from
    // the images and a newer request during the freeze ends this one.
    const auto session = m_selection.begin();

    QHash<platform::DisplayId, QImage> frozenImages;
    try {
        frozenImages = co_await m_screenCapture.captureAllDisplays(false, {});
    } catch (const std::exception &) {
        // The loupe then shows no pixels; the selection works all the same.
    }
    // Ended meanwhile (a newer request, or this service went away): nothing more to show.
    if (!session->isFinished())
        presentOverlays(session, frozenImages);
    co_return co_await session->outcome();
}

void AreaSelectionService::presentOverlays(const std::shared_ptr<SelectionSession<QRectF>> &session,
                                           const QHash<platform::DisplayId, QImage> &frozenImages)
{
    const bool compositing = m_compositor.isCompositing();
    m_selection.present(
        session, m_displays,
        [&](const platform::Display &display, double flipHeight) {
            const QImage image = frozenImages.value(display.id);
            return new SelectionOverlayView(display, flipHeight, image,
                                            overlayBackground(compositing, !image.isNull()),
                                            &m_settings);
        },
        [](const QRectF &rect) {
            qCInfo(Log::capture, "Area selected: %f,%f %fx%f", rect.x(), rect.y(), rect.width(),
                   rect.height());
        },
        [] { qCInfo(Log::capture, "Area selection cancelled by user"); });
}
