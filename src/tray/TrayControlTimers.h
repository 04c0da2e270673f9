#pragma once

#include <chrono>
#include <functional>
#include <memory>

// Starts the tray's delayed actions (hover in and out, the return from the confirmation, the
// auto-hide). Main thread only. Tests hand in a clock of their own that they advance.
class TrayTimerSource {
public:
    // A started action; destroying it cancels the action if it has not run yet.
    class Pending {
    public:
        virtual ~Pending() = default;
    };

    virtual ~TrayTimerSource() = default;
    // Runs `action` once, `delay` from now, unless the returned handle is gone by then. The
    // action may destroy its own handle.
    virtual std::unique_ptr<Pending> start(std::chrono::milliseconds delay,
                                           std::function<void()> action) = 0;
};

// Timers of the Qt event loop.
std::shared_ptr<TrayTimerSource> makeQtTrayTimers();
