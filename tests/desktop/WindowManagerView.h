#pragma once

#include "platform/x11/X11Connection.h"

#include <QList>
#include <QMutexLocker>

// What the window manager tells every program: the window with the keyboard, the stacking
// order (bottom to top) and whether a window is minimised.
class WindowManagerView {
public:
    quint32 activeWindow()
    {
        const QMutexLocker lock(&m_x.mutex());
        return m_x.property(m_x.root(), "_NET_ACTIVE_WINDOW").value32().value_or(0);
    }
    QList<quint32> stackingBottomToTop()
    {
        const QMutexLocker lock(&m_x.mutex());
        return m_x.property(m_x.root(), "_NET_CLIENT_LIST_STACKING").values32();
    }
    bool isMinimised(quint32 window)
    {
        const QMutexLocker lock(&m_x.mutex());
        // WM_STATE's first value: 3 is IconicState.
        return m_x.property(window, "WM_STATE").values32().value(0) == 3;
    }
    // Both windows are listed and `lower` is stacked below `upper`.
    bool isBelow(quint32 lower, quint32 upper)
    {
        const QList<quint32> stacking = stackingBottomToTop();
        return stacking.contains(lower) && stacking.contains(upper) &&
               stacking.indexOf(lower) < stacking.indexOf(upper);
    }

private:
    platform::X11Connection m_x;
};
