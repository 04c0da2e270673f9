#pragma once

#include "platform/ScreenCapture.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11ShmSegment.h"

#include <memory>
#include <xcb/shm.h>

namespace platform {

class DisplaySnapshot;

// Reads the root window with MIT-SHM into a segment kept between calls, falling back to
// GetImage where shared memory is not available (a remote server, another IPC namespace).
// A window is read through Composite while a compositor runs, else cropped from the root.
class X11ScreenCapture final : public ScreenCapture {
public:
    X11ScreenCapture(std::shared_ptr<X11Connection> connection,
                     std::shared_ptr<const DisplaySnapshot> displays);
    ~X11ScreenCapture() override;

    CaptureResult captureRect(const QRectF &captureRect, bool showsCursor) override;
    CaptureResult captureDisplay(DisplayId id, bool showsCursor) override;
    QHash<DisplayId, QImage> captureAllDisplays(bool showsCursor) override;
    CaptureResult captureWindow(WindowId id, bool withDecorations, bool showsCursor) override;

    // Off: every read goes through GetImage. For comparisons and measurements.
    void setSharedMemoryEnabled(bool enabled);

private:
    // The callers below hold the connection's mutex.
    CaptureResult captureRootArea(const QRect &area, bool showsCursor);
    CaptureResult captureWindowPixmap(xcb_window_t window, const QRect &area, bool showsCursor);
    CaptureResult readDrawable(xcb_drawable_t drawable, const QRect &area);
    std::optional<CaptureResult> readWithSharedMemory(xcb_drawable_t drawable, const QRect &area);
    CaptureResult readWithGetImage(xcb_drawable_t drawable, const QRect &area);
    bool reserveSegment(size_t bytes);
    void releaseSegment();
    void drawCursor(QImage &image, QPoint rootOrigin);
    std::optional<QRect> rootBounds();

    std::shared_ptr<X11Connection> m_connection;
    std::shared_ptr<const DisplaySnapshot> m_displays;
    bool m_sharedMemoryEnabled = true;
    std::optional<bool> m_sharedMemoryWorks;
    std::optional<bool> m_xfixesReady;
    std::optional<bool> m_compositeReady;
    X11ShmSegment m_segment;
};

} // namespace platform
