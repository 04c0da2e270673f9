#include "platform/x11/X11WindowSystem.h"

#include "platform/x11/X11Connection.h"

#include <QGuiApplication>
#include <xcb/xcb.h>

namespace platform {
namespace {

class NoWindowSystem final : public WindowSystem {
public:
    void syncPendingRequests() override {}
};

} // namespace

void X11WindowSystem::syncPendingRequests()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c))
        return;
    xcb_flush(c);
    // The reply comes after the server has handled everything sent before the request.
    XcbReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

std::unique_ptr<WindowSystem> makeX11WindowSystem()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11WindowSystem>();
    return std::make_unique<NoWindowSystem>();
}

} // namespace platform
