#include "capture/FeedbackService.h"
#include "capture/PermissionManager.h"
#include "capture/ScreenCaptureService.h"
#include "pins/PinActions.h"
#include "platform/linux/AbsentHaptics.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "platform/x11/X11ScreenCapturePermission.h"
#include "platform/x11/X11WindowSystem.h"
#include "support/FakeFileManager.h"
#include "support/FakeUrlOpener.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QFile>
#include <QPainter>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>

using namespace platform;

namespace {

// Stripes of distinct colours, one pixel apart at the edges, so that any offset shows.
QImage stripes()
{
    QImage image(240, 160, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        const QRgb colour = qRgb((x * 7) % 256, 255 - x, (x * 13) % 256);
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(x, y, y < 80 ? colour : qRgb(20, 40, y));
    }
    return image;
}

class PictureWindow : public QWidget {
public:
    explicit PictureWindow(QImage picture) : m_picture(std::move(picture))
    {
        setFixedSize(m_picture.size());
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).drawImage(0, 0, m_picture); }

private:
    QImage m_picture;
};

using ServicesDesktop = X11DesktopTest;

TEST_F(ServicesDesktop, ShowInFolderAsksTheFileManagerToSelectThePinsFile)
{
    TempDirScope tmp;
    const QString path = tmp.path() + QStringLiteral("/Plan #2 ü.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    FakeFileManager fileManager;
    ASSERT_TRUE(fileManager.registered);

    PinActions actions({.urlOpener = std::make_shared<DesktopUrlOpener>()});
    const PinItem pin(PinContent::makeFile(QUrl::fromLocalFile(path)));
    EXPECT_TRUE(actions.reveal(pin));
    ASSERT_TRUE(waitUntil([&] { return !fileManager.calls().isEmpty(); }));
    const QDBusMessage call = fileManager.calls().first();
    EXPECT_EQ(call.interface(), FakeFileManager::name);
    EXPECT_EQ(call.member(), "ShowItems");
    EXPECT_EQ(call.arguments(),
              (QVariantList{QStringList{QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded)},
                            QString()}));
    EXPECT_EQ(fileManager.calls().size(), 1);
}

TEST_F(ServicesDesktop, SoundsPlayIntoTheNullDeviceAndUnknownOnesAreToldApart)
{
    // The harness routes ALSA's default device to nothing.
    ASSERT_TRUE(CanberraSoundPlayer::soundOutputConfigured());
    auto player = std::make_shared<CanberraSoundPlayer>();
    EXPECT_EQ(player->play(QStringLiteral("screen-capture"), 1), SoundPlayer::Outcome::started);
    player->stop(1);
    EXPECT_EQ(player->play(QStringLiteral("complete")), SoundPlayer::Outcome::started);
    EXPECT_EQ(player->play(QStringLiteral("corvanta-no-such-sound")),
              SoundPlayer::Outcome::unknownSound);

    FeedbackService feedback(player, std::make_shared<AbsentHaptics>());
    feedback.playCapture(true, true);
    feedback.playCapture(true, true);
    EXPECT_EQ(feedback.shutterSound(), QStringLiteral("screen-capture"));
}

TEST_F(ServicesDesktop, ScreenCaptureAccessIsHeldOnTheXServer)
{
    auto opener = std::make_shared<FakeUrlOpener>();
    PermissionManager manager(
        std::make_shared<X11ScreenCapturePermission>(m_platform.screenCapture), opener);
    EXPECT_TRUE(manager.hasScreenCaptureAccess());
    EXPECT_TRUE(manager.requestScreenCaptureAccess());
    manager.openScreenRecordingSettings();
    EXPECT_TRUE(opener->opened.isEmpty());
}

TEST_F(ServicesDesktop, TheServiceCapturesAWindowsKnownPixels)
{
    PictureWindow window(stripes());
    window.setWindowTitle(QStringLiteral("Corvanta stripes"));
    window.move(260, 180);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const WindowId id = WindowId(window.winId());
    ScreenCaptureService service(m_platform.screenCapture, m_platform.displays,
                                 makeX11WindowSystem());
    // The main display starts at the root origin, so Qt's global positions are capture points.
    const QRectF client(window.mapToGlobal(QPoint(0, 0)), QSizeF(stripes().size()));
    ASSERT_TRUE(waitUntil([&] {
        const std::optional<WindowInfo> info = listed(id);
        return info && info->captureFrame.height() > client.height() &&
               QCoro::waitFor(service.captureArea(client, {})) == stripes();
    }));

    const platform::Display main = *m_platform.displays->mainDisplay();
    const QImage display = QCoro::waitFor(service.captureDisplay(main.id, false, {}));
    EXPECT_EQ(display.size(), QSize(1920, 1080));
    EXPECT_EQ(display.copy(client.toRect()), stripes());
    // Only the client is compared across reads: the window manager redraws the title bar when
    // it gives the window the focus, which can fall between two reads.
    const QHash<DisplayId, QImage> all = QCoro::waitFor(service.captureAllDisplays(false, {}));
    ASSERT_EQ(all.size(), 1);
    EXPECT_EQ(all.value(main.id).copy(client.toRect()), stripes());

    const WindowInfo info = *listed(id);
    const QImage framed = QCoro::waitFor(service.captureWindow(info, false, true));
    EXPECT_EQ(framed.size(), info.captureFrame.size().toSize());
    const QPoint clientInFrame = (client.topLeft() - info.captureFrame.topLeft()).toPoint();
    EXPECT_EQ(framed.copy(QRect(clientInFrame, stripes().size())), stripes());
    // With its shadow the window sits unchanged amid a margin of 64 points (the scale is 1).
    const QImage shadowed = QCoro::waitFor(service.captureWindow(info, false, false));
    ASSERT_EQ(shadowed.size(), framed.size() + QSize(128, 128));
    EXPECT_EQ(shadowed.copy(QRect(QPoint(64, 64) + clientInFrame, stripes().size()))
                  .convertToFormat(QImage::Format_RGB32),
              stripes());
    EXPECT_EQ(qAlpha(shadowed.pixel(shadowed.width() - 1, 0)), 0);
}

TEST_F(ServicesDesktop, AWindowPartlyOffTheScreenKeepsWhatShowsWithTheShadowAroundIt)
{
    QImage pattern(700, 500, QImage::Format_RGB32);
    for (int y = 0; y < pattern.height(); ++y) {
        for (int x = 0; x < pattern.width(); ++x)
            pattern.setPixel(x, y, qRgb(x % 256, y % 256, 60 * (x / 256) + 30 * (y / 256)));
    }
    PictureWindow window(pattern);
    window.setWindowTitle(QStringLiteral("Corvanta off the screen"));
    window.move(1500, 800);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const WindowId id = WindowId(window.winId());
    ScreenCaptureService service(m_platform.screenCapture, m_platform.displays,
                                 makeX11WindowSystem());
    // The client's part on the screen, which is its top-left part.
    const QRect screen(0, 0, 1920, 1080);
    QRect shown;
    ASSERT_TRUE(waitUntil([&] {
        shown = QRect(window.mapToGlobal(QPoint(0, 0)), pattern.size()) & screen;
        const std::optional<WindowInfo> info = listed(id);
        return info && info->captureFrame.height() > pattern.height() && !shown.isEmpty() &&
               QCoro::waitFor(service.captureArea(shown, {})) ==
                   pattern.copy(QRect(QPoint(), shown.size()));
    }));

    const WindowInfo info = *listed(id);
    const QRect frameShown = info.captureFrame.toRect() & screen;
    ASSERT_LT(frameShown.width(), info.captureFrame.width());
    const QImage shot = QCoro::waitFor(service.captureWindow(info, false, false));
    ASSERT_EQ(shot.size(), frameShown.size() + QSize(128, 128));
    const QRect inShot(QPoint(64, 64), frameShown.size());
    for (const QPoint corner :
         {inShot.topLeft(), inShot.topRight(), inShot.bottomLeft(), inShot.bottomRight()})
        EXPECT_EQ(qAlpha(shot.pixel(corner)), 255);
    EXPECT_EQ(shot.copy(shown.translated(inShot.topLeft() - frameShown.topLeft()))
                  .convertToFormat(QImage::Format_RGB32),
              pattern.copy(QRect(QPoint(), shown.size())));
}

} // namespace
