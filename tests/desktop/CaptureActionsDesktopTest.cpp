// The coordinator's copy on the harness's X server: a screenshot of the real screen, copied
// through the real clipboard service, as another program pastes it.

#include "RealClipboardFixture.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Platform.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/WaitUntil.h"
#include "support/XclipPaste.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

// Another X client, which takes the clipboard stamped with times of the server's own; its window
// goes with its connection.
class ClipboardTaker {
public:
    ClipboardTaker()
    {
        const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(m_x11.get(), XCB_COPY_FROM_PARENT, m_window, m_x11.root(), 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &events);
    }

    // The server's time, once it is later than `after`: a property change tells it.
    xcb_timestamp_t timeAfter(xcb_timestamp_t after)
    {
        xcb_connection_t *c = m_x11.get();
        for (;;) {
            xcb_change_property(c, XCB_PROP_MODE_APPEND, m_window, XCB_ATOM_WM_NAME,
                                XCB_ATOM_STRING, 8, 0, nullptr);
            xcb_flush(c);
            std::optional<xcb_timestamp_t> time;
            while (!time) {
                const platform::XcbReply<xcb_generic_event_t> event(xcb_wait_for_event(c));
                if (!event)
                    return XCB_CURRENT_TIME;
                if ((event->response_type & ~0x80) == XCB_PROPERTY_NOTIFY)
                    time = reinterpret_cast<xcb_property_notify_event_t *>(event.get())->time;
            }
            if (*time > after)
                return *time;
        }
    }
    // Takes the clipboard at `time`; true when the server made this client its owner.
    bool take(xcb_timestamp_t time)
    {
        xcb_connection_t *c = m_x11.get();
        const xcb_atom_t clipboard = m_x11.atom("CLIPBOARD");
        xcb_set_selection_owner(c, m_window, clipboard, time);
        const platform::XcbReply<xcb_get_selection_owner_reply_t> owner(
            xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, clipboard), nullptr));
        return owner && owner->owner == m_window;
    }

private:
    platform::X11Connection m_x11;
    const xcb_window_t m_window = xcb_generate_id(m_x11.get());
};

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

// The X server refuses the clipboard to a set stamped earlier than another client's (Qt stamps
// its sets with the last server time it heard of): the clipboard says so, for every kind of
// offer, and a refused file is withdrawn at once.
TEST_F(CaptureActionsDesktopTest, AnOfferTheXServerRefusedIsReportedAsRefused)
{
    platform::QtPasteboard pasteboard;
    ClipboardTaker other;
    // Whoever keeps it, Qt has a time of its own from now on.
    pasteboard.setString(QStringLiteral("ours"));
    // Taken at a time later than any Qt can have heard of, with no event handled before the set.
    const auto takeOver = [&other] { return other.take(other.timeAfter(other.timeAfter(0))); };
    ASSERT_TRUE(takeOver());
    EXPECT_FALSE(pasteboard.setString(QStringLiteral("refused")));
    ASSERT_TRUE(takeOver());
    EXPECT_FALSE(pasteboard.offerProvidedData({{"image/png", [] { return QByteArray("png"); }}}));
    ASSERT_TRUE(takeOver());
    bool withdrawn = false;
    EXPECT_FALSE(pasteboard.writeFileURL(QUrl::fromLocalFile("/tmp/x.mp4"),
                                         [&withdrawn] { withdrawn = true; }));
    EXPECT_TRUE(withdrawn);
}

} // namespace
