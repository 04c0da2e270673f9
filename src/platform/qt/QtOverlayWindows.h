#pragma once

#include "platform/OverlayWindows.h"

#include <QWindow>

namespace platform {

// Where Qt has no native window system (offscreen) or one without grabs of its own.
class QtOverlayWindows final : public OverlayWindows {
public:
    OverlayPlacement placement(const Display &display) const override
    {
        return qtScreenPlacement(display);
    }
    void opened(QWindow *window) override
    {
        window->raise();
        window->requestActivate();
    }
    void closed(QWindow *) override {}
};

} // namespace platform
