#include "platform/PanelWindows.h"

#include <QWidget>

namespace platform {

// On X11 panels are override-redirect windows rather than managed ones with EWMH hints (dock or
// utility type, above, sticky, skip taskbar/pager, input false). Under openbox a managed panel
// fails twice: the window manager's frame around it takes the clicks that the panel's input shape
// lets through, and a focused full-screen window is stacked above every managed window, ABOVE
// state and dock type included. A window manager may also move a managed window off the edges
// that docks reserve. An override-redirect window is on every desktop, in no task list, pager or
// window cycle, never focused by the window manager, and placed and stacked by us alone.
// WindowDoesNotAcceptFocus keeps Qt from focusing it on a click.
Qt::WindowFlags PanelWindows::windowFlags()
{
    return Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint;
}

void PanelWindows::orderFront(QWidget *panel)
{
    if (panel)
        panel->raise();
}

} // namespace platform
