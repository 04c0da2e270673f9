#include "platform/x11/X11PointerMonitor.h"

#include "platform/Log.h"
#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QScreen>
#include <QSet>
#include <QTimer>
#include <QWindow>
#include <xcb/xinput.h>

namespace platform {
namespace {

// A wheel notch scrolls this many points.
constexpr double pointsPerNotch = 10.0;
// Window manager frames and toolkit wrappers nest a client a few levels below the root.
constexpr int maxWindowDepth = 8;

// Qt keeps each screen's origin and divides the pixels inside it by the screen's ratio.
QPoint qtGlobalPosition(QPoint root)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        const QRect logical = screen->geometry();
        const double ratio = screen->devicePixelRatio();
        const QRect native(logical.topLeft(), (QSizeF(logical.size()) * ratio).toSize());
        if (native.contains(root))
            return logical.topLeft() + ((root - logical.topLeft()).toPointF() / ratio).toPoint();
    }
    return root;
}

QSet<xcb_window_t> ownWindowIds()
{
    QSet<xcb_window_t> ids;
    for (QWindow *window : QGuiApplication::allWindows()) {
        // winId() would create a native window for one that has none yet.
        if (window->handle())
            ids.insert(xcb_window_t(window->winId()));
    }
    return ids;
}

} // namespace

std::optional<QPointF> wheelButtonDelta(quint32 button)
{
    switch (button) {
    case 4:
        return QPointF(0, pointsPerNotch);
    case 5:
        return QPointF(0, -pointsPerNotch);
    case 6:
        return QPointF(-pointsPerNotch, 0);
    case 7:
        return QPointF(pointsPerNotch, 0);
    default:
        return std::nullopt;
    }
}

Qt::MouseButton qtButton(quint32 button)
{
    switch (button) {
    case 1:
        return Qt::LeftButton;
    case 2:
        return Qt::MiddleButton;
    case 3:
        return Qt::RightButton;
    case 8:
        return Qt::BackButton;
    case 9:
        return Qt::ForwardButton;
    default:
        return Qt::NoButton;
    }
}

Qt::MouseButtons qtButtons(quint16 stateMask)
{
    Qt::MouseButtons buttons;
    if (stateMask & XCB_BUTTON_MASK_1)
        buttons |= Qt::LeftButton;
    if (stateMask & XCB_BUTTON_MASK_2)
        buttons |= Qt::MiddleButton;
    if (stateMask & XCB_BUTTON_MASK_3)
        buttons |= Qt::RightButton;
    return buttons;
}

X11PointerMonitor::X11PointerMonitor(QObject *parent) : PointerMonitor(parent) {}

X11PointerMonitor::~X11PointerMonitor() = default;

bool X11PointerMonitor::start()
{
    if (isRunning())
        return true;
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    auto connection = std::make_unique<X11Connection>();
    if (!connection->isUsable())
        return false;
    xcb_connection_t *c = connection->get();
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_input_id);
    if (!extension || !extension->present) {
        qCWarning(Log::general, "The X server has no input extension; the pointer is not watched");
        return false;
    }
    // Raw events reach a root selection during other clients' grabs from version 2.1 on.
    XcbReply<xcb_input_xi_query_version_reply_t> version(
        xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
    if (!version || version->major_version < 2 ||
        (version->major_version == 2 && version->minor_version < 1)) {
        qCWarning(Log::general,
                  "The X input extension is older than 2.1; the pointer is not watched");
        return false;
    }

    struct {
        xcb_input_event_mask_t head;
        uint32_t mask;
    } selection = {{XCB_INPUT_DEVICE_ALL_MASTER, 1},
                   XCB_INPUT_XI_EVENT_MASK_RAW_MOTION | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS |
                       XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE};
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        c, xcb_input_xi_select_events_checked(c, connection->root(), 1, &selection.head)));
    if (error) {
        qCWarning(Log::general, "Selecting raw pointer events failed (error %d)",
                  error->error_code);
        return false;
    }

    m_inputOpcode = extension->major_opcode;
    m_connection = std::move(connection);
    m_notifier =
        std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &X11PointerMonitor::readEvents);
    m_movePending = false;
    m_extraButtons = {};
    // A pointer at rest is no move, however long ago the monitor last looked: where it rests now
    // is where moves are measured from.
    m_lastMove = queryPointer();
    // Events may already wait in the queue, where the notifier would never see them.
    QTimer::singleShot(0, this, &X11PointerMonitor::readEvents);
    return true;
}

void X11PointerMonitor::stop()
{
    // Closing the connection ends the selection with it.
    m_notifier.reset();
    m_connection.reset();
    m_movePending = false;
}

bool X11PointerMonitor::isRunning() const
{
    return m_connection != nullptr;
}

void X11PointerMonitor::checkPosition()
{
    if (!m_connection)
        return;
    // Handled as one more raw move: events already queued go first, and a pointer where the last
    // move left it reports nothing.
    m_movePending = true;
    readEvents();
}

bool X11PointerMonitor::checkConnection()
{
    if (m_connection && m_connection->isUsable())
        return true;
    if (m_connection) {
        qCWarning(Log::general, "The connection for watching the pointer broke; watching stops");
        stop();
    }
    return false;
}

void X11PointerMonitor::readEvents()
{
    m_drainScheduled = false;
    m_queried = false;
    if (!checkConnection())
        return;
    xcb_connection_t *c = m_connection->get();
    while (xcb_generic_event_t *event = xcb_poll_for_event(c)) {
        XcbReply<xcb_generic_event_t> owned(event);
        if ((event->response_type & 0x7f) != XCB_GE_GENERIC)
            continue;
        const auto *generic = reinterpret_cast<const xcb_ge_generic_event_t *>(event);
        if (generic->extension != m_inputOpcode)
            continue;
        const auto *raw = reinterpret_cast<const xcb_input_raw_button_press_event_t *>(event);
        handleRawEvent(generic->event_type, raw->detail);
        // A handler may stop the monitor from a connected slot.
        if (!m_connection)
            return;
    }
    if (m_movePending)
        emitMove();
    // The pointer query read further events into the queue, where the notifier cannot see
    // them; they wait for the next pass of the event loop.
    if (m_connection && m_queried && !m_drainScheduled) {
        m_drainScheduled = true;
        QTimer::singleShot(0, this, &X11PointerMonitor::readEvents);
    }
}

void X11PointerMonitor::handleRawEvent(quint16 eventType, quint32 detail)
{
    if (eventType == XCB_INPUT_RAW_MOTION) {
        m_movePending = true;
        return;
    }
    if (eventType != XCB_INPUT_RAW_BUTTON_PRESS && eventType != XCB_INPUT_RAW_BUTTON_RELEASE)
        return;
    const bool pressed = eventType == XCB_INPUT_RAW_BUTTON_PRESS;
    const std::optional<QPointF> wheel = wheelButtonDelta(detail);
    // A wheel notch is a press and a release; the press alone counts.
    if (wheel && !pressed)
        return;
    // A move before the button stays before it.
    if (m_movePending)
        emitMove();
    if (!m_connection)
        return;
    const Qt::MouseButton button = wheel ? Qt::NoButton : qtButton(detail);
    if (button == Qt::BackButton || button == Qt::ForwardButton)
        m_extraButtons.setFlag(button, pressed);
    std::optional<PointerState> state = queryPointer();
    if (!state)
        return;

    PointerEvent event;
    event.globalPosition = state->globalPosition;
    event.overOwnWindow = state->overOwnWindow;
    event.buttons = state->buttons;
    if (wheel) {
        event.kind = PointerEvent::Kind::scrolled;
        event.scrollDelta = *wheel;
    } else {
        event.kind =
            pressed ? PointerEvent::Kind::buttonPressed : PointerEvent::Kind::buttonReleased;
        event.button = button;
        // The query may be answered before the server counted the button.
        if (button != Qt::NoButton)
            event.buttons.setFlag(button, pressed);
    }
    emit pointerEvent(event);
}

void X11PointerMonitor::emitMove()
{
    m_movePending = false;
    std::optional<PointerState> state = queryPointer();
    if (!state)
        return;
    // A device may report motion the pointer cannot follow (at a screen edge).
    if (m_lastMove && m_lastMove->globalPosition == state->globalPosition &&
        m_lastMove->buttons == state->buttons && m_lastMove->overOwnWindow == state->overOwnWindow)
        return;
    m_lastMove = state;
    PointerEvent event;
    event.kind = PointerEvent::Kind::moved;
    event.globalPosition = state->globalPosition;
    event.buttons = state->buttons;
    event.overOwnWindow = state->overOwnWindow;
    emit pointerEvent(event);
}

std::optional<X11PointerMonitor::PointerState> X11PointerMonitor::queryPointer()
{
    if (!checkConnection())
        return std::nullopt;
    xcb_connection_t *c = m_connection->get();
    m_queried = true;
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root()), nullptr));
    if (!reply) {
        checkConnection();
        return std::nullopt;
    }
    PointerState state;
    state.globalPosition = qtGlobalPosition(QPoint(reply->root_x, reply->root_y));
    state.buttons = qtButtons(reply->mask) | m_extraButtons;
    // On another screen of the server the pointer is over no window of ours.
    state.overOwnWindow = reply->same_screen && isOwnWindowChain(reply->child);
    return state;
}

bool X11PointerMonitor::isOwnWindowChain(xcb_window_t topLevel)
{
    if (topLevel == XCB_NONE)
        return false;
    const QSet<xcb_window_t> own = ownWindowIds();
    if (own.isEmpty())
        return false;
    // The top-level under the pointer is a window manager frame for managed windows; our client
    // window is somewhere below it.
    xcb_connection_t *c = m_connection->get();
    xcb_window_t window = topLevel;
    for (int depth = 0; depth < maxWindowDepth && window != XCB_NONE; ++depth) {
        if (own.contains(window))
            return true;
        XcbReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(c, xcb_query_pointer(c, window), nullptr));
        if (!reply)
            return false;
        window = reply->child;
    }
    return false;
}

} // namespace platform
