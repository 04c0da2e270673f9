#pragma once

#include "platform/PanelWindows.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

namespace platform {

class X11Connection;

// The part of `display` that _NET_WORKAREA (x, y, width, height in root pixels for each desktop)
// leaves free on the current desktop, in screen coordinates; nothing when the hint has no entry
// for the desktop or leaves nothing of the display.
std::optional<QRectF> visibleFrameFromWorkArea(const QList<quint32> &workArea,
                                               std::optional<quint32> currentDesktop,
                                               const Display &display);
// A rectangle of root pixels inside the display, in screen coordinates.
QRectF rootRectToScreen(const QRect &root, const Display &display);

// Panels on X11 are override-redirect windows (see PanelWindows::windowFlags()), so the window
// manager neither frames, places, focuses nor stacks them: this class keeps them on top itself.
// Window changes go through Qt's own connection, so that they reach the server in order with
// Qt's map requests; the root's hints are read on a private connection.
class X11PanelWindows final : public QObject, public PanelWindows {
    Q_OBJECT

public:
    explicit X11PanelWindows(xcb_connection_t *qtConnection, QObject *parent = nullptr);
    ~X11PanelWindows() override;

    void prepare(QWidget *panel, PanelLevel level) override;
    void setInputRegion(QWidget *panel, const QRegion &region) override;
    std::optional<QRectF> visibleFrame(const Display &display) const override;
    void keepAboveFloatingPanels(QWidget *window) override;
    void orderFront(QWidget *panel) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

    void showOnEveryWorkspace(QWidget *window) override;

private:
    struct Panel {
        QPointer<QWidget> widget;
        std::optional<PanelLevel> level;
        std::optional<QRegion> inputRegion;
    };

    Panel &panelFor(QWidget *widget);
    // Puts the panel at the top of the stack, a floating one below any topmost panel and below
    // the windows kept above floating panels.
    void restack(QWidget *widget, PanelLevel level);
    void restackFloatingPanels();
    // The lowest frame of the shown windows kept above floating panels; none when none shows.
    xcb_window_t lowestKeptAboveFrame();
    bool isKeptAbove(const QObject *object) const;
    void applyInputRegion(QWidget *widget, const QRegion &region);
    // Before the panel is mapped, and again for each new native window.
    void leaveWithoutCompositorShadow(QWidget *panel);
    void setCardinal(xcb_window_t window, const QByteArray &name, quint32 value);
    // Reads what the root's connection queued; a change of its hints drops those last read.
    // The caller holds the connection's mutex.
    void takeRootEvents(X11Connection &connection) const;

    xcb_connection_t *m_connection;
    QHash<QWidget *, Panel> m_panels;
    QList<QPointer<QWidget>> m_keptAbove;
    QHash<QByteArray, xcb_atom_t> m_atoms;
    mutable std::unique_ptr<X11Connection> m_rootConnection;
    // The root's _NET_WORKAREA and _NET_CURRENT_DESKTOP as last read; none until read, and again
    // once the root told of a change to either.
    struct RootHints {
        QList<quint32> workArea;
        std::optional<quint32> desktop;
    };
    mutable std::optional<RootHints> m_rootHints;
    // Wakes when the root's connection has something to read; goes before the connection.
    mutable std::unique_ptr<QSocketNotifier> m_rootEvents;
};

} // namespace platform
