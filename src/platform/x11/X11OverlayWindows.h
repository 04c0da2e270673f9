#pragma once

#include "platform/OverlayWindows.h"

#include <QPointer>
#include <QWindow>
#include <memory>
#include <xcb/xcb.h>

namespace platform {

// Overlays on X11. Their windows are override-redirect, so the window manager neither decorates
// nor focuses them: the keyboard is grabbed on Qt's own connection (the grab belongs to the
// client that owns the window) and given back when the overlay closes.
class X11OverlayWindows final : public OverlayWindows,
                                public std::enable_shared_from_this<X11OverlayWindows> {
public:
    explicit X11OverlayWindows(xcb_connection_t *qtConnection);

    OverlayPlacement placement(const Display &display) const override;
    void opened(QWindow *window) override;
    void closed(QWindow *window) override;
    // Whether the keyboard is grabbed for one of our overlays.
    bool holdsKeyboard() const { return !m_keyboardWindow.isNull(); }

private:
    // One attempt; on failure another follows shortly while attempts are left.
    void grabKeyboard(QPointer<QWindow> window, int attemptsLeft);
    // A round trip: everything sent before it has been carried out when it returns.
    void sync();

    xcb_connection_t *m_connection;
    // The window our keyboard grab belongs to; only its closing releases the grab.
    QPointer<QWindow> m_keyboardWindow;
};

} // namespace platform
