#pragma once

#include "platform/PointerMonitor.h"

#include <optional>

// A desktop-wide pointer monitor driven by the test: start() succeeds unless `available` is
// false, and the emit helpers deliver events only while the monitor runs, as the real one does.
class FakePointerMonitor : public platform::PointerMonitor {
    Q_OBJECT

public:
    explicit FakePointerMonitor(QObject *parent = nullptr) : platform::PointerMonitor(parent) {}

    bool start() override
    {
        ++startCount;
        if (available)
            running = true;
        return running;
    }
    void stop() override
    {
        ++stopCount;
        running = false;
    }
    bool isRunning() const override { return running; }
    // Counts the checks; reports a move to `position` (with `buttons` held) when one is set.
    void checkPosition() override
    {
        ++positionChecks;
        if (position)
            emitMove(*position, false, buttons);
    }

    // Delivers the event when running; returns whether it was delivered.
    bool emitEvent(const platform::PointerEvent &event)
    {
        if (!running)
            return false;
        emit pointerEvent(event);
        return true;
    }
    bool emitMove(QPoint globalPosition, bool overOwnWindow = false,
                  Qt::MouseButtons buttons = Qt::NoButton)
    {
        return emitEvent(
            event(Kind::moved, globalPosition, Qt::NoButton, buttons, {}, overOwnWindow));
    }
    bool emitPress(QPoint globalPosition, Qt::MouseButton button = Qt::LeftButton,
                   bool overOwnWindow = false)
    {
        return emitEvent(
            event(Kind::buttonPressed, globalPosition, button, button, {}, overOwnWindow));
    }
    bool emitRelease(QPoint globalPosition, Qt::MouseButton button = Qt::LeftButton,
                     bool overOwnWindow = false)
    {
        return emitEvent(
            event(Kind::buttonReleased, globalPosition, button, Qt::NoButton, {}, overOwnWindow));
    }
    // `delta` in points, positive to the right and up.
    bool emitScroll(QPoint globalPosition, QPointF delta, bool overOwnWindow = false)
    {
        return emitEvent(event(Kind::scrolled, globalPosition, Qt::NoButton, Qt::NoButton, delta,
                               overOwnWindow));
    }

    bool available = true;
    bool running = false;
    int startCount = 0;
    int stopCount = 0;
    int positionChecks = 0;
    std::optional<QPoint> position;
    Qt::MouseButtons buttons;

private:
    using Kind = platform::PointerEvent::Kind;

    static platform::PointerEvent event(Kind kind, QPoint globalPosition, Qt::MouseButton button,
                                        Qt::MouseButtons buttons, QPointF scrollDelta,
                                        bool overOwnWindow)
    {
        platform::PointerEvent event;
        event.kind = kind;
        event.globalPosition = globalPosition;
        event.button = button;
        event.buttons = buttons;
        event.scrollDelta = scrollDelta;
        event.overOwnWindow = overOwnWindow;
        return event;
    }
};
