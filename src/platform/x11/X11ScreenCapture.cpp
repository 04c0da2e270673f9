#include "platform/x11/X11ScreenCapture.h"

#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/x11/X11CursorImage.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11WindowList.h"

#include <QPainter>
#include <QSysInfo>
#include <QtEndian>
#include <QtMath>
#include <algorithm>
#include <cmath>
#include <xcb/composite.h>
#include <xcb/xfixes.h>

namespace platform {
namespace {

// Far beyond any real desktop; keeps conversions of absurd rectangles out of integer overflow.
constexpr double coordinateLimit = 1 << 20;

bool extensionPresent(xcb_connection_t *c, xcb_extension_t *extension)
{
    const xcb_query_extension_reply_t *data = xcb_get_extension_data(c, extension);
    return data && data->present;
}

const xcb_visualtype_t *rootVisual(const xcb_screen_t *screen)
{
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem;
         xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem;
             xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == screen->root_visual)
                return visuals.data;
        }
    }
    return nullptr;
}

// Only 8 bits per channel in 32-bit pixels maps straight onto QImage::Format_RGB32, which is
// what every current X server gives for depths 24 and 32.
std::optional<QString> unsupportedFormat(X11Connection &x, uint8_t depth)
{
    int bitsPerPixel = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(xcb_get_setup(x.get())); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth)
            bitsPerPixel = formats.data->bits_per_pixel;
    }
    if ((depth != 24 && depth != 32) || bitsPerPixel != 32) {
        return QStringLiteral("Unsupported pixel format: depth %1 with %2 bits per pixel")
            .arg(depth)
            .arg(bitsPerPixel);
    }
    const xcb_visualtype_t *visual = rootVisual(x.screen());
    if (!visual || visual->red_mask != 0xff0000u || visual->green_mask != 0xff00u ||
        visual->blue_mask != 0xffu)
        return QStringLiteral("Unsupported colour layout of the screen");
    return std::nullopt;
}

// Rows per band when a large image is copied on several threads: small enough to share the work
// out evenly, large enough that starting a band costs next to nothing.
constexpr int rowsPerBand = 64;

// Copies 32-bit pixels into a new image. The unused top byte is undefined in X images but must
// be 0xff in Format_RGB32.
//
// A whole display is copied band by band on the background threads: the copy is bound by memory and
// by the first touch of every page of the new image, and both go faster on several cores.
QImage imageFromPixels(const uint8_t *data, int width, int height, size_t stride, bool swapBytes)
{
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    uchar *bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const auto copyRows = [=](int first) {
        const int end = std::min(first + rowsPerBand, height);
        for (int y = first; y < end; ++y) {
            const auto *source = reinterpret_cast<const quint32 *>(data + size_t(y) * stride);
            auto *target = reinterpret_cast<quint32 *>(bits + y * bytesPerLine);
            if (swapBytes) {
                for (int x = 0; x < width; ++x)
                    target[x] = qbswap(source[x]) | 0xff000000u;
            } else {
                for (int x = 0; x < width; ++x)
                    target[x] = source[x] | 0xff000000u;
            }
        }
    };
    runInBands((height + rowsPerBand - 1) / rowsPerBand,
               [&](int band) { copyRows(band * rowsPerBand); });
    return image;
}

bool needsByteSwap(X11Connection &x)
{
    const bool serverLittle = xcb_get_setup(x.get())->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    return serverLittle != (QSysInfo::ByteOrder == QSysInfo::LittleEndian);
}

CaptureResult imageOrFailure(QImage image)
{
    if (image.isNull())
        return CaptureResult::failed(QStringLiteral("Not enough memory for the image"));
    return CaptureResult::success(std::move(image));
}

// The child of the root that holds the client: the window manager's frame when it reparents.
xcb_window_t toplevelOf(X11Connection &x, xcb_window_t window)
{
    for (int depth = 0; depth < 64; ++depth) {
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(x.get(), xcb_query_tree(x.get(), window), nullptr));
        if (!tree || tree->parent == XCB_NONE || tree->parent == tree->root)
            return window;
        window = tree->parent;
    }
    return window;
}

} // namespace

X11ScreenCapture::X11ScreenCapture(std::shared_ptr<X11Connection> connection,
                                   std::shared_ptr<const DisplaySnapshot> displays)
    : m_connection(std::move(connection)), m_displays(std::move(displays))
{
}

X11ScreenCapture::~X11ScreenCapture()
{
    QMutexLocker lock(&m_connection->mutex());
    releaseSegment();
}

void X11ScreenCapture::setSharedMemoryEnabled(bool enabled)
{
    QMutexLocker lock(&m_connection->mutex());
    m_sharedMemoryEnabled = enabled;
}

CaptureResult X11ScreenCapture::captureRect(const QRectF &captureRect, bool showsCursor)
{
    if (!(captureRect.width() > 0 && captureRect.height() > 0))
        return CaptureResult::failed(QStringLiteral("The capture rectangle is empty"));
    const QRectF root = captureToRoot(captureRect, m_displays->get());
    if (!(std::abs(root.left()) < coordinateLimit && std::abs(root.top()) < coordinateLimit &&
          std::abs(root.right()) < coordinateLimit && std::abs(root.bottom()) < coordinateLimit))
        return CaptureResult::failed(
            QStringLiteral("The capture rectangle lies outside the screen"));
    const QRect area(qFloor(root.x()), qFloor(root.y()), pixelLength(root.width(), 1.0),
                     pixelLength(root.height(), 1.0));
    QMutexLocker lock(&m_connection->mutex());
    return captureRootArea(area, showsCursor);
}

CaptureResult X11ScreenCapture::captureDisplay(DisplayId id, bool showsCursor)
{
    const std::optional<Display> display = displayForId(m_displays->get(), id);
    if (!display)
        return CaptureResult::failed(QStringLiteral("No display found"));
    QMutexLocker lock(&m_connection->mutex());
    return captureRootArea(display->rootRect, showsCursor);
}

QHash<DisplayId, QImage> X11ScreenCapture::captureAllDisplays(bool showsCursor)
{
    QHash<DisplayId, QImage> images;
    for (const Display &display : m_displays->get()) {
        QMutexLocker lock(&m_connection->mutex());
        CaptureResult result = captureRootArea(display.rootRect, showsCursor);
        if (result)
            images.insert(display.id, std::move(result.image));
    }
    return images;
}

CaptureResult X11ScreenCapture::captureWindow(WindowId id, bool withDecorations, bool showsCursor)
{
    X11Connection &x = *m_connection;
    QMutexLocker lock(&x.mutex());
    if (!x.isUsable())
        return CaptureResult::failed(QStringLiteral("No connection to the X server"));
    const xcb_get_window_attributes_cookie_t attributesRequest =
        xcb_get_window_attributes(x.get(), id);
    const X11GeometryRequest geometryRequest = requestWindowGeometry(x, id);
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(x.get(), attributesRequest, nullptr));
    const std::optional<X11WindowGeometry> geometry = takeWindowGeometry(x, geometryRequest);
    x.drainEvents();
    if (!attributes || !geometry)
        return CaptureResult::failed(QStringLiteral("Window %1 does not exist").arg(id));
    // A minimised window, or one on another desktop, has no pixels anywhere; the screen at its
    // place shows other windows.
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return CaptureResult::failed(QStringLiteral("Window %1 is not shown").arg(id));
    const QRect area = withDecorations ? geometry->frame : geometry->client;
    // Without a compositor the hidden parts of a window hold nothing: what shows on the root
    // is all there is.
    if (x.compositorRunning()) {
        CaptureResult result = captureWindowPixmap(toplevelOf(x, id), area, showsCursor);
        x.drainEvents();
        if (result)
            return result;
        qCDebug(Log::capture, "Composite read of window %u failed (%s); cropping the screen", id,
                qPrintable(result.failure));
    }
    return captureRootArea(area, showsCursor);
}

CaptureResult X11ScreenCapture::captureRootArea(const QRect &area, bool showsCursor)
{
    if (!m_connection->isUsable())
        return CaptureResult::failed(QStringLiteral("No connection to the X server"));
    const std::optional<QRect> bounds = rootBounds();
    if (!bounds)
        return CaptureResult::failed(QStringLiteral("The screen's size cannot be read"));
    const QRect visible = area & *bounds;
    if (visible.isEmpty())
        return CaptureResult::failed(
            QStringLiteral("The capture rectangle lies outside the screen"));
    CaptureResult result = readDrawable(m_connection->root(), visible);
    if (result && showsCursor)
        drawCursor(result.image, visible.topLeft());
    if (result)
        result.capturedArea = rootToCapture(QRectF(visible), m_displays->get());
    m_connection->drainEvents();
    return result;
}

CaptureResult X11ScreenCapture::captureWindowPixmap(xcb_window_t window, const QRect &area,
                                                    bool showsCursor)
{
    X11Connection &x = *m_connection;
    xcb_connection_t *c = x.get();
    if (!m_compositeReady) {
        bool ready = false;
        if (extensionPresent(c, &xcb_composite_id)) {
            XcbReply<xcb_composite_query_version_reply_t> version(xcb_composite_query_version_reply(
                c, xcb_composite_query_version(c, 0, 4), nullptr));
            ready = version && (version->major_version > 0 || version->minor_version >= 2);
        }
        m_compositeReady = ready;
    }
    if (!*m_compositeReady)
        return CaptureResult::failed(QStringLiteral("The Composite extension is missing"));

    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    if (!geometry)
        return CaptureResult::failed(QStringLiteral("The window is gone"));
    // The window's pixmap includes its border; its position is relative to the root.
    const int border = geometry->border_width;
    const QRect pixmapRect(geometry->x, geometry->y, geometry->width + 2 * border,
                           geometry->height + 2 * border);
    const QRect wanted = area & pixmapRect;
    if (wanted.isEmpty())
        return CaptureResult::failed(QStringLiteral("The window has no visible area"));

    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    XcbReply<xcb_generic_error_t> error(
        xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, window, pixmap)));
    if (error) {
        return CaptureResult::failed(
            QStringLiteral("The window's pixmap is not available (error %1)")
                .arg(error->error_code));
    }
    CaptureResult result = readDrawable(pixmap, wanted.translated(-pixmapRect.topLeft()));
    xcb_free_pixmap(c, pixmap);
    if (result && showsCursor)
        drawCursor(result.image, wanted.topLeft());
    if (result)
        result.capturedArea = rootToCapture(QRectF(wanted), m_displays->get());
    return result;
}

CaptureResult X11ScreenCapture::readDrawable(xcb_drawable_t drawable, const QRect &area)
{
    if (m_sharedMemoryEnabled) {
        if (std::optional<CaptureResult> result = readWithSharedMemory(drawable, area))
            return std::move(*result);
    }
    return readWithGetImage(drawable, area);
}

std::optional<CaptureResult> X11ScreenCapture::readWithSharedMemory(xcb_drawable_t drawable,
                                                                    const QRect &area)
{
    X11Connection &x = *m_connection;
    xcb_connection_t *c = x.get();
    if (!m_sharedMemoryWorks) {
        bool works = false;
        if (extensionPresent(c, &xcb_shm_id)) {
            XcbReply<xcb_shm_query_version_reply_t> version(
                xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
            works = bool(version);
        }
        m_sharedMemoryWorks = works;
        if (!works)
            qCInfo(Log::capture, "MIT-SHM is not available; reading the screen with GetImage");
    }
    if (!*m_sharedMemoryWorks)
        return std::nullopt;

    const size_t bytes = size_t(area.width()) * size_t(area.height()) * 4;
    if (!reserveSegment(bytes))
        return std::nullopt;
    xcb_generic_error_t *rawError = nullptr;
    XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(c, drawable, int16_t(area.x()), int16_t(area.y()), uint16_t(area.width()),
                          uint16_t(area.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment.id(),
                          0),
        &rawError));
    XcbReply<xcb_generic_error_t> error(rawError);
    if (!reply || reply->size < bytes || unsupportedFormat(x, reply->depth))
        return std::nullopt; // GetImage tries again and names the problem
    return imageOrFailure(imageFromPixels(m_segment.data(), area.width(), area.height(),
                                          size_t(area.width()) * 4, needsByteSwap(x)));
}

CaptureResult X11ScreenCapture::readWithGetImage(xcb_drawable_t drawable, const QRect &area)
{
    X11Connection &x = *m_connection;
    xcb_connection_t *c = x.get();
    xcb_generic_error_t *rawError = nullptr;
    XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(area.x()), int16_t(area.y()),
                      uint16_t(area.width()), uint16_t(area.height()), ~0u),
        &rawError));
    XcbReply<xcb_generic_error_t> error(rawError);
    if (!reply) {
        return CaptureResult::failed(
            QStringLiteral("The X server did not hand out the image (error %1)")
                .arg(error ? error->error_code : 0));
    }
    if (const std::optional<QString> problem = unsupportedFormat(x, reply->depth))
        return CaptureResult::failed(*problem);
    const size_t length = size_t(xcb_get_image_data_length(reply.get()));
    const size_t stride = length / size_t(area.height());
    if (stride < size_t(area.width()) * 4)
        return CaptureResult::failed(QStringLiteral("The X server sent a truncated image"));
    return imageOrFailure(imageFromPixels(xcb_get_image_data(reply.get()), area.width(),
                                          area.height(), stride, needsByteSwap(x)));
}

bool X11ScreenCapture::reserveSegment(size_t bytes)
{
    switch (m_segment.reserve(m_connection->get(), bytes)) {
    case X11ShmSegment::Reserve::ready:
        return true;
    case X11ShmSegment::Reserve::unavailable:
        return false; // too large for the system's limits: this read goes through GetImage
    case X11ShmSegment::Reserve::refused:
        m_sharedMemoryWorks = false;
        qCInfo(Log::capture,
               "The X server cannot attach shared memory; reading the screen with GetImage");
        return false;
    }
    return false;
}

void X11ScreenCapture::releaseSegment()
{
    m_segment.release(m_connection->isUsable() ? m_connection->get() : nullptr);
}

void X11ScreenCapture::drawCursor(QImage &image, QPoint rootOrigin)
{
    xcb_connection_t *c = m_connection->get();
    if (!m_xfixesReady) {
        bool ready = false;
        if (extensionPresent(c, &xcb_xfixes_id)) {
            // XFixes answers nothing else before the version is agreed.
            XcbReply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
            ready = bool(version);
        }
        m_xfixesReady = ready;
    }
    if (!*m_xfixesReady)
        return;
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> cursor(
        xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
    const X11CursorImage sprite = cursorImage(cursor.get());
    if (sprite.sprite.isNull())
        return;
    QPainter painter(&image);
    painter.drawImage(sprite.topLeft - rootOrigin, sprite.sprite);
}

std::optional<QRect> X11ScreenCapture::rootBounds()
{
    xcb_connection_t *c = m_connection->get();
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, m_connection->root()), nullptr));
    if (!geometry)
        return std::nullopt;
    return QRect(0, 0, geometry->width, geometry->height);
}

} // namespace platform
