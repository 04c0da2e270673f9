#include "platform/x11/X11FrameSource.h"

#include "platform/FramePacer.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11CursorImage.h"
#include "platform/x11/X11ShmSegment.h"
#include "platform/x11/X11WindowList.h"

#include <QPainter>
#include <QSysInfo>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <xcb/shm.h>
#include <xcb/xfixes.h>

namespace platform {

namespace {

using Clock = FramePacer::Clock;

// ICCCM WM_STATE: a minimised window is Iconic and comes back; a withdrawn one was closed.
constexpr quint32 iconicState = 3;

bool extensionPresent(xcb_connection_t *c, xcb_extension_t *extension)
{
    const xcb_query_extension_reply_t *data = xcb_get_extension_data(c, extension);
    return data && data->present;
}

// Root pixels that are QImage::Format_RGB32 as they come: 8-bit channels in 32-bit pixels of
// our own byte order.
std::optional<QString> unsupportedScreen(X11Connection &x)
{
    const xcb_setup_t *setup = xcb_get_setup(x.get());
    const uint8_t depth = x.screen()->root_depth;
    int bitsPerPixel = 0;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem;
         xcb_format_next(&formats)) {
        if (formats.data->depth == depth)
            bitsPerPixel = formats.data->bits_per_pixel;
    }
    const bool littleEndian = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
    const bool serverLittle = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    if ((depth != 24 && depth != 32) || bitsPerPixel != 32 || littleEndian != serverLittle)
        return QStringLiteral("Unsupported pixel format of the screen");
    return std::nullopt;
}

class X11FrameStream final : public FrameStream {
public:
    X11FrameStream(std::unique_ptr<X11Connection> connection, const FrameSourceRequest &request,
                   FrameSources::FrameSink frames, FrameSources::EndSink ended)
        : m_x(std::move(connection)), m_request(request), m_frames(std::move(frames)),
          m_ended(std::move(ended))
    {
        prepareExtensions();
        m_thread = std::thread([this] { run(); });
    }

    ~X11FrameStream() override
    {
        stop();
        releaseSegment();
    }

    void stop() override
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    enum class Tick { frame, skip, ended };

    void prepareExtensions();
    void run();
    Tick readFrame(QString *reason);
    std::optional<QRect> windowArea(Tick *tick, QString *reason);
    bool readPixels(const QRect &area, const uint8_t **pixels, size_t *stride,
                    XcbReply<xcb_get_image_reply_t> &fallback);
    bool reserveSegment(size_t bytes);
    void releaseSegment();
    void drawCursor(QImage &frame, QPoint rootOrigin,
                    const XcbReply<xcb_xfixes_get_cursor_image_reply_t> &cursor);

    std::unique_ptr<X11Connection> m_x;
    FrameSourceRequest m_request;
    FrameSources::FrameSink m_frames;
    FrameSources::EndSink m_ended;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;

    bool m_sharedMemory = false;
    bool m_xfixes = false;
    xcb_atom_t m_wmState = XCB_NONE;
    X11ShmSegment m_segment;
    // Frames whose read does not fill them exactly are put together here.
    QImage m_canvas;
};

void X11FrameStream::prepareExtensions()
{
    xcb_connection_t *c = m_x->get();
    if (extensionPresent(c, &xcb_shm_id)) {
        XcbReply<xcb_shm_query_version_reply_t> version(
            xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        m_sharedMemory = bool(version);
    }
    if (m_request.showsCursor && extensionPresent(c, &xcb_xfixes_id)) {
        // XFixes answers nothing else before the version is agreed.
        XcbReply<xcb_xfixes_query_version_reply_t> version(
            xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
        m_xfixes = bool(version);
    }
    m_wmState = m_x->atom("WM_STATE");
}

void X11FrameStream::run()
{
    FramePacer pacer(m_request.frameRate, Clock::now());
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            if (m_wake.wait_until(lock, pacer.due(), [this] { return m_stopping; }))
                return;
        }
        pacer.advance(Clock::now());

        QString reason;
        const Tick tick = readFrame(&reason);
        // Errors of requests whose replies were not wanted would pile up otherwise.
        m_x->drainEvents();
        if (tick == Tick::ended) {
            m_ended(reason);
            return;
        }
    }
}

X11FrameStream::Tick X11FrameStream::readFrame(QString *reason)
{
    const qint64 timeUs =
        std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
            .count();
    xcb_connection_t *c = m_x->get();
    if (!m_x->isUsable()) {
        *reason = QStringLiteral("The connection to the X server was lost");
        return Tick::ended;
    }
    const xcb_get_geometry_cookie_t rootRequest = xcb_get_geometry(c, m_x->root());
    std::optional<xcb_xfixes_get_cursor_image_cookie_t> cursorRequest;
    if (m_xfixes)
        cursorRequest = xcb_xfixes_get_cursor_image(c);

    Tick tick = Tick::frame;
    QRect area = m_request.rootRect;
    if (m_request.window) {
        const std::optional<QRect> frame = windowArea(&tick, reason);
        if (frame)
            area = *frame;
    }
    XcbReply<xcb_get_geometry_reply_t> root(xcb_get_geometry_reply(c, rootRequest, nullptr));
    XcbReply<xcb_xfixes_get_cursor_image_reply_t> cursor;
    if (cursorRequest)
        cursor.reset(xcb_xfixes_get_cursor_image_reply(c, *cursorRequest, nullptr));
    if (tick != Tick::frame)
        return tick;
    if (!root) {
        *reason = QStringLiteral("The connection to the X server was lost");
        return Tick::ended;
    }
    const QRect visible = area & QRect(0, 0, root->width, root->height);
    if (visible.isEmpty())
        return Tick::skip;

    const uint8_t *pixels = nullptr;
    size_t stride = 0;
    XcbReply<xcb_get_image_reply_t> fallback;
    if (!readPixels(visible, &pixels, &stride, fallback))
        return Tick::skip;

    const QSize size = m_request.frameSize;
    QImage frame;
    if (visible == QRect(area.topLeft(), size) && stride == size_t(size.width()) * 4) {
        // The read is the frame: no copy.
        frame = QImage(const_cast<uint8_t *>(pixels), size.width(), size.height(),
                       qsizetype(stride), QImage::Format_RGB32);
    } else {
        if (m_canvas.size() != size)
            m_canvas = QImage(size, QImage::Format_RGB32);
        if (m_canvas.isNull())
            return Tick::skip;
        m_canvas.fill(Qt::black);
        const QRect placed =
            QRect(visible.topLeft() - area.topLeft(), visible.size()) & QRect(QPoint(0, 0), size);
        for (int y = 0; y < placed.height(); ++y) {
            std::memcpy(m_canvas.scanLine(placed.y() + y) + placed.x() * 4,
                        pixels + size_t(y) * stride, size_t(placed.width()) * 4);
        }
        frame = m_canvas;
    }
    drawCursor(frame, area.topLeft(), cursor);
    m_frames(frame, timeUs);
    return Tick::frame;
}

std::optional<QRect> X11FrameStream::windowArea(Tick *tick, QString *reason)
{
    xcb_connection_t *c = m_x->get();
    const xcb_window_t window = *m_request.window;
    const xcb_get_window_attributes_cookie_t attributesRequest =
        xcb_get_window_attributes(c, window);
    const X11GeometryRequest geometryRequest = requestWindowGeometry(*m_x, window);
    const xcb_get_property_cookie_t stateRequest = m_x->requestProperty(window, m_wmState);
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, attributesRequest, nullptr));
    const std::optional<X11WindowGeometry> geometry = takeWindowGeometry(*m_x, geometryRequest);
    const X11Property state = m_x->takeProperty(stateRequest);
    if (!attributes || !geometry) {
        *reason = QStringLiteral("The window was closed");
        *tick = Tick::ended;
        return std::nullopt;
    }
    if (attributes->map_state == XCB_MAP_STATE_VIEWABLE)
        return geometry->frame;
    if (state.value32() == iconicState || attributes->map_state == XCB_MAP_STATE_UNVIEWABLE) {
        *tick = Tick::skip; // minimised or on another desktop: nothing to show until it returns
        return std::nullopt;
    }
    *reason = QStringLiteral("The window was closed");
    *tick = Tick::ended;
    return std::nullopt;
}

bool X11FrameStream::readPixels(const QRect &area, const uint8_t **pixels, size_t *stride,
                                XcbReply<xcb_get_image_reply_t> &fallback)
{
    xcb_connection_t *c = m_x->get();
    const size_t bytes = size_t(area.width()) * size_t(area.height()) * 4;
    if (m_sharedMemory && reserveSegment(bytes)) {
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, m_x->root(), int16_t(area.x()), int16_t(area.y()),
                              uint16_t(area.width()), uint16_t(area.height()), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, m_segment.id(), 0),
            nullptr));
        if (reply && reply->size >= bytes) {
            *pixels = m_segment.data();
            *stride = size_t(area.width()) * 4;
            return true;
        }
    }
    fallback.reset(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, m_x->root(), int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        nullptr));
    if (!fallback)
        return false;
    const size_t length = size_t(xcb_get_image_data_length(fallback.get()));
    *stride = length / size_t(area.height());
    *pixels = xcb_get_image_data(fallback.get());
    return *stride >= size_t(area.width()) * 4;
}

bool X11FrameStream::reserveSegment(size_t bytes)
{
    switch (m_segment.reserve(m_x->get(), bytes)) {
    case X11ShmSegment::Reserve::ready:
        return true;
    case X11ShmSegment::Reserve::unavailable:
        return false;
    case X11ShmSegment::Reserve::refused:
        m_sharedMemory = false; // a server that cannot see our memory never will
        return false;
    }
    return false;
}

void X11FrameStream::releaseSegment()
{
    m_segment.release(m_x->isUsable() ? m_x->get() : nullptr);
}

void X11FrameStream::drawCursor(QImage &frame, QPoint rootOrigin,
                                const XcbReply<xcb_xfixes_get_cursor_image_reply_t> &cursor)
{
    const X11CursorImage image = cursorImage(cursor.get());
    if (image.sprite.isNull())
        return;
    const QImage &sprite = image.sprite;
    const QPoint at = image.topLeft - rootOrigin;
    if (!QRect(at, sprite.size()).intersects(frame.rect()))
        return;
    QPainter painter(&frame);
    painter.drawImage(at, sprite);
}

} // namespace

std::unique_ptr<FrameStream> X11FrameSources::start(const FrameSourceRequest &request,
                                                    FrameSink frames, EndSink ended, QString *error)
{
    const auto fail = [&](const QString &reason) -> std::unique_ptr<FrameStream> {
        if (error)
            *error = reason;
        return nullptr;
    };
    if (request.frameSize.width() < 2 || request.frameSize.height() < 2)
        return fail(QStringLiteral("The recording is too small"));
    auto connection = std::make_unique<X11Connection>();
    if (!connection->isUsable())
        return fail(QStringLiteral("Cannot connect to the X server"));
    if (const std::optional<QString> problem = unsupportedScreen(*connection))
        return fail(*problem);
    if (request.window) {
        xcb_connection_t *c = connection->get();
        XcbReply<xcb_get_window_attributes_reply_t> attributes(xcb_get_window_attributes_reply(
            c, xcb_get_window_attributes(c, *request.window), nullptr));
        if (!attributes)
            return fail(QStringLiteral("Window %1 does not exist").arg(*request.window));
    }
    return std::make_unique<X11FrameStream>(std::move(connection), request, std::move(frames),
                                            std::move(ended));
}

} // namespace platform
