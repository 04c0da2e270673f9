#pragma once

#include "platform/Compositor.h"
#include "platform/Displays.h"
#include "platform/ScreenCapture.h"
#include "platform/WindowList.h"

#include <memory>

namespace platform {

// What screenshots need of the desktop. The parts share one connection to the X server.
struct ScreenshotPlatform {
    std::shared_ptr<Displays> displays;
    std::shared_ptr<ScreenCapture> screenCapture;
    std::shared_ptr<WindowList> windowList;
    std::shared_ptr<Compositor> compositor;
};

// Made once on the main thread, after the QGuiApplication. Where Qt does not run on X11
// (offscreen, Wayland) or the X server cannot be reached, the parts report no displays, no
// windows and no compositor, and every capture fails with a reason.
ScreenshotPlatform makeX11ScreenshotPlatform();

} // namespace platform
