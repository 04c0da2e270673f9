#include "platform/x11/X11Platform.h"
#include "platform/x11/X11ScreenCapture.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QCoreApplication>
#include <QCursor>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using namespace platform;

namespace {

const QSize clientSize(400, 300);

// Four solid blocks; the odd one tells the channels apart.
void paintPattern(QPainter &painter)
{
    painter.fillRect(0, 0, 200, 150, QColor(255, 0, 0));
    painter.fillRect(200, 0, 200, 150, QColor(0, 255, 0));
    painter.fillRect(0, 150, 200, 150, QColor(0, 0, 255));
    painter.fillRect(200, 150, 200, 150, QColor(17, 34, 51));
}

QImage expectedPattern()
{
    QImage image(clientSize, QImage::Format_RGB32);
    QPainter painter(&image);
    paintPattern(painter);
    return image;
}

class PatternWindow : public QWidget {
public:
    PatternWindow() { setFixedSize(clientSize); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        paintPattern(painter);
    }
};

class X11ScreenshotPlatform : public X11DesktopTest {
protected:
    // A decorated window showing the pattern, placed and painted.
    std::unique_ptr<PatternWindow> showWindow(const QString &title, QPoint position = {300, 200})
    {
        auto window = std::make_unique<PatternWindow>();
        window->setWindowTitle(title);
        window->move(position);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Painted once the client reads as the pattern, decorated once listed with a frame.
        const WindowId id = WindowId(window->winId());
        EXPECT_TRUE(waitUntil([&] {
            const std::optional<WindowInfo> info = listed(id);
            const QRectF client(clientOrigin(*window), clientSize);
            return info && info->captureFrame.height() > clientSize.height() &&
                   m_platform.screenCapture->captureRect(client, false).image == expectedPattern();
        }));
        return window;
    }

    // The main display starts at the root origin here, so Qt's global positions are capture
    // coordinates.
    static QPoint clientOrigin(const QWidget &window) { return window.mapToGlobal(QPoint(0, 0)); }
};

} // namespace

TEST_F(X11ScreenshotPlatform, DisplaysMatchTheServerAndLocateThePointer)
{
    const QList<platform::Display> displays = m_platform.displays->displays();
    ASSERT_EQ(displays.size(), 1);
    EXPECT_TRUE(displays[0].isMain);
    EXPECT_EQ(displays[0].rootRect, QRect(0, 0, 1920, 1080));
    EXPECT_EQ(displays[0].captureFrame, QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displays[0].scale, 1.0);
    EXPECT_EQ(displays[0].name, QGuiApplication::primaryScreen()->name());
    EXPECT_EQ(m_platform.displays->display(12345)->id, displays[0].id);

    QCursor::setPos(100, 200);
    EXPECT_TRUE(
        waitUntil([&] { return m_platform.displays->pointerLocation() == QPointF(100, 880); }));
    EXPECT_EQ(m_platform.displays->displayUnderPointer()->id, displays[0].id);
    EXPECT_FALSE(m_platform.compositor->isCompositing());
}

TEST_F(X11ScreenshotPlatform, CapturesGiveTheExactPixelsOnEveryPath)
{
    const auto window = showWindow(QStringLiteral("Corvanta pixels"));
    const QPoint origin = clientOrigin(*window);
    const QImage expected = expectedPattern();
    auto *capture = dynamic_cast<X11ScreenCapture *>(m_platform.screenCapture.get());
    ASSERT_NE(capture, nullptr);

    const CaptureResult display =
        capture->captureDisplay(m_platform.displays->mainDisplay()->id, false);
    ASSERT_TRUE(display.ok()) << qPrintable(display.failure);
    EXPECT_EQ(display.image.size(), QSize(1920, 1080));
    EXPECT_EQ(display.image.format(), QImage::Format_RGB32);
    EXPECT_EQ(display.image.copy(QRect(origin, clientSize)), expected);

    EXPECT_EQ(capture->captureRect(QRectF(origin, clientSize), false).image, expected);
    EXPECT_EQ(capture->captureRect(QRectF(origin + QPoint(190, 140), QSizeF(20, 20)), false).image,
              expected.copy(190, 140, 20, 20));

    // Only the window's client is compared across reads: the window manager redraws the title
    // bar when it gives the window the focus, which can fall between two reads.
    capture->setSharedMemoryEnabled(false);
    const CaptureResult plain = capture->captureDisplay(0, false);
    capture->setSharedMemoryEnabled(true);
    ASSERT_TRUE(plain.ok()) << qPrintable(plain.failure);
    EXPECT_EQ(plain.image.size(), display.image.size());
    EXPECT_EQ(plain.image.copy(QRect(origin, clientSize)), expected);

    const QHash<DisplayId, QImage> all = capture->captureAllDisplays(false);
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all.begin().value().size(), display.image.size());
    EXPECT_EQ(all.begin().value().copy(QRect(origin, clientSize)), expected);

    // From a worker thread, as the area selection freezes displays.
    QImage fromWorker;
    std::thread worker(
        [&] { fromWorker = capture->captureRect(QRectF(origin, clientSize), false).image; });
    worker.join();
    EXPECT_EQ(fromWorker, expected);
}

TEST_F(X11ScreenshotPlatform, RectanglesAreClippedToTheScreenAndEmptyOnesFail)
{
    ScreenCapture &capture = *m_platform.screenCapture;
    EXPECT_EQ(capture.captureRect(QRectF(1900, 1060, 100, 100), false).image.size(), QSize(20, 20));
    EXPECT_EQ(capture.captureRect(QRectF(-10, -10, 30, 30), false).image.size(), QSize(20, 20));
    for (const QRectF &rect :
         {QRectF(5000, 5000, 10, 10), QRectF(10, 10, 0, 5), QRectF(10, 10, -5, 5),
          QRectF(1e12, 0, 10, 10), QRectF(0, 0, 1e12, 10)}) {
        const CaptureResult result = capture.captureRect(rect, false);
        EXPECT_FALSE(result.ok());
        EXPECT_FALSE(result.failure.isEmpty());
    }
}

TEST_F(X11ScreenshotPlatform, TheCursorIsDrawnOnlyWhenAsked)
{
    const auto window = showWindow(QStringLiteral("Corvanta cursor"));
    const QPoint pointer = clientOrigin(*window) + QPoint(100, 75);
    QCursor::setPos(pointer);
    ASSERT_TRUE(waitUntil([&] {
        return m_platform.displays->pointerLocation() == QPointF(pointer.x(), 1080 - pointer.y());
    }));
    const QRectF around(pointer - QPoint(32, 32), QSizeF(64, 64));
    const QImage plain = m_platform.screenCapture->captureRect(around, false).image;
    const QImage withCursor = m_platform.screenCapture->captureRect(around, true).image;
    QImage red(64, 64, QImage::Format_RGB32);
    red.fill(qRgb(255, 0, 0));
    EXPECT_EQ(plain, red);
    ASSERT_FALSE(withCursor.isNull());
    EXPECT_NE(withCursor, plain);
}

TEST_F(X11ScreenshotPlatform, TheTopmostWindowIsListedWithItsOwnerAndFrame)
{
    const QString title = QString::fromUtf8("Corvanta list ✓");
    const auto below = showWindow(QStringLiteral("Corvanta below"), QPoint(600, 400));
    const auto window = showWindow(title);
    window->raise();
    const WindowId id = WindowId(window->winId());
    ASSERT_TRUE(waitUntil([&] {
        const QList<WindowInfo> windows = m_platform.windowList->windows();
        return !windows.isEmpty() && windows.first().id == id;
    }));
    const WindowInfo info = m_platform.windowList->windows().first();
    EXPECT_EQ(info.title, title);
    EXPECT_EQ(info.applicationName, QCoreApplication::applicationName());
    EXPECT_EQ(info.applicationId, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_EQ(info.pid, QCoreApplication::applicationPid());
    EXPECT_TRUE(info.ownProcess);
    EXPECT_TRUE(info.isOnScreen);
    EXPECT_EQ(info.layer, normalWindowLayer);
    // The decorations surround the client on every side but the frame is never far larger.
    const QRectF client(clientOrigin(*window), clientSize);
    EXPECT_TRUE(info.captureFrame.contains(client));
    EXPECT_GT(info.captureFrame.height(), client.height());
    EXPECT_LT(info.captureFrame.width(), client.width() + 50);
    EXPECT_EQ(info.screenFrame,
              captureToScreen(info.captureFrame, m_platform.displays->displays()));
    EXPECT_TRUE(listed(WindowId(below->winId())).has_value());
}

TEST_F(X11ScreenshotPlatform, MinimisedWindowsAreLeftOut)
{
    const auto kept = showWindow(QStringLiteral("Corvanta kept"));
    const auto minimised = showWindow(QStringLiteral("Corvanta minimised"), QPoint(700, 300));
    const WindowId id = WindowId(minimised->winId());
    ASSERT_TRUE(listed(id).has_value());
    minimised->showMinimized();
    EXPECT_TRUE(waitUntil([&] { return !listed(id).has_value(); }));
    EXPECT_TRUE(listed(WindowId(kept->winId())).has_value());
    // Its place on the screen shows other windows, not it, once the server has unmapped it
    // (the window manager may list it as minimised a moment before).
    EXPECT_TRUE(
        waitUntil([&] { return !m_platform.screenCapture->captureWindow(id, true, false).ok(); }));
}

TEST_F(X11ScreenshotPlatform, WindowCaptureWithoutCompositorCropsTheFrameFromTheScreen)
{
    const auto window = showWindow(QStringLiteral("Corvanta window capture"));
    const WindowId id = WindowId(window->winId());
    const std::optional<WindowInfo> info = listed(id);
    ASSERT_TRUE(info.has_value());

    const CaptureResult framed = m_platform.screenCapture->captureWindow(id, true, false);
    ASSERT_TRUE(framed.ok()) << qPrintable(framed.failure);
    EXPECT_EQ(framed.image.size(), info->captureFrame.size().toSize());
    EXPECT_EQ(framed.capturedArea, info->captureFrame);
    const QPoint clientInFrame = clientOrigin(*window) - info->captureFrame.topLeft().toPoint();
    EXPECT_EQ(framed.image.copy(QRect(clientInFrame, clientSize)), expectedPattern());

    EXPECT_EQ(m_platform.screenCapture->captureWindow(id, false, false).image, expectedPattern());
    EXPECT_FALSE(m_platform.screenCapture->captureWindow(0x7ffffff0u, true, false).ok());
}

TEST_F(X11ScreenshotPlatform, WindowCaptureWithCompositorReadsCoveredParts)
{
    if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
        GTEST_SKIP() << "xcompmgr is not installed";
    QProcess compositor;
    compositor.start(QStringLiteral("xcompmgr"), QStringList());
    ASSERT_TRUE(compositor.waitForStarted());
    const auto stopCompositor = qScopeGuard([&] {
        compositor.terminate();
        if (!compositor.waitForFinished(2000))
            compositor.kill();
        compositor.waitForFinished(2000);
    });
    ASSERT_TRUE(waitUntil([&] { return m_platform.compositor->isCompositing(); }));

    const auto window = showWindow(QStringLiteral("Corvanta covered"));
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("Corvanta cover"));
    cover.setFixedSize(200, 200);
    cover.setAutoFillBackground(true);
    cover.setPalette(QPalette(Qt::black));
    cover.move(clientOrigin(*window) + QPoint(100, 50));
    cover.show();
    const QRectF client(clientOrigin(*window), clientSize);
    ASSERT_TRUE(waitUntil([&] {
        return m_platform.screenCapture->captureRect(client, false).image != expectedPattern();
    }));

    const WindowId id = WindowId(window->winId());
    EXPECT_EQ(m_platform.screenCapture->captureWindow(id, false, false).image, expectedPattern());
    const CaptureResult framed = m_platform.screenCapture->captureWindow(id, true, false);
    ASSERT_TRUE(framed.ok()) << qPrintable(framed.failure);
    EXPECT_EQ(framed.image.size(), listed(id)->captureFrame.size().toSize());
    EXPECT_EQ(framed.capturedArea, listed(id)->captureFrame);
}
