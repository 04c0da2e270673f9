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
    // Called while the flow waits for the program's own windows to leave the screen, just
    // before selectArea(): a chance to ready the overlays, which show nothing yet.
    virtual void prepareSelection() {}
};

class WindowSelecting {
public:
    virtual ~WindowSelecting() = default;
    virtual QCoro::Task<platform::WindowInfo> selectWindow() = 0;
};
