#include "platform/x11/X11Connection.h"
#include "platform/Log.h"

#include <cstring>

namespace platform {

namespace {

// Long enough for any title or list of windows we read, short enough to bound a hostile client.
constexpr uint32_t maxPropertyLongs = 1 << 16;

} // namespace

QList<quint32> X11Property::values32() const
{
    QList<quint32> values;
    if (format != 32)
        return values;
    const qsizetype count = data.size() / qsizetype(sizeof(quint32));
    // An empty list has no storage to copy into.
    if (count == 0)
        return values;
    values.resize(count);
    std::memcpy(values.data(), data.constData(), size_t(count) * sizeof(quint32));
    return values;
}

std::optional<quint32> X11Property::value32() const
{
    const QList<quint32> values = values32();
    if (values.isEmpty())
        return std::nullopt;
    return values.first();
}

X11Connection::X11Connection()
{
    m_connection = xcb_connect(nullptr, &m_screenNumber);
    if (xcb_connection_has_error(m_connection)) {
        qCWarning(Log::capture, "Cannot open a connection to the X server");
        return;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_connection));
    for (int i = 0; it.rem && i < m_screenNumber; ++i)
        xcb_screen_next(&it);
    if (it.rem) {
        m_screen = it.data;
        m_root = m_screen->root;
    }
}

X11Connection::~X11Connection()
{
    if (m_connection)
        xcb_disconnect(m_connection);
}

bool X11Connection::isUsable() const
{
    return m_connection && m_screen && !xcb_connection_has_error(m_connection);
}

xcb_atom_t X11Connection::atom(const QByteArray &name)
{
    if (const auto found = m_atoms.constFind(name); found != m_atoms.constEnd())
        return found.value();
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        m_connection, xcb_intern_atom(m_connection, 0, uint16_t(name.size()), name.constData()),
        nullptr));
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    if (atom != XCB_ATOM_NONE)
        m_atoms.insert(name, atom);
    return atom;
}

xcb_get_property_cookie_t X11Connection::requestProperty(xcb_window_t window, xcb_atom_t property)
{
    return xcb_get_property(m_connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0,
                            maxPropertyLongs);
}

X11Property X11Connection::takeProperty(xcb_get_property_cookie_t cookie)
{
    X11Property result;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(m_connection, cookie, nullptr));
    if (!reply || reply->type == XCB_NONE)
        return result;
    result.type = reply->type;
    result.format = reply->format;
    result.data = QByteArray(static_cast<const char *>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
    return result;
}

X11Property X11Connection::property(xcb_window_t window, const QByteArray &name)
{
    return takeProperty(requestProperty(window, atom(name)));
}

bool X11Connection::compositorRunning()
{
    const xcb_atom_t selection = atom("_NET_WM_CM_S" + QByteArray::number(m_screenNumber));
    if (selection == XCB_ATOM_NONE)
        return false;
    XcbReply<xcb_get_selection_owner_reply_t> reply(xcb_get_selection_owner_reply(
        m_connection, xcb_get_selection_owner(m_connection, selection), nullptr));
    return reply && reply->owner != XCB_NONE;
}

void X11Connection::drainEvents()
{
    while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
        if (event->response_type == 0) {
            const auto *error = reinterpret_cast<const xcb_generic_error_t *>(event);
            qCDebug(Log::capture, "X request failed: error %d, request %d.%d", error->error_code,
                    error->major_code, error->minor_code);
        }
        std::free(event);
    }
}

} // namespace platform
