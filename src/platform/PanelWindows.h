#pragma once

#include "platform/Displays.h"

#include <QRectF>
#include <QRegion>
#include <memory>
#include <optional>

class QWidget;

namespace platform {

// How high a floating panel sits among the desktop's windows.
enum class PanelLevel : quint8 {
    // Above normal windows (choosers, HUDs).
    floating,
    // Above everything, full-screen windows included (the staging tray).
    topmost,
};

// Turns top-level widgets into floating panels: undecorated, never activated by a click, on
// every workspace, without a taskbar or pager entry, left alone by window cycling, and left out
// of the program's own screenshots and recordings (the capture code hides them first).
class PanelWindows {
public:
    virtual ~PanelWindows() = default;

    // Qt window flags for the panel; give them before the widget is first shown.
    static Qt::WindowFlags windowFlags();
    // Call once, before the panel is first shown: sets the attributes Qt cannot set itself.
    virtual void prepare(QWidget *panel, PanelLevel level) = 0;
    // Only this region (widget coordinates) takes pointer input; clicks elsewhere reach the
    // windows below. An empty region takes no input at all. May be called before the panel is
    // shown and at any time afterwards.
    virtual void setInputRegion(QWidget *panel, const QRegion &region) = 0;
    // The part of a display that panels and docks leave free, in screen coordinates; nothing
    // when the window manager does not say.
    virtual std::optional<QRectF> visibleFrame(const Display &display) const = 0;
    // For a managed window of ours that takes the keyboard (the preview): asks the window
    // manager to keep it on every workspace. Call before it is first shown.
    virtual void showOnEveryWorkspace(QWidget *window) { Q_UNUSED(window); }
    // For a window of ours at the floating level that the window manager stacks and that is
    // ordered front after the panels (the preview, the markup window): while it is shown,
    // floating panels stay below it. Call once, before it is first shown.
    virtual void keepAboveFloatingPanels(QWidget *window) { Q_UNUSED(window); }
    // Brings a shown panel to the front of its level, below the windows kept above it.
    virtual void orderFront(QWidget *panel);
};

} // namespace platform
