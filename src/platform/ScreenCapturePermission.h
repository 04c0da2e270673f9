#pragma once

#include <QUrl>
#include <optional>

namespace platform {

// The desktop's permission to read the screen's pixels.
class ScreenCapturePermission {
public:
    virtual ~ScreenCapturePermission() = default;

    // Whether the screen can be read now. Never asks the user.
    virtual bool preflight() = 0;
    // Asks for access where the desktop has a prompt for it; answers whether access is held.
    virtual bool request() = 0;
    // The desktop's settings page where the user grants access by hand; nothing where the
    // desktop has no such page.
    virtual std::optional<QUrl> settingsUrl() const = 0;
};

} // namespace platform
