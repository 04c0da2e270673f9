#pragma once

#include "platform/Compositor.h"

#include <memory>

namespace platform {

class X11Connection;

// A compositing manager announces itself by owning the _NET_WM_CM_S<screen> selection.
class X11Compositor final : public Compositor {
public:
    explicit X11Compositor(std::shared_ptr<X11Connection> connection);
    bool isCompositing() const override;

private:
    std::shared_ptr<X11Connection> m_connection;
};

} // namespace platform
