#pragma once

#include "platform/ScreenCapture.h"
#include "platform/ScreenCapturePermission.h"

#include <memory>

namespace platform {

// X11 asks no one before a client reads the screen: access is held exactly when a read
// succeeds, which needs a reachable X server. There is no prompt to bring up and no settings
// page to open.
class X11ScreenCapturePermission final : public ScreenCapturePermission {
public:
    explicit X11ScreenCapturePermission(std::shared_ptr<ScreenCapture> screenCapture);

    // Reads one point at the top-left corner of the main display.
    bool preflight() override;
    // The same read: there is nothing to ask.
    bool request() override;
    std::optional<QUrl> settingsUrl() const override { return std::nullopt; }

private:
    std::shared_ptr<ScreenCapture> m_screenCapture;
};

} // namespace platform
