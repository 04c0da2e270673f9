#pragma once

#include "capture/ScreenCapturing.h"
#include "capture/Selecting.h"
#include "capture/SelectionSession.h"
#include "platform/Compositor.h"
#include "platform/Displays.h"
#include "platform/OverlayWindows.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <memory>

class SettingsStore;

// Lets the user drag a rectangle anywhere on the desktop: one overlay per display dims the live
// desktop, and the rectangle comes back in capture coordinates. The displays are frozen first,
// only to feed the loupe (and, without a compositing manager, to stand in for the live desktop).
class AreaSelectionService final : public AreaSelecting {
public:
    // Destroying the service cancels a selection still open.
    AreaSelectionService(ScreenCapturing &screenCapture, platform::Displays &displays,
                         platform::Compositor &compositor, const SettingsStore &settings,
                         std::shared_ptr<platform::OverlayWindows> overlays);

    // Throws CaptureError::cancelled() when the user cancels, drags less than 4 points either
    // way, starts another selection or the displays change; CaptureError::noDisplayFound()
    // without displays.
    QCoro::Task<QRectF> selectArea() override;
    // Makes the overlay panels, hidden, and touches their memory ahead of selectArea(), which
    // takes them when they still suit the displays.
    void prepareSelection() override;

    // The overlay panels of the open selection, in display order; empty when none is open.
    QList<SelectionOverlayWindow *> windows() const { return m_selection.panels(); }

private:
    void presentOverlays(const std::shared_ptr<SelectionSession<QRectF>> &session,
                         const QHash<platform::DisplayId, QImage> &frozenImages,
                         PreparedPanels panels);

    ScreenCapturing &m_screenCapture;
    platform::Displays &m_displays;
    platform::Compositor &m_compositor;
    const SettingsStore &m_settings;
    InteractiveSelection<QRectF> m_selection;
    PreparedPanels m_preparedPanels;
};
