#pragma once

#include "platform/WindowSystem.h"

#include <functional>

// Counts the syncs; onSync lets a test note when one happened.
class FakeWindowSystem : public platform::WindowSystem {
public:
    void syncPendingRequests() override
    {
        ++syncCount;
        if (onSync)
            onSync();
    }

    int syncCount = 0;
    std::function<void()> onSync;
};
