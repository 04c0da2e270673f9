#include "capture/ScreenCaptureService.h"
#include "model/CaptureErrors.h"
#include "platform/Background.h"
#include "support/AwaitError.h"
#include "support/FakeDisplays.h"
#include "support/FakeScreenCapture.h"
#include "support/FakeWindowSystem.h"
#include "support/Joined.h"
#include "support/LogCapture.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <gtest/gtest.h>

using platform::DisplayId;

namespace {

template <typename T> std::optional<CaptureError> errorOf(QCoro::Task<T> task)
{
    return awaitError<CaptureError>(std::move(task));
}

class ScreenCaptureServiceTest : public ::testing::Test {
protected:
    // A main display of 1512 x 982 points at scale 2 and a plain one to its right.
    std::shared_ptr<FakeDisplays> displays = std::make_shared<FakeDisplays>(
        QList<platform::Display>{FakeDisplays::make(1, QRect(0, 0, 3024, 1964), 2.0, true),
                                 FakeDisplays::make(2, QRect(3024, 0, 1920, 1080))});
    std::shared_ptr<FakeScreenCapture> capture = std::make_shared<FakeScreenCapture>(*displays);
    std::shared_ptr<FakeWindowSystem> windowSystem = std::make_shared<FakeWindowSystem>();
    std::unique_ptr<ScreenCaptureService> service =
        std::make_unique<ScreenCaptureService>(capture, displays, windowSystem);
    LogCapture log;
};

TEST_F(ScreenCaptureServiceTest, DisplayCaptureReadsTheChosenOrElseTheMainDisplay)
{
    EXPECT_EQ(QCoro::waitFor(service->captureDisplay(2, true, {77})).size(), QSize(1920, 1080));
    EXPECT_EQ(QCoro::waitFor(service->captureDisplay(999, false, {})).size(), QSize(3024, 1964));
    EXPECT_EQ(joined(capture->calls()),
              joined({"display(2, cursor=true)", "display(1, cursor=false)"}));
    EXPECT_EQ(joined(log.messages("capture")),
              joined({"Starting full display capture for display ID: 2, showsCursor: true",
                      "Captured display successfully via ScreenCaptureKit (1920x1080)",
                      "Starting full display capture for display ID: 999, showsCursor: false",
                      "Captured display successfully via ScreenCaptureKit (3024x1964)"}));
}

TEST_F(ScreenCaptureServiceTest, WithoutDisplaysNothingIsRead)
{
    displays->set({});
    EXPECT_EQ(errorOf(service->captureDisplay(7, false, {})), CaptureError::noDisplayFound());
    EXPECT_EQ(errorOf(service->captureArea(QRectF(0, 0, 10, 10), {})),
              CaptureError::noDisplayFound());
    EXPECT_TRUE(QCoro::waitFor(service->captureAllDisplays(false, {})).isEmpty());
    EXPECT_TRUE(capture->calls().isEmpty());
    // Only the display capture names the failure.
    EXPECT_EQ(log.lines().filter("|error|"),
              QStringList({"capture|error|No matching SCDisplay found for ID 7"}));
}

TEST_F(ScreenCaptureServiceTest, ReadFailuresBecomeCaptureFailedWithTheReason)
{
    capture->failure = QStringLiteral("The X server did not hand out the image");
    const CaptureError expected = CaptureError::captureFailed(capture->failure);
    EXPECT_EQ(errorOf(service->captureDisplay(1, false, {})), expected);
    EXPECT_EQ(errorOf(service->captureArea(QRectF(0, 0, 10, 10), {})), expected);
    EXPECT_EQ(errorOf(service->captureWindow(platform::WindowInfo{}, false, true)), expected);
    EXPECT_TRUE(log.messages("capture").filter("Captured").isEmpty());
}

TEST_F(ScreenCaptureServiceTest, AreaCaptureRefusesSliversAndTakesTheRestWithoutThePointer)
{
    for (const QRectF &rect : {QRectF(10, 10, 1.5, 50), QRectF(10, 10, 50, 1.99),
                               QRectF(10, 10, -1.5, 50), QRectF(10, 10, NAN, 50)}) {
        EXPECT_EQ(errorOf(service->captureArea(rect, {})), CaptureError::invalidSelection());
    }
    EXPECT_EQ(log.lines().count("capture|error|Capture area rect too small"), 4);
    EXPECT_EQ(windowSystem->syncCount, 0);
    log.clear();

    EXPECT_EQ(QCoro::waitFor(service->captureArea(QRectF(10, 20, 2, 2), {})).size(), QSize(4, 4));
    // Dragged backwards, it is the same rectangle.
    QCoro::waitFor(service->captureArea(QRectF(110, 120, -100, -100), {}));
    EXPECT_EQ(joined(capture->calls()),
              joined({"rect(10,20 2x2, cursor=false)", "rect(10,20 100x100, cursor=false)"}));
    EXPECT_EQ(log.messages("capture").mid(0, 2),
              QStringList({"Starting area capture: 10.000000,20.000000 2.000000x2.000000",
                           "Captured area successfully via ScreenCaptureKit (4x4)"}));
}

TEST_F(ScreenCaptureServiceTest, WindowCaptureTakesTheDecoratedWindowWithOrWithoutShadows)
{
    platform::WindowInfo window;
    window.id = 0x1a00007;
    QCoro::waitFor(service->captureWindow(window, true, false));
    QCoro::waitFor(service->captureWindow(window, false, true));
    EXPECT_EQ(joined(capture->calls()),
              joined({"window(27262983, decorations=true, cursor=true)",
                      "window(27262983, decorations=true, cursor=false)"}));
    // Without a frame, the 40 × 30 pixels are 20 × 15 points at the main display's scale 2.
    EXPECT_EQ(log.messages("capture"),
              QStringList({"Starting window capture for window ID: 27262983, showsCursor: true, "
                           "ignoreShadows: false",
                           "Captured window successfully via ScreenCaptureKit (296x286)",
                           "Starting window capture for window ID: 27262983, showsCursor: false, "
                           "ignoreShadows: true",
                           "Captured window successfully via ScreenCaptureKit (40x30)"}));
}

TEST_F(ScreenCaptureServiceTest, AShadowedWindowGrowsBy128PointsAtTheMainDisplaysScale)
{
    capture->windowImage = QImage(800, 600, QImage::Format_RGB32);
    capture->windowImage.fill(qRgb(10, 120, 230));
    platform::WindowInfo window;
    window.id = 5;
    window.captureFrame = QRectF(100, 50, 400, 300);

    const QImage shadowed = QCoro::waitFor(service->captureWindow(window, false, false));
    ASSERT_EQ(shadowed.size(), QSize(1056, 856));
    EXPECT_EQ(shadowed.pixel(528, 428), qRgb(10, 120, 230));
    EXPECT_EQ(shadowed.pixel(128, 128), qRgb(10, 120, 230));
    EXPECT_EQ(qAlpha(shadowed.pixel(127, 128)), qAlpha(shadowed.pixel(928, 128)));
    EXPECT_LT(qAlpha(shadowed.pixel(127, 128)), 255);
    EXPECT_EQ(qAlpha(shadowed.pixel(0, 855)), 0);

    const QImage bare = QCoro::waitFor(service->captureWindow(window, false, true));
    EXPECT_EQ(bare, capture->windowImage);

    // The main display decides the scale, also for a window on the other display.
    displays->set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                   FakeDisplays::make(2, QRect(1920, 0, 3840, 2160), 2.0)});
    capture->windowImage = QImage(400, 300, QImage::Format_RGB32);
    window.captureFrame = QRectF(2000, 50, 400, 300);
    EXPECT_EQ(QCoro::waitFor(service->captureWindow(window, false, false)).size(), QSize(528, 428));
    displays->set({});
    EXPECT_EQ(QCoro::waitFor(service->captureWindow(window, false, false)).size(),
              QSize(1056, 856));
}

TEST_F(ScreenCaptureServiceTest, TheShadowSurroundsThePartOfTheWindowThatWasRead)
{
    platform::WindowInfo window;
    window.id = 5;
    window.captureFrame = QRectF(1300, 800, 700, 500);
    // Partly off the main display (1512 x 982 points at scale 2), then resized since listed.
    for (const QRectF &area : {QRectF(1300, 800, 212, 182), QRectF(1300, 800, 900, 500)}) {
        SCOPED_TRACE(area.width());
        const QSize pixels = (area.size() * 2).toSize();
        capture->windowArea = area;
        capture->windowImage = QImage(pixels, QImage::Format_RGB32);
        for (int y = 0; y < pixels.height(); ++y) {
            for (int x = 0; x < pixels.width(); ++x)
                capture->windowImage.setPixel(x, y, qRgb(x & 0xff, y & 0xff, 77));
        }
        const QImage shot = QCoro::waitFor(service->captureWindow(window, false, false));
        ASSERT_EQ(shot.size(), pixels + QSize(256, 256));
        EXPECT_EQ(shot.copy(QRect(QPoint(128, 128), pixels)).convertToFormat(QImage::Format_RGB32),
                  capture->windowImage);
    }
}

TEST_F(ScreenCaptureServiceTest, AllDisplaysAreReadAtOnceAndFailuresLeftOut)
{
    displays->set({FakeDisplays::make(1, QRect(0, 0, 800, 600), 1.0, true),
                   FakeDisplays::make(2, QRect(800, 0, 800, 600)),
                   FakeDisplays::make(3, QRect(1600, 0, 640, 480))});
    capture->failingDisplays = {2};
    // As many reads at once as the pool has threads for (two on a two-core machine).
    const int atOnce = std::min(3, platform::backgroundThreads()->maxThreadCount());
    capture->holdUntilAtOnce = atOnce;
    const QHash<DisplayId, QImage> images = QCoro::waitFor(service->captureAllDisplays(true, {}));
    EXPECT_EQ(images.keys().size(), 2);
    EXPECT_EQ(images.value(3).size(), QSize(640, 480));
    EXPECT_EQ(capture->mostAtOnce(), atOnce);
    EXPECT_EQ(log.messages("capture"),
              QStringList({"Starting concurrent full display capture for all displays"}));
}

TEST_F(ScreenCaptureServiceTest, PendingWindowRequestsAreSyncedBeforeEveryRead)
{
    std::atomic<int> synced = 0;
    std::atomic<int> readsBeforeSync = 0;
    windowSystem->onSync = [&] { ++synced; };
    capture->onRead = [&] { readsBeforeSync += synced == 0; };
    QCoro::waitFor(service->captureDisplay(1, false, {}));
    QCoro::waitFor(service->captureAllDisplays(false, {}));
    QCoro::waitFor(service->captureArea(QRectF(0, 0, 10, 10), {}));
    QCoro::waitFor(service->captureWindow(platform::WindowInfo{}, false, false));
    EXPECT_EQ(windowSystem->syncCount, 4);
    EXPECT_EQ(readsBeforeSync, 0);
}

TEST_F(ScreenCaptureServiceTest, ReadsRunOffTheMainThreadAndOutliveTheService)
{
    // The read waits for a timer of the main thread, which fires only while that thread is free.
    QSemaphore mainThreadRan;
    std::atomic<bool> readOnMainThread = true;
    QThread *mainThread = QThread::currentThread();
    capture->onRead = [&] {
        readOnMainThread = QThread::currentThread() == mainThread;
        mainThreadRan.tryAcquire(1, 5000);
    };
    QTimer::singleShot(20, [&] { mainThreadRan.release(); });
    auto task = service->captureDisplay(2, false, {});
    service.reset();
    EXPECT_EQ(QCoro::waitFor(std::move(task)).size(), QSize(1920, 1080));
    EXPECT_FALSE(readOnMainThread);
}

} // namespace
