#include "capture/AreaSelectionService.h"

#include "capture/SelectionOverlayView.h"
#include "platform/Log.h"

#include <utility>

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

    // The overlay windows are made first, hidden, while the window system has nothing else to
    // do, and their memory is touched while the displays are read on worker threads: once the
    // images are there, only filling and mapping the windows remain. They are translucent with
    // a compositing manager, else they show the dimmed frozen image.
    const bool preparedAhead = !m_preparedPanels.empty();
    PreparedPanels panels = preparedAhead
                                ? std::exchange(m_preparedPanels, {})
                                : m_selection.prepare(m_displays, m_compositor.isCompositing());
    QCoro::Task<QHash<platform::DisplayId, QImage>> freezing =
        m_screenCapture.captureAllDisplays(false, {});
    if (!preparedAhead) {
        for (const auto &panel : panels)
            panel->touchContentMemory();
    }
    QHash<platform::DisplayId, QImage> frozenImages;
    try {
        frozenImages = co_await std::move(freezing);
    } catch (const std::exception &) {
        // The loupe then shows no pixels; the selection works all the same.
    }
    // Ended meanwhile (a newer request, or this service went away): nothing more to show.
    if (!session->isFinished())
        presentOverlays(session, frozenImages, std::move(panels));
    co_return co_await session->outcome();
}

void AreaSelectionService::prepareSelection()
{
    m_preparedPanels = m_selection.prepare(m_displays, m_compositor.isCompositing());
    for (const auto &panel : m_preparedPanels)
        panel->touchContentMemory();
}

void AreaSelectionService::presentOverlays(const std::shared_ptr<SelectionSession<QRectF>> &session,
                                           const QHash<platform::DisplayId, QImage> &frozenImages,
                                           PreparedPanels panels)
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
        [] { qCInfo(Log::capture, "Area selection cancelled by user"); }, std::move(panels));
}
