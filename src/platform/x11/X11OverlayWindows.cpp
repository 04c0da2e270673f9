#include "platform/x11/X11OverlayWindows.h"

#include "platform/Log.h"
#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace platform {
namespace {

// A hot key that opened the overlay may still hold the keyboard until it is released.
constexpr int keyboardGrabAttempts = 25;
constexpr int keyboardGrabRetryMs = 20;

} // namespace

X11OverlayWindows::X11OverlayWindows(xcb_connection_t *qtConnection) : m_connection(qtConnection) {}

OverlayPlacement X11OverlayWindows::placement(const Display &display) const
{
    return qtScreenPlacement(display);
}

void X11OverlayWindows::opened(QWindow *window)
{
    window->raise();
    // For a window the window manager leaves alone Qt sets the input focus itself.
    window->requestActivate();
    grabKeyboard(window, keyboardGrabAttempts);
}

void X11OverlayWindows::grabKeyboard(QPointer<QWindow> window, int attemptsLeft)
{
    if (!window || !window->isVisible())
        return;
    XcbReply<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
        m_connection,
        xcb_grab_keyboard(m_connection, false, xcb_window_t(window->winId()), XCB_CURRENT_TIME,
                          XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr));
    if (reply && reply->status == XCB_GRAB_STATUS_SUCCESS) {
        m_keyboardWindow = window;
        return;
    }
    if (attemptsLeft <= 1) {
        qCWarning(Log::capture, "Overlay could not take the keyboard (grab status %d)",
                  reply ? int(reply->status) : -1);
        return;
    }
    QTimer::singleShot(keyboardGrabRetryMs, window,
                       [self = weak_from_this(), window, attemptsLeft] {
                           if (auto overlays = self.lock())
                               overlays->grabKeyboard(window, attemptsLeft - 1);
                       });
}

void X11OverlayWindows::closed(QWindow *window)
{
    // A grab ends by itself when its window is unmapped; releasing it explicitly only for the
    // window that holds it keeps a newer overlay's grab intact.
    if (m_keyboardWindow == window) {
        xcb_ungrab_keyboard(m_connection, XCB_CURRENT_TIME);
        m_keyboardWindow = nullptr;
    }
    sync();
}

void X11OverlayWindows::sync()
{
    XcbReply<xcb_get_input_focus_reply_t> reply(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
}

} // namespace platform
