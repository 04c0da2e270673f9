#pragma once

class QWidget;

namespace platform {

// The window a dialog or alert belongs to: the one given, else the one that has the keyboard
// (a click on Save or Ctrl+S happened in it); nothing when no window of ours has it.
QWidget *askingWindow(QWidget *given);

// Keeps a dialog made with `parent` above it while it is open: transient for it as every dialog
// is, in the same layer when the parent stays on top of normal windows (the preview), and with a
// panel the window manager does not stack (the pin deck, the tray) put below the dialog each
// time the dialog becomes active. Call before the dialog is shown.
void keepAboveParent(QWidget *dialog, QWidget *parent);

} // namespace platform
