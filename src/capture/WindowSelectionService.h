#pragma once

#include "capture/ScreenCapturing.h"
#include "capture/Selecting.h"
#include "capture/SelectionSession.h"
#include "platform/Compositor.h"
#include "platform/Displays.h"
#include "platform/OverlayWindows.h"
#include "platform/WindowList.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <memory>

// Lets the user point at a window of another program and click it: one overlay per display dims
// the desktop and highlights the window under the pointer.
class WindowSelectionService final : public WindowSelecting {
public:
    // Without a compositing manager translucent overlays would hide the desktop behind black:
    // given a capture service and a compositor that reports none, the displays are frozen and
    // shown instead. Destroying the service cancels a selection still open.
    WindowSelectionService(platform::WindowList &windowList, platform::Displays &displays,
                           std::shared_ptr<platform::OverlayWindows> overlays,
                           ScreenCapturing *screenCapture = nullptr,
                           platform::Compositor *compositor = nullptr);

    // Throws CaptureError::cancelled() when the user cancels, starts another selection or the
    // displays change; CaptureError::captureFailed("No selectable windows found.") when no window
    // qualifies; CaptureError::noDisplayFound() without displays.
    QCoro::Task<platform::WindowInfo> selectWindow() override;

    // The overlay panels of the open selection, in display order; empty when none is open.
    QList<SelectionOverlayWindow *> overlayWindows() const { return m_selection.panels(); }

private:
    bool needsFrozenDesktop() const;
    void presentOverlays(const std::shared_ptr<SelectionSession<platform::WindowInfo>> &session,
                         const QList<platform::WindowInfo> &candidates,
                         const QHash<platform::DisplayId, QImage> &frozenImages);

    platform::WindowList &m_windowList;
    platform::Displays &m_displays;
    ScreenCapturing *m_screenCapture;
    platform::Compositor *m_compositor;
    InteractiveSelection<platform::WindowInfo> m_selection;
};
