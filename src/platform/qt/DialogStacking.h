#pragma once

#include <xcb/xcb.h>

class QWidget;

namespace platform {

// The window a dialog or alert belongs to: the one given, else the one that has the keyboard
// (a click on Save or Ctrl+S happened in it); nothing when no window of ours has it.
QWidget *askingWindow(QWidget *given);

// The child of the root window that holds `window`: the window manager's frame around it, or the
// window itself when it is unmanaged or not framed yet; none when it is gone.
xcb_window_t topLevelFrame(xcb_connection_t *connection, xcb_window_t window);

// Keeps a dialog made with `parent` above it while it is open: transient for it as every dialog
// is, in the same layer when the parent stays on top of normal windows (the preview), and with a
// panel the window manager does not stack (the pin deck, the tray) put below the dialog each
// time the dialog becomes active. Call before the dialog is shown.
void keepAboveParent(QWidget *dialog, QWidget *parent);

} // namespace platform
