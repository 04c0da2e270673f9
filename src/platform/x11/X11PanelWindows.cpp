#include "platform/x11/X11PanelWindows.h"

#include "platform/qt/DialogStacking.h"
#include "platform/qt/QtPanelWindows.h"
#include "platform/x11/Ewmh.h"
#include "platform/x11/X11Connection.h"

#include <QEvent>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QWidget>
#include <QWindow>
#include <xcb/shape.h>

namespace platform {
namespace {

QList<xcb_rectangle_t> devicePixelRectangles(const QRegion &region, double ratio)
{
    QList<xcb_rectangle_t> rectangles;
    for (const QRect &rect : region) {
        const QRect device = QRectF(QPointF(rect.topLeft()) * ratio, QSizeF(rect.size()) * ratio)
                                 .toAlignedRect()
                                 .intersected(QRect(-0x8000, -0x8000, 0xffff, 0xffff));
        if (device.isEmpty())
            continue;
        rectangles.append({qint16(device.x()), qint16(device.y()), quint16(device.width()),
                           quint16(device.height())});
    }
    return rectangles;
}

// Takes what the server queued on the connection; whether it told of a change to the root's work
// area or current desktop.
bool rootHintsChanged(X11Connection &connection)
{
    bool changed = false;
    while (xcb_generic_event_t *event = xcb_poll_for_event(connection.get())) {
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const xcb_atom_t atom = reinterpret_cast<xcb_property_notify_event_t *>(event)->atom;
            changed = changed || atom == connection.atom("_NET_WORKAREA") ||
                      atom == connection.atom("_NET_CURRENT_DESKTOP");
        }
        std::free(event);
    }
    return changed;
}

} // namespace

QRectF rootRectToScreen(const QRect &root, const Display &display)
{
    const double scale = display.scale > 0 ? display.scale : 1.0;
    const QPointF offset = QPointF(root.topLeft() - display.rootRect.topLeft()) / scale;
    const QSizeF size = QSizeF(root.size()) / scale;
    // Screen coordinates grow upwards from the display's bottom edge.
    return QRectF(display.screenFrame.x() + offset.x(),
                  display.screenFrame.y() + display.screenFrame.height() - offset.y() -
                      size.height(),
                  size.width(), size.height());
}

std::optional<QRectF> visibleFrameFromWorkArea(const QList<quint32> &workArea,
                                               std::optional<quint32> currentDesktop,
                                               const Display &display)
{
    const qsizetype first = qsizetype(currentDesktop.value_or(0)) * 4;
    if (first < 0 || first + 4 > workArea.size())
        return std::nullopt;
    // Root coordinates are 16-bit on the wire; larger values are a broken hint.
    auto coordinate = [](quint32 value) { return int(std::min<quint32>(value, 0x7fff)); };
    const QRect area(coordinate(workArea[first]), coordinate(workArea[first + 1]),
                     coordinate(workArea[first + 2]), coordinate(workArea[first + 3]));
    const QRect free = area.intersected(display.rootRect);
    if (free.isEmpty())
        return std::nullopt;
    return rootRectToScreen(free, display);
}

X11PanelWindows::X11PanelWindows(xcb_connection_t *qtConnection, QObject *parent)
    : QObject(parent), m_connection(qtConnection)
{
}

X11PanelWindows::~X11PanelWindows() = default;

X11PanelWindows::Panel &X11PanelWindows::panelFor(QWidget *widget)
{
    auto found = m_panels.find(widget);
    if (found != m_panels.end())
        return found.value();
    widget->installEventFilter(this);
    connect(widget, &QObject::destroyed, this, [this, widget] { m_panels.remove(widget); });
    return m_panels.insert(widget, Panel{widget, std::nullopt, std::nullopt}).value();
}

void X11PanelWindows::prepare(QWidget *panel, PanelLevel level)
{
    if (!panel)
        return;
    QtPanelWindows::setPanelAttributes(panel);
    panelFor(panel).level = level;
    if (!panel->internalWinId())
        return;
    leaveWithoutCompositorShadow(panel);
    if (panel->isVisible())
        restack(panel, level);
}

void X11PanelWindows::showOnEveryWorkspace(QWidget *window)
{
    if (!window)
        return;
    // Read by the window manager when the window is mapped: a window on "all desktops".
    setCardinal(xcb_window_t(window->winId()), "_NET_WM_DESKTOP", allDesktops);
}

void X11PanelWindows::leaveWithoutCompositorShadow(QWidget *panel)
{
    // A compositor that draws shadows (picom) draws one for the panel's whole rectangle: a dark
    // frame around the transparent parts where the panel draws nothing. The panel draws its own
    // shadows. picom leaves out the shadow of a window whose _COMPTON_SHADOW is 0; window
    // managers do not read it.
    setCardinal(xcb_window_t(panel->internalWinId()), "_COMPTON_SHADOW", 0);
}

void X11PanelWindows::setCardinal(xcb_window_t window, const QByteArray &name, quint32 value)
{
    if (!m_connection || window == XCB_NONE)
        return;
    xcb_atom_t &atom = m_atoms[name];
    if (atom == XCB_NONE) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            m_connection, xcb_intern_atom(m_connection, 0, quint16(name.size()), name.constData()),
            nullptr);
        if (!reply)
            return;
        atom = reply->atom;
        free(reply);
    }
    xcb_change_property(m_connection, XCB_PROP_MODE_REPLACE, window, atom, XCB_ATOM_CARDINAL, 32, 1,
                        &value);
    xcb_flush(m_connection);
}

void X11PanelWindows::setInputRegion(QWidget *panel, const QRegion &region)
{
    if (!panel)
        return;
    panelFor(panel).inputRegion = region;
    if (panel->internalWinId())
        applyInputRegion(panel, region);
}

void X11PanelWindows::keepAboveFloatingPanels(QWidget *window)
{
    if (!window || m_keptAbove.contains(window))
        return;
    m_keptAbove.append(window);
    window->installEventFilter(this);
    connect(window, &QObject::destroyed, this, [this] {
        m_keptAbove.removeAll(nullptr);
        restackFloatingPanels();
    });
}

void X11PanelWindows::orderFront(QWidget *panel)
{
    if (!panel)
        return;
    const auto found = m_panels.constFind(panel);
    if (found == m_panels.constEnd() || !found->level || !panel->internalWinId())
        panel->raise();
    else
        restack(panel, *found->level);
}

bool X11PanelWindows::isKeptAbove(const QObject *object) const
{
    for (const QPointer<QWidget> &window : m_keptAbove) {
        if (window && (object == window || object == window->windowHandle()))
            return true;
    }
    return false;
}

bool X11PanelWindows::eventFilter(QObject *watched, QEvent *event)
{
    if (isKeptAbove(watched)) {
        switch (event->type()) {
        case QEvent::Show:
            // Exposed once the window manager has framed and mapped it.
            if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->windowHandle())
                widget->windowHandle()->installEventFilter(this);
            break;
        // The window manager may restack the window when it is activated.
        case QEvent::Expose:
        case QEvent::WindowActivate:
        case QEvent::Hide:
            restackFloatingPanels();
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }
    switch (event->type()) {
    // Show comes before Qt maps the window, WinIdChange after a new native window replaced the
    // old one (which took the shape with it), ScreenChangeInternal when the device pixels behind
    // the region may have changed.
    case QEvent::Show:
    case QEvent::WinIdChange:
    case QEvent::ScreenChangeInternal: {
        auto *widget = qobject_cast<QWidget *>(watched);
        const auto found = m_panels.constFind(widget);
        if (!widget || found == m_panels.constEnd() || !widget->internalWinId())
            break;
        if (found->level && event->type() != QEvent::ScreenChangeInternal)
            leaveWithoutCompositorShadow(widget);
        if (found->level && event->type() == QEvent::Show)
            restack(widget, *found->level);
        if (found->inputRegion)
            applyInputRegion(widget, *found->inputRegion);
        break;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void X11PanelWindows::restackFloatingPanels()
{
    for (const Panel &panel : std::as_const(m_panels)) {
        if (panel.widget && panel.level == PanelLevel::floating && panel.widget->isVisible() &&
            panel.widget->internalWinId())
            restack(panel.widget, PanelLevel::floating);
    }
}

xcb_window_t X11PanelWindows::lowestKeptAboveFrame()
{
    QList<xcb_window_t> frames;
    for (const QPointer<QWidget> &window : std::as_const(m_keptAbove)) {
        if (!window || !window->isVisible() || !window->internalWinId())
            continue;
        const xcb_window_t frame =
            topLevelFrame(m_connection, xcb_window_t(window->internalWinId()));
        if (frame != XCB_NONE)
            frames.append(frame);
    }
    if (frames.size() < 2)
        return frames.value(0, XCB_NONE);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, root), nullptr);
    if (!tree)
        return frames.first();
    xcb_window_t lowest = frames.first();
    const xcb_window_t *children = xcb_query_tree_children(tree);
    // Bottom first.
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        if (frames.contains(children[i])) {
            lowest = children[i];
            break;
        }
    }
    free(tree);
    return lowest;
}

void X11PanelWindows::restack(QWidget *widget, PanelLevel level)
{
    const auto window = xcb_window_t(widget->internalWinId());
    // A floating panel goes as high as it can below the topmost ones, and below the windows of
    // its level that were ordered front after it.
    xcb_window_t sibling = level == PanelLevel::floating ? lowestKeptAboveFrame() : XCB_NONE;
    if (level == PanelLevel::floating && sibling == XCB_NONE) {
        for (const Panel &panel : std::as_const(m_panels)) {
            if (panel.widget && panel.widget != widget && panel.level == PanelLevel::topmost &&
                panel.widget->isVisible() && panel.widget->internalWinId()) {
                sibling = xcb_window_t(panel.widget->internalWinId());
                break;
            }
        }
    }
    if (sibling != XCB_NONE) {
        const uint32_t values[] = {sibling, XCB_STACK_MODE_BELOW};
        xcb_configure_window(m_connection, window,
                             XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    } else {
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(m_connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    }
    xcb_flush(m_connection);
}

void X11PanelWindows::applyInputRegion(QWidget *widget, const QRegion &region)
{
    const auto window = xcb_window_t(widget->internalWinId());
    const QList<xcb_rectangle_t> rectangles =
        devicePixelRectangles(region, widget->devicePixelRatioF());
    xcb_shape_rectangles(m_connection, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                         XCB_CLIP_ORDERING_UNSORTED, window, 0, 0, uint32_t(rectangles.size()),
                         rectangles.constData());
    xcb_flush(m_connection);
}

std::optional<QRectF> X11PanelWindows::visibleFrame(const Display &display) const
{
    const bool fresh = !m_rootConnection;
    if (fresh)
        m_rootConnection = std::make_unique<X11Connection>();
    X11Connection &connection = *m_rootConnection;
    QMutexLocker lock(&connection.mutex());
    if (!connection.isUsable())
        return std::nullopt;
    // Every layout of the tray asks, dozens of times a capture; each read waited for the X
    // server, which a busy machine keeps from running for tens of milliseconds. Told of changes
    // instead, selected before the first read so that none is missed.
    if (fresh) {
        const uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection.get(), connection.root(), XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection.get());
        // Taken as they come, so that the root's changes of a long session do not pile up
        // unread between layouts.
        m_rootEvents = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(connection.get()),
                                                         QSocketNotifier::Read);
        connect(m_rootEvents.get(), &QSocketNotifier::activated, this, [this] {
            QMutexLocker eventsLock(&m_rootConnection->mutex());
            // A broken connection's socket stays readable: it would wake us for ever.
            if (!m_rootConnection->isUsable())
                m_rootEvents->setEnabled(false);
            takeRootEvents(*m_rootConnection);
        });
    }
    takeRootEvents(connection);
    if (!m_rootHints) {
        const X11Property workArea = connection.property(connection.root(), "_NET_WORKAREA");
        const X11Property desktop = connection.property(connection.root(), "_NET_CURRENT_DESKTOP");
        m_rootHints = RootHints{workArea.values32(), desktop.value32()};
        // Events that came with the replies were read off the socket, and would wake no one.
        const RootHints read = *m_rootHints;
        takeRootEvents(connection);
        return visibleFrameFromWorkArea(read.workArea, read.desktop, display);
    }
    return visibleFrameFromWorkArea(m_rootHints->workArea, m_rootHints->desktop, display);
}

void X11PanelWindows::takeRootEvents(X11Connection &connection) const
{
    if (rootHintsChanged(connection))
        m_rootHints.reset();
}

} // namespace platform
