#include "platform/x11/X11WindowList.h"

#include "platform/x11/Ewmh.h"
#include "platform/x11/X11Displays.h"

#include <unistd.h>

namespace platform {
namespace {

struct ClientRequest {
    xcb_window_t window = XCB_NONE;
    xcb_get_property_cookie_t pid;
    xcb_get_property_cookie_t wmClass;
    xcb_get_property_cookie_t netWmName;
    xcb_get_property_cookie_t wmName;
    xcb_get_property_cookie_t state;
    xcb_get_property_cookie_t desktop;
    xcb_get_property_cookie_t type;
    xcb_get_window_attributes_cookie_t attributes;
    X11GeometryRequest geometry;
};

int layerFor(const QList<quint32> &types, xcb_atom_t desktop, xcb_atom_t dock)
{
    if (types.contains(desktop))
        return desktopWindowLayer;
    if (types.contains(dock))
        return dockWindowLayer;
    return normalWindowLayer;
}

bool onSomeDisplay(const QRect &frame, const QList<Display> &displays)
{
    if (displays.isEmpty())
        return true;
    for (const Display &display : displays) {
        if (display.rootRect.intersects(frame))
            return true;
    }
    return false;
}

} // namespace

X11GeometryRequest requestWindowGeometry(X11Connection &x, xcb_window_t window)
{
    return {xcb_get_geometry(x.get(), window),
            xcb_translate_coordinates(x.get(), window, x.root(), 0, 0),
            x.requestProperty(window, x.atom("_NET_FRAME_EXTENTS"))};
}

std::optional<X11WindowGeometry> takeWindowGeometry(X11Connection &x,
                                                    const X11GeometryRequest &request)
{
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(x.get(), request.geometry, nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> position(
        xcb_translate_coordinates_reply(x.get(), request.position, nullptr));
    const X11Property extents = x.takeProperty(request.extents);
    if (!geometry || !position)
        return std::nullopt;
    // The translated origin lies inside the client's own border; the border belongs to the frame.
    const int border = geometry->border_width;
    X11WindowGeometry result;
    result.client = QRect(position->dst_x, position->dst_y, geometry->width, geometry->height);
    result.frame = frameRect(result.client.adjusted(-border, -border, border, border),
                             frameExtents(extents.values32()));
    return result;
}

X11WindowList::X11WindowList(std::shared_ptr<X11Connection> connection,
                             std::shared_ptr<const DisplaySnapshot> displays)
    : m_connection(std::move(connection)), m_displays(std::move(displays))
{
}

QList<WindowInfo> X11WindowList::windows() const
{
    const QList<Display> displays = m_displays->get();
    X11Connection &x = *m_connection;
    QMutexLocker lock(&x.mutex());
    if (!x.isUsable())
        return {};
    xcb_connection_t *c = x.get();

    const QList<quint32> stacking = x.property(x.root(), "_NET_CLIENT_LIST_STACKING").values32();
    const std::optional<quint32> currentDesktop =
        x.property(x.root(), "_NET_CURRENT_DESKTOP").value32();
    const xcb_atom_t pidAtom = x.atom("_NET_WM_PID");
    const xcb_atom_t netWmNameAtom = x.atom("_NET_WM_NAME");
    const xcb_atom_t stateAtom = x.atom("_NET_WM_STATE");
    const xcb_atom_t desktopAtom = x.atom("_NET_WM_DESKTOP");
    const xcb_atom_t typeAtom = x.atom("_NET_WM_WINDOW_TYPE");
    const xcb_atom_t hiddenAtom = x.atom("_NET_WM_STATE_HIDDEN");
    const xcb_atom_t desktopTypeAtom = x.atom("_NET_WM_WINDOW_TYPE_DESKTOP");
    const xcb_atom_t dockTypeAtom = x.atom("_NET_WM_WINDOW_TYPE_DOCK");
    const xcb_atom_t utf8Atom = x.atom("UTF8_STRING");

    QList<ClientRequest> requests;
    requests.reserve(stacking.size());
    for (const quint32 window : stacking) {
        ClientRequest request;
        request.window = window;
        request.pid = x.requestProperty(window, pidAtom);
        request.wmClass = x.requestProperty(window, XCB_ATOM_WM_CLASS);
        request.netWmName = x.requestProperty(window, netWmNameAtom);
        request.wmName = x.requestProperty(window, XCB_ATOM_WM_NAME);
        request.state = x.requestProperty(window, stateAtom);
        request.desktop = x.requestProperty(window, desktopAtom);
        request.type = x.requestProperty(window, typeAtom);
        request.attributes = xcb_get_window_attributes(c, window);
        request.geometry = requestWindowGeometry(x, window);
        requests.append(request);
    }

    const qint64 ownPid = qint64(getpid());
    QList<EwmhClient> clients;
    for (const ClientRequest &request : requests) {
        const X11Property pid = x.takeProperty(request.pid);
        const X11Property wmClass = x.takeProperty(request.wmClass);
        const X11Property netWmName = x.takeProperty(request.netWmName);
        const X11Property wmName = x.takeProperty(request.wmName);
        const X11Property state = x.takeProperty(request.state);
        const X11Property desktop = x.takeProperty(request.desktop);
        const X11Property type = x.takeProperty(request.type);
        XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, request.attributes, nullptr));
        const std::optional<X11WindowGeometry> geometry = takeWindowGeometry(x, request.geometry);
        if (!attributes || !geometry)
            continue; // destroyed while we asked

        EwmhClient client;
        client.hidden = state.values32().contains(hiddenAtom);
        client.desktop = desktop.value32();
        WindowInfo &info = client.info;
        info.id = request.window;
        if (const std::optional<quint32> value = pid.value32())
            info.pid = qint64(*value);
        info.ownProcess = info.pid == ownPid;
        const WmClass parsedClass = parseWmClass(wmClass.data);
        info.applicationId = parsedClass.instance;
        info.applicationName = parsedClass.className;
        info.title = windowTitle(netWmName.data, wmName.data, wmName.type == utf8Atom);
        info.captureFrame = rootToCapture(QRectF(geometry->frame), displays);
        info.screenFrame = rootToScreen(QRectF(geometry->frame), displays);
        info.isOnScreen = attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                          onSomeDisplay(geometry->frame, displays);
        info.layer = layerFor(type.values32(), desktopTypeAtom, dockTypeAtom);
        clients.append(client);
    }
    x.drainEvents();
    return visibleTopmostFirst(clients, currentDesktop);
}

std::optional<WindowId> X11WindowList::activeWindow() const
{
    X11Connection &x = *m_connection;
    QMutexLocker lock(&x.mutex());
    if (!x.isUsable())
        return std::nullopt;
    const std::optional<quint32> active = x.property(x.root(), "_NET_ACTIVE_WINDOW").value32();
    if (!active || *active == XCB_NONE)
        return std::nullopt;
    return WindowId(*active);
}

} // namespace platform
