#pragma once

namespace platform {

// The window system connection that the application's own windows use.
class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // Sends every request still buffered (such as hiding our own windows) and waits until the
    // window system has carried them out, so that a screen read that follows no longer sees
    // what was just hidden. Main thread only.
    virtual void syncPendingRequests() = 0;
};

} // namespace platform
