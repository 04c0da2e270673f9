#pragma once

#include "capture/ScreenCapturing.h"
#include "platform/Displays.h"
#include "platform/ScreenCapture.h"
#include "platform/WindowSystem.h"

#include <memory>

// Screenshots through the platform's screen capture. Keeps no state between calls: each call
// reads the current displays. The pixel reads run on worker threads; the coroutines themselves
// run on the main thread.
//
// Windows to leave out: the window system cannot leave a mapped window out of a screen read, so
// the program's own windows are left out by hiding them before a capture (the coordinator does
// that); the lists are accepted and not otherwise used.
class ScreenCaptureService final : public ScreenCapturing {
public:
    ScreenCaptureService(std::shared_ptr<platform::ScreenCapture> screenCapture,
                         std::shared_ptr<platform::Displays> displays,
                         std::shared_ptr<platform::WindowSystem> windowSystem);

    // An unknown identifier captures the main display.
    QCoro::Task<QImage> captureDisplay(platform::DisplayId displayID, bool showsCursor,
                                       QList<platform::WindowId> excludingWindowIDs) override;
    // Every display at once; a display that cannot be captured is missing from the result.
    QCoro::Task<QHash<platform::DisplayId, QImage>>
    captureAllDisplays(bool showsCursor, QList<platform::WindowId> excludingWindowIDs) override;
    // Never draws the pointer. Rectangles under 2 points wide or high are refused.
    QCoro::Task<QImage> captureArea(QRectF rect,
                                    QList<platform::WindowId> excludingWindowIDs) override;
    // The window as it shows on screen, with its decorations. Windows on X11 carry no shadow of
    // their own: unless ignoreShadows, one is drawn on a transparent margin that adds 128 points
    // to each dimension at the main display's scale (WindowShadow.h).
    QCoro::Task<QImage> captureWindow(platform::WindowInfo window, bool showsCursor,
                                      bool ignoreShadows) override;

private:
    std::shared_ptr<platform::ScreenCapture> m_screenCapture;
    std::shared_ptr<platform::Displays> m_displays;
    std::shared_ptr<platform::WindowSystem> m_windowSystem;
};
