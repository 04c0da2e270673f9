#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>

namespace platform {

// A top-level window's identifier (on X11 the client window).
using WindowId = quint32;

// Layers below normal windows, so that callers can leave desktops and docks out.
constexpr int normalWindowLayer = 0;
constexpr int dockWindowLayer = -1;
constexpr int desktopWindowLayer = -2;

struct WindowInfo {
    WindowId id = 0;
    std::optional<qint64> pid; // the owner process, when the window announces it
    bool ownProcess = false;   // the window belongs to this program
    QString applicationId;     // the application's resource name (WM_CLASS instance)
    QString applicationName;   // the application's class (WM_CLASS class)
    QString title;
    // The frame including the window manager's decorations.
    QRectF captureFrame;
    QRectF screenFrame;
    bool isOnScreen = false;
    int layer = normalWindowLayer;

    bool operator==(const WindowInfo &other) const = default;
};

// The index of the first window, in list order, whose capture frame holds the point (capture
// coordinates). Left and top edges count as inside, right and bottom edges as outside, so a
// point on the shared edge of two neighbours belongs to the right or lower one.
std::optional<qsizetype> windowIndexAt(const QList<WindowInfo> &windows, QPointF capturePoint);

// The windows of the current desktop. Safe to call from any thread.
class WindowList {
public:
    virtual ~WindowList() = default;
    // Topmost first; minimised windows and windows of other desktops are left out.
    virtual QList<WindowInfo> windows() const = 0;
    // The window the window manager gave the keyboard; nothing when none has it or nobody says.
    virtual std::optional<WindowId> activeWindow() const { return std::nullopt; }
};

} // namespace platform
