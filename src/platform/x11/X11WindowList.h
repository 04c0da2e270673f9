#pragma once

#include "platform/WindowList.h"
#include "platform/x11/X11Connection.h"

#include <QRect>
#include <memory>

namespace platform {

class DisplaySnapshot;

// Where a client window sits, in root pixels.
struct X11WindowGeometry {
    QRect client;
    QRect frame; // the client with the window manager's decorations
};

// Asked for together so that many windows cost one round trip.
struct X11GeometryRequest {
    xcb_get_geometry_cookie_t geometry;
    xcb_translate_coordinates_cookie_t position;
    xcb_get_property_cookie_t extents;
};
X11GeometryRequest requestWindowGeometry(X11Connection &x, xcb_window_t window);
// Nothing when the window is gone.
std::optional<X11WindowGeometry> takeWindowGeometry(X11Connection &x,
                                                    const X11GeometryRequest &request);

// The client list of an EWMH window manager.
class X11WindowList final : public WindowList {
public:
    X11WindowList(std::shared_ptr<X11Connection> connection,
                  std::shared_ptr<const DisplaySnapshot> displays);

    QList<WindowInfo> windows() const override;
    std::optional<WindowId> activeWindow() const override;

private:
    std::shared_ptr<X11Connection> m_connection;
    std::shared_ptr<const DisplaySnapshot> m_displays;
};

} // namespace platform
