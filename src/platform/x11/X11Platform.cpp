#include "platform/x11/X11Platform.h"

#include "platform/x11/X11Compositor.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Displays.h"
#include "platform/x11/X11ScreenCapture.h"
#include "platform/x11/X11WindowList.h"

#include <QGuiApplication>

namespace platform {
namespace {

const QString withoutX11 = QStringLiteral("Screen capture needs an X11 display");

class AbsentDisplays final : public Displays {
public:
    QList<Display> displays() const override { return {}; }
    std::optional<QPointF> pointerLocation() const override { return std::nullopt; }
};

class AbsentScreenCapture final : public ScreenCapture {
public:
    CaptureResult captureRect(const QRectF &, bool) override
    {
        return CaptureResult::failed(withoutX11);
    }
    CaptureResult captureDisplay(DisplayId, bool) override
    {
        return CaptureResult::failed(withoutX11);
    }
    QHash<DisplayId, QImage> captureAllDisplays(bool) override { return {}; }
    CaptureResult captureWindow(WindowId, bool, bool) override
    {
        return CaptureResult::failed(withoutX11);
    }
};

class AbsentWindowList final : public WindowList {
public:
    QList<WindowInfo> windows() const override { return {}; }
};

class AbsentCompositor final : public Compositor {
public:
    bool isCompositing() const override { return false; }
};

ScreenshotPlatform absentPlatform()
{
    return {std::make_shared<AbsentDisplays>(), std::make_shared<AbsentScreenCapture>(),
            std::make_shared<AbsentWindowList>(), std::make_shared<AbsentCompositor>()};
}

} // namespace

ScreenshotPlatform makeX11ScreenshotPlatform()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return absentPlatform();
    auto connection = std::make_shared<X11Connection>();
    if (!connection->isUsable())
        return absentPlatform();
    auto snapshot = std::make_shared<DisplaySnapshot>();
    return {std::make_shared<X11Displays>(connection, snapshot),
            std::make_shared<X11ScreenCapture>(connection, snapshot),
            std::make_shared<X11WindowList>(connection, snapshot),
            std::make_shared<X11Compositor>(connection)};
}

} // namespace platform
