#pragma once

#include "platform/WindowList.h"

#include <QRectF>
#include <qcoro/qcorotask.h>

// The interactive selections the capture flows wait on. Both throw
// CaptureError::cancelled() when the user backs out.
class AreaSelecting {
public:
    virtual ~AreaSelecting() = default;
    // The dragged rectangle in points, capture coordinates.
    virtual QCoro::Task<QRectF> selectArea() = 0;
};

class WindowSelecting {
public:
    virtual ~WindowSelecting() = default;
    virtual QCoro::Task<platform::WindowInfo> selectWindow() = 0;
};
