#pragma once

namespace platform {

// Whether a compositing manager runs: with one, translucent windows blend with the desktop and
// a window's hidden parts can be captured.
class Compositor {
public:
    virtual ~Compositor() = default;
    virtual bool isCompositing() const = 0;
};

} // namespace platform
