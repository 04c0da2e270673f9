#include "platform/WindowList.h"
#include "platform/x11/Ewmh.h"
#include "platform/x11/X11Platform.h"

#include <gtest/gtest.h>

using namespace platform;

namespace {

WindowInfo window(WindowId id, QRectF frame = {})
{
    WindowInfo info;
    info.id = id;
    info.captureFrame = frame;
    return info;
}

EwmhClient client(WindowId id, bool hidden = false, std::optional<quint32> desktop = {})
{
    return {window(id), hidden, desktop};
}

QList<WindowId> ids(const QList<WindowInfo> &windows)
{
    QList<WindowId> result;
    for (const WindowInfo &info : windows)
        result.append(info.id);
    return result;
}

} // namespace

TEST(WindowList, HitTestIsHalfOpenAndFollowsListOrder)
{
    const QList<WindowInfo> windows = {window(1, QRectF(0, 0, 100, 100)),
                                       window(2, QRectF(100, 0, 100, 100)),
                                       window(3, QRectF(0, 0, 300, 300))};
    EXPECT_EQ(windowIndexAt(windows, QPointF(99.5, 50)), 0);
    // The shared edge belongs to the right-hand window.
    EXPECT_EQ(windowIndexAt(windows, QPointF(100, 50)), 1);
    // The bottom edge is outside the first two; the larger one below still holds it.
    EXPECT_EQ(windowIndexAt(windows, QPointF(50, 100)), 2);
    EXPECT_EQ(windowIndexAt(windows, QPointF(0, 0)), 0);
    EXPECT_FALSE(windowIndexAt(windows, QPointF(300, 10)).has_value());
    EXPECT_FALSE(windowIndexAt({}, QPointF(0, 0)).has_value());
}

TEST(WindowList, StackingIsReversedAndHiddenOrOtherDesktopWindowsLeftOut)
{
    const QList<EwmhClient> bottomToTop = {client(1, false, 0), client(2, true, 0),
                                           client(3, false, 1), client(4, false, allDesktops),
                                           client(5, false, 0), client(6)};
    EXPECT_EQ(ids(visibleTopmostFirst(bottomToTop, 0)), (QList<WindowId>{6, 5, 4, 1}));
    EXPECT_EQ(ids(visibleTopmostFirst(bottomToTop, 1)), (QList<WindowId>{6, 4, 3}));
    // Without a current desktop only minimised windows go.
    EXPECT_EQ(ids(visibleTopmostFirst(bottomToTop, std::nullopt)),
              (QList<WindowId>{6, 5, 4, 3, 1}));
}

TEST(WindowList, FrameGrowsTheClientByTheExtents)
{
    const FrameExtents openbox = frameExtents({1, 1, 20, 5});
    EXPECT_EQ(frameRect(QRect(100, 100, 400, 300), openbox), QRect(99, 80, 402, 325));
    EXPECT_EQ(frameRect(QRect(100, 100, 400, 300), frameExtents({1, 2, 3})),
              QRect(100, 100, 400, 300));
    // A broken hint cannot wrap around to negative sizes.
    const FrameExtents huge = frameExtents({0xFFFFFFFFu, 0, 0, 0});
    EXPECT_GT(huge.left, 0);
}

TEST(WindowList, ClassAndTitleAreDecodedWithFallbacks)
{
    const WmClass full = parseWmClass(QByteArray("corvanta\0Corvanta\0", 18));
    EXPECT_EQ(full.instance, "corvanta");
    EXPECT_EQ(full.className, "Corvanta");
    const WmClass instanceOnly = parseWmClass("xterm");
    EXPECT_EQ(instanceOnly.instance, "xterm");
    EXPECT_TRUE(instanceOnly.className.isEmpty());
    EXPECT_TRUE(parseWmClass({}).instance.isEmpty());

    EXPECT_EQ(windowTitle("Gr\xC3\xBC\xC3\x9F"
                          "e",
                          "ignored", false),
              QString::fromUtf8("Grüße"));
    EXPECT_EQ(windowTitle({}, "caf\xE9", false), QString::fromUtf8("café"));
    EXPECT_EQ(windowTitle(QByteArray("\0", 1), "caf\xC3\xA9", true), QString::fromUtf8("café"));
    EXPECT_TRUE(windowTitle({}, {}, false).isEmpty());
}

TEST(WindowList, WithoutX11EveryPartReportsAbsenceAndCapturesFail)
{
    // Unit tests run on the offscreen platform.
    const ScreenshotPlatform platform = makeX11ScreenshotPlatform();
    EXPECT_TRUE(platform.displays->displays().isEmpty());
    EXPECT_FALSE(platform.displays->displayUnderPointer().has_value());
    EXPECT_TRUE(platform.windowList->windows().isEmpty());
    EXPECT_FALSE(platform.compositor->isCompositing());
    const CaptureResult result = platform.screenCapture->captureRect(QRectF(0, 0, 10, 10), false);
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.failure.isEmpty());
    EXPECT_FALSE(platform.screenCapture->captureWindow(1, true, false).ok());
    EXPECT_TRUE(platform.screenCapture->captureAllDisplays(false).isEmpty());
}
