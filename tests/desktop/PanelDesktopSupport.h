#pragma once

#include "platform/x11/X11Connection.h"

#include <QMouseEvent>
#include <QPainter>
#include <QProcess>
#include <QWidget>
#include <gtest/gtest.h>
#include <optional>

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
