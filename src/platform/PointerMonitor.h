#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <memory>

namespace platform {

// One pointer event anywhere on the desktop.
struct PointerEvent {
    enum class Kind : quint8 { moved, buttonPressed, buttonReleased, scrolled };
    Kind kind = Kind::moved;
    // Where the pointer is, in Qt's global (root) coordinates.
    QPoint globalPosition;
    // The button that went down or up; Qt::NoButton for moves and scrolls.
    Qt::MouseButton button = Qt::NoButton;
    // The buttons held after the event.
    Qt::MouseButtons buttons;
    // Scroll distance in points, positive to the right and up (a wheel notch counts 10).
    QPointF scrollDelta;
    // The event happened over a window of this program (which sees it through Qt's own events).
    bool overOwnWindow = false;
};

// Watches the pointer on the whole desktop, including over other programs' windows, without
// taking the pointer from them. Main thread only; events arrive through the main event loop.
class PointerMonitor : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts delivering events; false when the desktop offers no way to watch the pointer (the
    // program works on without the monitor). Starting a running monitor does nothing.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // Reads where the pointer is now and reports a move when it is not where the last move (or
    // the start) left it: a warp, a touch screen or a remote desktop's absolute move moves no
    // device, so the monitor hears of it only when asked. Nothing while not running.
    virtual void checkPosition() = 0;

signals:
    void pointerEvent(const platform::PointerEvent &event);
};

} // namespace platform
