#pragma once

#include "platform/Compositor.h"

#include <QAbstractNativeEventFilter>
#include <memory>
#include <xcb/xcb.h>

namespace platform {

class X11Connection;

// A compositing manager announces itself by owning the _NET_WM_CM_S<screen> selection; XFixes
// tells Qt's connection when that owner changes.
class X11Compositor final : public Compositor, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    explicit X11Compositor(std::shared_ptr<X11Connection> connection, QObject *parent = nullptr);
    ~X11Compositor() override;
    bool isCompositing() const override;

private:
    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    std::shared_ptr<X11Connection> m_connection;
    xcb_atom_t m_selection = XCB_NONE;
    quint8 m_selectionNotifyEvent = 0;
    // The selection's owner as XFixes last told; asked of the server only without XFixes.
    bool m_compositing = false;
};

} // namespace platform
