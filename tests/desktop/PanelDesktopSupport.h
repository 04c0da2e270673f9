#pragma once

#include "platform/x11/X11Connection.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QRegion>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>
#include <string>

// Pointer input as another program gives it (XTest).
inline void xdotool(const QStringList &arguments)
{
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), arguments), 0)
        << arguments.join(' ').toStdString();
}

inline void clickAt(QPoint globalPosition, int button = 1)
{
    xdotool({"mousemove", QString::number(globalPosition.x()), QString::number(globalPosition.y()),
             "click", QString::number(button)});
}

// A jump of the pointer moves no device; the last step is a device move, as a user's is.
inline void movePointerTo(QPoint position)
{
    xdotool({"mousemove", QString::number(position.x() - 1), QString::number(position.y() - 1),
             "mousemove_relative", "1", "1"});
}

// A point as a failure message tells it.
inline std::string shown(QPoint point)
{
    return std::to_string(point.x()) + "," + std::to_string(point.y());
}

// Where the X server has the window's top left corner, whatever Qt was last told of it.
inline std::optional<QPoint> serverOrigin(const QWidget &window)
{
    const platform::X11Connection x11;
    xcb_connection_t *c = x11.get();
    const platform::XcbReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, xcb_window_t(window.winId()), x11.root(), 0, 0),
            nullptr));
    return origin ? std::optional(QPoint(origin->dst_x, origin->dst_y)) : std::nullopt;
}

// The first shown top-level window of ours of the type (a dialog, a menu), or null.
template <typename T> T *visibleTopLevel()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *found = qobject_cast<T *>(widget); found && found->isVisible())
            return found;
    }
    return nullptr;
}

// A solid window that counts the presses it receives.
class ProbeWindow : public QWidget {
public:
    explicit ProbeWindow(QColor colour, Qt::WindowFlags flags = {})
        : QWidget(nullptr, flags), m_colour(colour)
    {
    }

    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *) override { ++presses; }
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

// picom drawing a shadow under every window, with no configuration of the user's.
inline QStringList shadowingCompositor()
{
    return {"picom", "--config", "/dev/null", "--backend", "xrender", "--shadow"};
}

// Whether a point of a picture shows the colour, give or take `tolerance` on each channel (by
// default rounding in compositing).
inline bool shows(const QImage &picture, QPoint point, QColor colour, int tolerance = 6)
{
    const QColor there = picture.pixelColor(point);
    return std::abs(there.red() - colour.red()) <= tolerance &&
           std::abs(there.green() - colour.green()) <= tolerance &&
           std::abs(there.blue() - colour.blue()) <= tolerance;
}

// The points of a band 12 pixels wide around a window that show something else than the
// backdrop: a shadow cast by the window, say.
inline int pointsChangedAround(const QImage &screen, const QRect &window, QColor backdrop)
{
    const QRegion around =
        QRegion(window.adjusted(-12, -12, 12, 12)).subtracted(window).intersected(screen.rect());
    int changed = 0;
    for (const QRect &rect : around) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            for (int x = rect.left(); x <= rect.right(); ++x)
                changed += !shows(screen, QPoint(x, y), backdrop);
        }
    }
    return changed;
}

// Once a compositor draws the screen: a half-transparent window in the screen's top left corner
// shows blended with the desktop below it. Whatever was shown before is then drawn by it too.
inline bool waitUntilComposited()
{
    ProbeWindow probe(Qt::black, Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                                     Qt::WindowStaysOnTopHint);
    probe.setWindowOpacity(0.5);
    probe.setGeometry(0, 0, 16, 16);
    probe.show();
    if (!QTest::qWaitForWindowExposed(&probe))
        return false;
    return waitUntil([] {
        const QImage corner = QGuiApplication::primaryScreen()->grabWindow(0, 8, 8, 1, 1).toImage();
        return corner.pixelColor(0, 0).lightness() > 30;
    });
}

// Reads the stacking and focus the window manager arranged, apart from Qt's connection.
class StackingReader {
public:
    // Where the top-level holding the window (its frame, for a managed window) lies among the
    // root's children, bottom first; nothing when the window is not found.
    std::optional<int> stackingIndex(xcb_window_t window)
    {
        xcb_connection_t *c = m_connection.get();
        const xcb_window_t root = m_connection.root();
        xcb_window_t topLevel = window;
        for (int depth = 0; depth < 8; ++depth) {
            platform::XcbReply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c, xcb_query_tree(c, topLevel), nullptr));
            if (!tree)
                return std::nullopt;
            if (tree->parent == root)
                break;
            topLevel = tree->parent;
        }
        platform::XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
        if (!tree)
            return std::nullopt;
        const xcb_window_t *children = xcb_query_tree_children(tree.get());
        for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
            if (children[i] == topLevel)
                return i;
        }
        return std::nullopt;
    }
    bool isAbove(const QWidget &upper, const QWidget &lower)
    {
        const std::optional<int> up = stackingIndex(xcb_window_t(upper.winId()));
        const std::optional<int> down = stackingIndex(xcb_window_t(lower.winId()));
        return up && down && *up > *down;
    }
    std::optional<quint32> activeWindow()
    {
        return m_connection.property(m_connection.root(), "_NET_ACTIVE_WINDOW").value32();
    }

private:
    platform::X11Connection m_connection;
};
