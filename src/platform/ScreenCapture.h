#pragma once

#include "platform/Displays.h"
#include "platform/WindowList.h"

#include <QHash>
#include <QImage>
#include <QRectF>
#include <QString>

namespace platform {

// An image, or why there is none.
struct CaptureResult {
    QImage image;
    QString failure;
    // The part of the desktop the image shows, in capture coordinates; empty where the reader
    // does not say. A window read from the screen shows only its part on the screen.
    QRectF capturedArea;

    static CaptureResult success(QImage image, QRectF capturedArea = {})
    {
        return {std::move(image), {}, capturedArea};
    }
    static CaptureResult failed(QString reason) { return {{}, std::move(reason), {}}; }
    bool ok() const { return !image.isNull(); }
    explicit operator bool() const { return ok(); }
};

// Still images of the screen, as QImage::Format_RGB32 at the displays' pixel scale.
// Every call is safe from any thread and keeps no state that callers could observe.
class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;

    // A rectangle in capture coordinates; the part outside the desktop is cut away.
    virtual CaptureResult captureRect(const QRectF &captureRect, bool showsCursor) = 0;
    // A whole display; an unknown identifier captures the main display.
    virtual CaptureResult captureDisplay(DisplayId id, bool showsCursor) = 0;
    // Every display that could be captured, by identifier.
    virtual QHash<DisplayId, QImage> captureAllDisplays(bool showsCursor) = 0;
    // A window with its decorations, or only its client area: all of it where a compositor
    // keeps its pixels, else the part on the screen; capturedArea tells which.
    virtual CaptureResult captureWindow(WindowId id, bool withDecorations, bool showsCursor) = 0;
};

} // namespace platform
