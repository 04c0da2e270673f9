#include "platform/x11/X11Compositor.h"

#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QMutexLocker>
#include <xcb/xfixes.h>

namespace platform {

X11Compositor::X11Compositor(std::shared_ptr<X11Connection> connection, QObject *parent)
    : Compositor(parent), m_connection(std::move(connection))
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *qtConnection = x11 ? x11->connection() : nullptr;
    if (!qtConnection || xcb_connection_has_error(qtConnection))
        return;
    xcb_window_t root = XCB_NONE;
    {
        QMutexLocker lock(&m_connection->mutex());
        if (!m_connection->isUsable())
            return;
        m_selection =
            m_connection->atom("_NET_WM_CM_S" + QByteArray::number(m_connection->screenNumber()));
        root = m_connection->root();
    }
    const xcb_query_extension_reply_t *xfixes =
        xcb_get_extension_data(qtConnection, &xcb_xfixes_id);
    if (m_selection == XCB_NONE || !xfixes || !xfixes->present)
        return;
    XcbReply<xcb_xfixes_query_version_reply_t> version(xcb_xfixes_query_version_reply(
        qtConnection, xcb_xfixes_query_version(qtConnection, 1, 0), nullptr));
    if (!version)
        return;
    // The same selection and events Qt asks for itself, so that asking again changes nothing
    // for Qt.
    xcb_xfixes_select_selection_input(qtConnection, root, m_selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    m_selectionNotifyEvent = quint8(xfixes->first_event + XCB_XFIXES_SELECTION_NOTIFY);
    qApp->installNativeEventFilter(this);
    // Read once, on the connection that asked for the events: the server answers after it has
    // taken the request for them, so a change is either in the answer or comes as an event. From
    // then on the events tell, and asking costs no wait for the server.
    XcbReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        qtConnection, xcb_get_selection_owner(qtConnection, m_selection), nullptr));
    m_compositing = owner && owner->owner != XCB_NONE;
}

X11Compositor::~X11Compositor()
{
    if (m_selectionNotifyEvent != 0 && qApp)
        qApp->removeNativeEventFilter(this);
}

bool X11Compositor::isCompositing() const
{
    if (m_selectionNotifyEvent != 0)
        return m_compositing;
    QMutexLocker lock(&m_connection->mutex());
    return m_connection->isUsable() && m_connection->compositorRunning();
}

bool X11Compositor::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    if ((event->response_type & 0x7f) != m_selectionNotifyEvent)
        return false;
    const auto *notify = static_cast<const xcb_xfixes_selection_notify_event_t *>(message);
    if (notify->selection != m_selection)
        return false;
    m_compositing = notify->owner != XCB_NONE;
    // Queued: windows that follow are reshaped outside Qt's event dispatch.
    QMetaObject::invokeMethod(
        this, [this] { emit compositingChanged(); }, Qt::QueuedConnection);
    return false;
}

} // namespace platform
