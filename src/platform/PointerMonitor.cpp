#include "platform/PointerMonitor.h"

#include "platform/x11/X11PointerMonitor.h"

#include <QGuiApplication>

namespace platform {
namespace {

// Where the window system offers no way to watch the pointer outside our own windows.
class AbsentPointerMonitor final : public PointerMonitor {
public:
    using PointerMonitor::PointerMonitor;
    bool start() override { return false; }
    void stop() override {}
    bool isRunning() const override { return false; }
};

} // namespace

std::unique_ptr<PointerMonitor> makePointerMonitor(QObject *parent)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11PointerMonitor>(parent);
    return std::make_unique<AbsentPointerMonitor>(parent);
}

} // namespace platform
