#pragma once

#include "platform/Displays.h"
#include "platform/WindowList.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QRectF>
#include <qcoro/qcorotask.h>

// Still images of displays, areas and windows. Every operation throws
// CaptureError on failure; images are at the display's pixel scale.
class ScreenCapturing {
public:
    virtual ~ScreenCapturing() = default;

    virtual QCoro::Task<QImage> captureDisplay(platform::DisplayId displayID, bool showsCursor,
                                               QList<platform::WindowId> excludingWindowIDs) = 0;
    virtual QCoro::Task<QHash<platform::DisplayId, QImage>>
    captureAllDisplays(bool showsCursor, QList<platform::WindowId> excludingWindowIDs) = 0;
    // rect: points, capture coordinates (top-left of the main display, y down).
    virtual QCoro::Task<QImage> captureArea(QRectF rect,
                                            QList<platform::WindowId> excludingWindowIDs) = 0;
    virtual QCoro::Task<QImage> captureWindow(platform::WindowInfo window, bool showsCursor,
                                              bool ignoreShadows) = 0;
};
