#include "platform/x11/X11ScreenCapturePermission.h"

namespace platform {

X11ScreenCapturePermission::X11ScreenCapturePermission(std::shared_ptr<ScreenCapture> screenCapture)
    : m_screenCapture(std::move(screenCapture))
{
}

bool X11ScreenCapturePermission::preflight()
{
    return m_screenCapture->captureRect(QRectF(0, 0, 1, 1), false).ok();
}

bool X11ScreenCapturePermission::request()
{
    return preflight();
}

} // namespace platform
