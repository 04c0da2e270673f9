#pragma once

#include "tray/TrayControlTimers.h"

#include <QMetaObject>
#include <QObject>
#include <QPoint>
#include <chrono>
#include <functional>
#include <memory>

class TrayStateMachine;

namespace platform {
class PointerMonitor;
struct PointerEvent;
} // namespace platform

// The tray's watch on input while it is shown: the pointer's moves and clicks anywhere on the
// desktop (through the platform's pointer monitor) and, in our own windows, the pointer (its
// moves, and its entering and leaving them), the keys and the wheel (an application-wide event
// filter). What they mean is the state machine's business; a left or right click anywhere goes to
// `clickAnywhere`. Main thread only.
class TrayEventMonitors final : public QObject {
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds pointerCheckInterval{100};
    // A pointer that has not moved for pointerRestTime is looked for only every
    // restingPointerCheckInterval, until it moves again.
    static constexpr std::chrono::milliseconds pointerRestTime{2000};
    static constexpr std::chrono::milliseconds restingPointerCheckInterval{1000};

    TrayEventMonitors(TrayStateMachine &machine, TrayTimerSource &timers,
                      std::unique_ptr<platform::PointerMonitor> pointerMonitor,
                      std::function<void()> clickAnywhere, QObject *parent = nullptr);
    ~TrayEventMonitors() override;

    // Installs what is not installed yet; remove() takes all of it away.
    void install();
    void remove();
    bool isInstalled() const;
    // While the state machine follows the pointer and the desktop-wide monitor runs, asks the
    // monitor every pointerCheckInterval where the pointer is (more seldom while it rests): a
    // pointer that jumps (a warp, a touch screen, a remote desktop) moves no device, so nothing
    // else tells of it. Called again whenever the answer may have changed; an idle tray is never
    // woken.
    void followPointer();

protected:
    // The local monitors: pointer, clicks, keys and scrolling in the program's own windows.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void pointerEvent(const platform::PointerEvent &event);
    void pointerMoved();
    bool pointerRests() const;

    TrayStateMachine &m_machine;
    TrayTimerSource &m_timers;
    std::unique_ptr<platform::PointerMonitor> m_pointerMonitor;
    std::function<void()> m_clickAnywhere;
    QMetaObject::Connection m_globalMonitor;
    bool m_localMonitorsInstalled = false;
    std::unique_ptr<TrayTimerSource::Pending> m_pointerCheck;
    // The checks in a row that found the pointer where it was, and whether one moved it.
    int m_quietChecks = 0;
    bool m_movedSinceCheck = false;
    // Where the pointer was last seen, in Qt's global coordinates.
    QPoint m_pointer;
};
