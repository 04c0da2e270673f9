#include "platform/qt/DialogStacking.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <xcb/xcb.h>

namespace platform {

namespace {

// Puts an unmanaged panel right below the dialog's frame.
void stackBelow(QWidget *panel, QWidget *dialog)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection() || !panel->internalWinId() || !dialog->internalWinId())
        return;
    xcb_connection_t *connection = x11->connection();
    const xcb_window_t frame = topLevelFrame(connection, xcb_window_t(dialog->internalWinId()));
    if (frame == XCB_NONE)
        return;
    const uint32_t values[] = {frame, XCB_STACK_MODE_BELOW};
    xcb_configure_window(connection, xcb_window_t(panel->internalWinId()),
                         XCB_CONFIG_WINDOW_SIBLING | XCB_CONFIG_WINDOW_STACK_MODE, values);
    xcb_flush(connection);
}

class UnmanagedParentWatcher final : public QObject {
public:
    UnmanagedParentWatcher(QWidget *dialog, QWidget *panel) : QObject(dialog), m_panel(panel)
    {
        dialog->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // Active means mapped and framed by the window manager, and above its other windows.
        if (event->type() == QEvent::WindowActivate && m_panel && m_panel->isVisible())
            stackBelow(m_panel, static_cast<QWidget *>(watched));
        return false;
    }

private:
    QPointer<QWidget> m_panel;
};

} // namespace

xcb_window_t topLevelFrame(xcb_connection_t *connection, xcb_window_t window)
{
    for (int depth = 0; depth < 16; ++depth) {
        xcb_query_tree_reply_t *tree =
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
        if (!tree)
            return XCB_NONE;
        const xcb_window_t parent = tree->parent;
        const xcb_window_t root = tree->root;
        free(tree);
        if (parent == root || parent == XCB_NONE)
            return window;
        window = parent;
    }
    return XCB_NONE;
}

QWidget *askingWindow(QWidget *given)
{
    if (given)
        return given->window();
    // A window that has just been closed can still be the active one for a moment.
    QWidget *active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}

void keepAboveParent(QWidget *dialog, QWidget *parent)
{
    if (!dialog || !parent)
        return;
    QWidget *window = parent->window();
    const Qt::WindowFlags flags = window->windowFlags();
    if (flags.testFlag(Qt::WindowStaysOnTopHint))
        dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (flags.testFlag(Qt::X11BypassWindowManagerHint) &&
        QGuiApplication::platformName() == QLatin1String("xcb"))
        new UnmanagedParentWatcher(dialog, window);
}

} // namespace platform
