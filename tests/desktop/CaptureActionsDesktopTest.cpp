// The coordinator's copy on the harness's X server: a screenshot of the real screen, copied
// through the real clipboard service, as another program pastes it.

#include "RealClipboardFixture.h"
#include "platform/x11/X11Platform.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/WaitUntil.h"
#include "support/XclipPaste.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

class CaptureActionsDesktopTest : public RealClipboardFixture {
protected:
    // The coordinator goes before the service it was given.
    void TearDown() override { m_coordinator.reset(); }

    // A screenshot of the whole main display, staged.
    CaptureItem stageScreenshot()
    {
        const platform::ScreenshotPlatform desktop = platform::makeX11ScreenshotPlatform();
        const QImage image = desktop.screenCapture->captureRect(QRectF(0, 0, 1920, 1080), false)
                                 .image.convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(image.size(), QSize(1920, 1080));
        const CaptureItem item(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                               CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                               CaptureItemState::pending());
        coordinator();
        m_queue.enqueue(item);
        return item;
    }
};

TEST_F(CaptureActionsDesktopTest, CopiedCaptureIsPastedAsPngAndTiffOfTheCapturedPixels)
{
    const CaptureItem item = stageScreenshot();
    coordinator().copyCapture(item);
    ASSERT_TRUE(waitUntil(
        [&] { return m_queue.items().first().state() == CaptureItemState::pending(); }, 10000));
    EXPECT_TRUE(m_log.contains(QStringLiteral("sound.play(message")));

    const QList<QByteArray> targets = pasteWithXclip(QStringLiteral("TARGETS")).split('\n');
    EXPECT_TRUE(targets.contains("image/png")) << targets.join(' ').toStdString();
    EXPECT_TRUE(targets.contains("image/tiff")) << targets.join(' ').toStdString();
    const QImage pasted = QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG");
    EXPECT_TRUE(pasted.convertToFormat(QImage::Format_RGB32) == item.image());

    // With copyRemovesCapture on, the copied capture leaves the queue, and the emptied tray
    // reconciles.
    m_settings.setCopyRemovesCapture(true);
    m_log.clear();
    coordinator().copyCapture(item);
    ASSERT_TRUE(waitUntil([&] { return m_queue.items().isEmpty(); }, 10000));
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.reconcile"));
    EXPECT_FALSE(QImage::fromData(pasteWithXclip(QStringLiteral("image/png")), "PNG").isNull());
}

} // namespace
