#pragma once

#include "platform/Displays.h"

#include <QRect>
#include <memory>

class QScreen;
class QWindow;

namespace platform {

// Where an overlay covering one display goes: Qt's screen for it (nothing when Qt does not list
// the display) and the rectangle in Qt's global coordinates.
struct OverlayPlacement {
    QScreen *screen = nullptr;
    QRect geometry;
};

// Turns top-level windows into full-screen overlays that sit above everything else, receive the
// keyboard while they are open and are off the screen again before anything is captured.
//
// The window gives itself windowFlags() before it is first shown, is placed with placement() and
// shown by its owner; opened() and closed() then do what Qt alone cannot.
class OverlayWindows {
public:
    virtual ~OverlayWindows() = default;

    // Undecorated, left alone by the window manager (override-redirect on X11), above normal
    // windows and out of the task list.
    static Qt::WindowFlags windowFlags()
    {
        return Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
               Qt::Tool;
    }

    virtual OverlayPlacement placement(const Display &display) const = 0;
    // The window was just shown: raise it above every other window and take the keyboard, so that
    // keys reach it although the window manager never focuses it. Taking the keyboard is retried
    // briefly, since the server may not have mapped the window yet.
    virtual void opened(QWindow *window) = 0;
    // The window was just hidden: give the keyboard back and wait until the server has unmapped
    // it, so that a screenshot taken next cannot contain it.
    virtual void closed(QWindow *window) = 0;
};

// Where Qt shows a display: its screen of the same name, else the display's own frame.
OverlayPlacement qtScreenPlacement(const Display &display);

} // namespace platform
