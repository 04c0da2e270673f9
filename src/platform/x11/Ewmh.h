#pragma once

#include "platform/WindowList.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// Plain helpers for the window manager's hints (EWMH/ICCCM), kept apart from the X calls so
// that tests reach them without a server.
namespace platform {

// _NET_WM_DESKTOP of a window shown on every desktop.
constexpr quint32 allDesktops = 0xFFFFFFFFu;

struct FrameExtents {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// _NET_FRAME_EXTENTS (left, right, top, bottom); anything but four values means no frame.
FrameExtents frameExtents(const QList<quint32> &values);
// The client rectangle grown by the decorations.
QRect frameRect(const QRect &client, const FrameExtents &extents);

struct WmClass {
    QString instance;
    QString className;
};
// WM_CLASS: the instance and the class, each ended by a NUL.
WmClass parseWmClass(const QByteArray &value);

// _NET_WM_NAME (UTF-8) when set, else WM_NAME (UTF-8 when its type says so, else Latin-1).
QString windowTitle(const QByteArray &netWmName, const QByteArray &wmName, bool wmNameIsUtf8);

// A client window as read from the server, before the list is filtered.
struct EwmhClient {
    WindowInfo info;
    bool hidden = false;            // _NET_WM_STATE_HIDDEN: minimised
    std::optional<quint32> desktop; // _NET_WM_DESKTOP
};

// _NET_CLIENT_LIST_STACKING comes bottom to top: reverses it to topmost first and leaves out
// minimised windows and windows of another desktop than the current one.
QList<WindowInfo> visibleTopmostFirst(const QList<EwmhClient> &bottomToTop,
                                      std::optional<quint32> currentDesktop);

} // namespace platform
