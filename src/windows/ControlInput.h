#pragma once

class QWidget;

// How the controls of our windows take the keyboard and the mouse wheel, in one place for every
// page: each control is reached with Tab and draws a focus ring while the keyboard has put the
// focus on it; a slider,
// picker or spin box takes the wheel only once the user has clicked it (or tabbed to it), so
// that the wheel over an untouched control scrolls the page around it.
namespace ControlInput {
// Applies the rules to `root` and every control under it now; call it again for controls made
// later (a popup built on demand).
void install(QWidget *root);
// Whether the control changes its value with the wheel.
bool takesWheel(const QWidget *widget);
} // namespace ControlInput
