#include "platform/x11/X11Displays.h"

#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <QScreen>
#include <xcb/randr.h>

namespace platform {
namespace {

struct RandrOutput {
    quint32 id = 0;
    QString name;
    QRect rect;
};

// Identifiers for screens without a RandR output; far above the small numbers the server hands
// out for outputs.
constexpr quint32 unpairedDisplayId = 0x80000000u;

// The active outputs: those driven by a CRTC.
QList<RandrOutput> readOutputs(X11Connection &x)
{
    QList<RandrOutput> outputs;
    xcb_connection_t *c = x.get();
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(c, &xcb_randr_id);
    if (!extension || !extension->present)
        return outputs;
    XcbReply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    if (!version || (version->major_version == 1 && version->minor_version < 3))
        return outputs;

    XcbReply<xcb_randr_get_screen_resources_current_reply_t> resources(
        xcb_randr_get_screen_resources_current_reply(
            c, xcb_randr_get_screen_resources_current(c, x.root()), nullptr));
    if (!resources)
        return outputs;
    const xcb_randr_output_t *ids = xcb_randr_get_screen_resources_current_outputs(resources.get());
    const int count = xcb_randr_get_screen_resources_current_outputs_length(resources.get());

    QList<xcb_randr_get_output_info_cookie_t> infoCookies;
    for (int i = 0; i < count; ++i)
        infoCookies.append(xcb_randr_get_output_info(c, ids[i], resources->config_timestamp));
    QList<xcb_randr_get_crtc_info_cookie_t> crtcCookies;
    for (int i = 0; i < count; ++i) {
        XcbReply<xcb_randr_get_output_info_reply_t> info(
            xcb_randr_get_output_info_reply(c, infoCookies[i], nullptr));
        if (!info || info->crtc == XCB_NONE)
            continue;
        RandrOutput output;
        output.id = ids[i];
        output.name = QString::fromUtf8(
            reinterpret_cast<const char *>(xcb_randr_get_output_info_name(info.get())),
            xcb_randr_get_output_info_name_length(info.get()));
        outputs.append(output);
        crtcCookies.append(xcb_randr_get_crtc_info(c, info->crtc, resources->config_timestamp));
    }
    for (qsizetype i = 0; i < outputs.size(); ++i) {
        XcbReply<xcb_randr_get_crtc_info_reply_t> crtc(
            xcb_randr_get_crtc_info_reply(c, crtcCookies[i], nullptr));
        if (crtc)
            outputs[i].rect = QRect(crtc->x, crtc->y, crtc->width, crtc->height);
    }
    return outputs;
}

QSize readDesktopSize(X11Connection &x)
{
    xcb_connection_t *c = x.get();
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, x.root()), nullptr));
    return geometry ? QSize(geometry->width, geometry->height) : QSize();
}

// The output of the same name, else one with the same rectangle (Qt names a screen after its
// RandR monitor, which may differ from the output's name).
const RandrOutput *pairedOutput(const QList<RandrOutput> &outputs, const Display &display)
{
    for (const RandrOutput &output : outputs) {
        if (output.name == display.name)
            return &output;
    }
    for (const RandrOutput &output : outputs) {
        if (output.rect == display.rootRect)
            return &output;
    }
    return nullptr;
}

} // namespace

QList<Display> DisplaySnapshot::get() const
{
    QMutexLocker lock(&m_mutex);
    return m_displays;
}

bool DisplaySnapshot::set(const QList<Display> &displays, QSize desktopSize)
{
    QMutexLocker lock(&m_mutex);
    if (m_displays == displays && m_desktopSize == desktopSize)
        return false;
    m_displays = displays;
    m_desktopSize = desktopSize;
    return true;
}

X11Displays::X11Displays(std::shared_ptr<X11Connection> connection,
                         std::shared_ptr<DisplaySnapshot> snapshot, QObject *parent)
    : Displays(parent), m_connection(std::move(connection)), m_snapshot(std::move(snapshot))
{
    // Queued: while Qt announces a change its screen list may still be in flux.
    connect(
        qApp, &QGuiApplication::screenAdded, this,
        [this](QScreen *screen) {
            watch(screen);
            refresh();
        },
        Qt::QueuedConnection);
    connect(qApp, &QGuiApplication::screenRemoved, this, &X11Displays::refresh,
            Qt::QueuedConnection);
    connect(qApp, &QGuiApplication::primaryScreenChanged, this, &X11Displays::refresh,
            Qt::QueuedConnection);
    for (QScreen *screen : QGuiApplication::screens())
        watch(screen);
    read();

    // Qt selects RandR's screen changes on its root windows; its event filters see them first.
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *qtConnection = x11 ? x11->connection() : nullptr;
    if (qtConnection && !xcb_connection_has_error(qtConnection)) {
        const xcb_query_extension_reply_t *randr =
            xcb_get_extension_data(qtConnection, &xcb_randr_id);
        if (randr && randr->present) {
            m_screenChangeEvent = quint8(randr->first_event + XCB_RANDR_SCREEN_CHANGE_NOTIFY);
            qApp->installNativeEventFilter(this);
        }
    }
}

X11Displays::~X11Displays()
{
    if (m_screenChangeEvent != 0 && qApp)
        qApp->removeNativeEventFilter(this);
}

bool X11Displays::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    // Queued, so that Qt handles the outputs' own change events of the same change first.
    if ((event->response_type & 0x7f) == m_screenChangeEvent)
        QMetaObject::invokeMethod(this, &X11Displays::refresh, Qt::QueuedConnection);
    return false;
}

QList<Display> X11Displays::displays() const
{
    return m_snapshot->get();
}

std::optional<QPointF> X11Displays::pointerLocation() const
{
    QMutexLocker lock(&m_connection->mutex());
    if (!m_connection->isUsable())
        return std::nullopt;
    xcb_connection_t *c = m_connection->get();
    XcbReply<xcb_query_pointer_reply_t> reply(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, m_connection->root()), nullptr));
    if (!reply || !reply->same_screen)
        return std::nullopt;
    return rootToScreen(QPointF(reply->root_x, reply->root_y), m_snapshot->get());
}

void X11Displays::refresh()
{
    if (read())
        emit displaysChanged();
}

bool X11Displays::read()
{
    QSize desktopSize;
    const QList<Display> displays = readDisplays(&desktopSize);
    return m_snapshot->set(displays, desktopSize);
}

void X11Displays::watch(QScreen *screen)
{
    connect(screen, &QScreen::geometryChanged, this, &X11Displays::refresh, Qt::QueuedConnection);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &X11Displays::refresh,
            Qt::QueuedConnection);
}

QList<Display> X11Displays::readDisplays(QSize *desktopSize) const
{
    QList<RandrOutput> outputs;
    {
        QMutexLocker lock(&m_connection->mutex());
        if (m_connection->isUsable()) {
            outputs = readOutputs(*m_connection);
            *desktopSize = readDesktopSize(*m_connection);
            m_connection->drainEvents();
        }
    }

    QList<Display> displays;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (qsizetype i = 0; i < screens.size(); ++i) {
        QScreen *screen = screens[i];
        Display display;
        display.name = screen->name();
        display.scale = screen->devicePixelRatio();
        display.isMain = screen == QGuiApplication::primaryScreen();
        // Qt keeps a screen's origin and divides its size by the scale.
        const QRect logical = screen->geometry();
        display.rootRect =
            QRect(logical.topLeft(), (QSizeF(logical.size()) * display.scale).toSize());
        display.id = unpairedDisplayId | quint32(i);
        if (const RandrOutput *output = pairedOutput(outputs, display)) {
            display.id = output->id;
            display.rootRect = output->rect;
        }
        displays.append(display);
    }
    return arrangeDisplays(displays);
}

} // namespace platform
