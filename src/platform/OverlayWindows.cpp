#include "platform/OverlayWindows.h"

#include <QGuiApplication>
#include <QScreen>

namespace platform {

OverlayPlacement qtScreenPlacement(const Display &display)
{
    for (QScreen *screen : QGuiApplication::screens()) {
        if (screen->name() == display.name)
            return {screen, screen->geometry()};
    }
    // Qt keeps a display's origin and measures its size in points.
    return {
        nullptr,
        QRectF(QPointF(display.rootRect.topLeft()), display.captureFrame.size()).toAlignedRect()};
}

} // namespace platform
