#pragma once

#include "platform/PointerMonitor.h"

#include <QPointer>
#include <QSocketNotifier>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

namespace platform {

class X11Connection;

// What a wheel button (4 to 7) scrolls, in points, positive to the right and up; nothing for
// any other button.
std::optional<QPointF> wheelButtonDelta(quint32 button);
// The Qt button of an X button number; Qt::NoButton for the wheel and unknown buttons.
Qt::MouseButton qtButton(quint32 button);
// The buttons a core key/button state mask holds.
Qt::MouseButtons qtButtons(quint16 stateMask);

// Watches the pointer through the input extension's raw events, which the server sends to a
// root window selection whatever window the pointer is over and whoever grabbed it. Raw events
// carry no position, so each one is followed by a pointer query on the same private connection.
// The connection is read on the main thread through a socket notifier; moves are coalesced to
// one per pass of the event loop. A warped pointer (XWarpPointer, absolute XTest motion) makes
// no raw event: the next event of a device, or checkPosition(), reports where it went.
class X11PointerMonitor final : public PointerMonitor {
    Q_OBJECT

public:
    explicit X11PointerMonitor(QObject *parent = nullptr);
    ~X11PointerMonitor() override;

    bool start() override;
    void stop() override;
    bool isRunning() const override;
    void checkPosition() override;

private:
    struct PointerState {
        QPoint globalPosition;
        Qt::MouseButtons buttons;
        bool overOwnWindow = false;
    };

    void readEvents();
    void handleRawEvent(quint16 eventType, quint32 detail);
    void emitMove();
    std::optional<PointerState> queryPointer();
    bool isOwnWindowChain(xcb_window_t topLevel);
    // Reports a broken connection once and stops.
    bool checkConnection();

    std::unique_ptr<X11Connection> m_connection;
    std::unique_ptr<QSocketNotifier> m_notifier;
    quint8 m_inputOpcode = 0;
    bool m_movePending = false;
    bool m_drainScheduled = false;
    // This pass made a round trip, which may have queued events without waking the notifier.
    bool m_queried = false;
    // Buttons beyond the core mask (back, forward) as the raw events left them.
    Qt::MouseButtons m_extraButtons;
    std::optional<PointerState> m_lastMove;
};

} // namespace platform
