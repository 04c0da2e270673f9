#pragma once

#include "platform/PointerMonitor.h"

namespace platform {

// Where the window system offers no way to watch the pointer outside our own windows.
class AbsentPointerMonitor final : public PointerMonitor {
public:
    using PointerMonitor::PointerMonitor;
    bool start() override { return false; }
    void stop() override {}
    bool isRunning() const override { return false; }
    void checkPosition() override {}
};

} // namespace platform
