#pragma once

#include "platform/WindowSystem.h"

#include <memory>

namespace platform {

// Works on Qt's own X connection, where the application's windows are shown and hidden: flushes
// it and makes one round trip, after which the server has carried out every earlier request.
class X11WindowSystem final : public WindowSystem {
public:
    void syncPendingRequests() override;
};

// X11WindowSystem where Qt runs on X11; elsewhere (offscreen) one that has nothing to sync.
std::unique_ptr<WindowSystem> makeX11WindowSystem();

} // namespace platform
