#include "capture/ScreenObserver.h"
#include "support/LogCapture.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QTest>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <xcb/randr.h>

using namespace platform;

namespace {

struct FreeReply {
    void operator()(void *pointer) const { std::free(pointer); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeReply>;

// Reconfigures the harness's X server through RandR, as `xrandr` would, on a connection of its
// own; puts the screen back as it found it when destroyed.
class RandrScreen {
public:
    RandrScreen() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen->root;
        m_size = QSize(screen->width_in_pixels, screen->height_in_pixels);
        m_millimetres = QSize(screen->width_in_millimeters, screen->height_in_millimeters);
        Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
            xcb_randr_get_screen_resources_current_reply(
                m_connection, xcb_randr_get_screen_resources_current(m_connection, m_root),
                nullptr));
        if (!resources ||
            xcb_randr_get_screen_resources_current_outputs_length(resources.get()) < 1)
            return;
        m_output = xcb_randr_get_screen_resources_current_outputs(resources.get())[0];
        Reply<xcb_randr_get_output_info_reply_t> output(xcb_randr_get_output_info_reply(
            m_connection,
            xcb_randr_get_output_info(m_connection, m_output, resources->config_timestamp),
            nullptr));
        if (!output || output->crtc == XCB_NONE)
            return;
        m_crtc = output->crtc;
        Reply<xcb_randr_get_crtc_info_reply_t> crtc(xcb_randr_get_crtc_info_reply(
            m_connection,
            xcb_randr_get_crtc_info(m_connection, m_crtc, resources->config_timestamp), nullptr));
        if (crtc)
            m_originalMode = crtc->mode;
    }

    ~RandrScreen()
    {
        if (m_originalMode != XCB_NONE) {
            setScreenSize(m_size);
            setCrtcMode(m_originalMode);
        }
        if (m_addedMode != XCB_NONE) {
            xcb_randr_delete_output_mode(m_connection, m_output, m_addedMode);
            xcb_randr_destroy_mode(m_connection, m_addedMode);
        }
        syncServer();
        xcb_disconnect(m_connection);
    }

    bool usable() const { return m_originalMode != XCB_NONE; }
    QSize size() const { return m_size; }

    // Drives the output with a new mode of that size: a mode switch.
    bool switchMode(QSize size)
    {
        xcb_randr_mode_info_t info{};
        info.width = quint16(size.width());
        info.height = quint16(size.height());
        info.htotal = info.width;
        info.vtotal = info.height;
        info.dot_clock = quint32(size.width() * size.height() * 60);
        const QByteArray name =
            QStringLiteral("%1x%2_test").arg(size.width()).arg(size.height()).toLatin1();
        info.name_len = quint16(name.size());
        Reply<xcb_randr_create_mode_reply_t> created(xcb_randr_create_mode_reply(
            m_connection,
            xcb_randr_create_mode(m_connection, m_root, info, quint32(name.size()), name.data()),
            nullptr));
        if (!created)
            return false;
        m_addedMode = created->mode;
        if (!check(xcb_randr_add_output_mode_checked(m_connection, m_output, m_addedMode)))
            return false;
        return setCrtcMode(m_addedMode);
    }

    // Resizes the desktop (the root window) alone, as `xrandr --fb` does.
    bool setScreenSize(QSize size)
    {
        return check(xcb_randr_set_screen_size_checked(
            m_connection, m_root, quint16(size.width()), quint16(size.height()),
            quint32(m_millimetres.width()), quint32(m_millimetres.height())));
    }

private:
    bool setCrtcMode(xcb_randr_mode_t mode)
    {
        Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
            xcb_randr_get_screen_resources_current_reply(
                m_connection, xcb_randr_get_screen_resources_current(m_connection, m_root),
                nullptr));
        if (!resources)
            return false;
        Reply<xcb_randr_set_crtc_config_reply_t> reply(xcb_randr_set_crtc_config_reply(
            m_connection,
            xcb_randr_set_crtc_config(m_connection, m_crtc, XCB_CURRENT_TIME,
                                      resources->config_timestamp, 0, 0, mode,
                                      XCB_RANDR_ROTATION_ROTATE_0, 1, &m_output),
            nullptr));
        return reply && reply->status == XCB_RANDR_SET_CONFIG_SUCCESS;
    }

    bool check(xcb_void_cookie_t cookie)
    {
        Reply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        return !error;
    }

    void syncServer()
    {
        std::free(
            xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_root = XCB_NONE;
    QSize m_size;
    QSize m_millimetres;
    xcb_randr_output_t m_output = XCB_NONE;
    xcb_randr_crtc_t m_crtc = XCB_NONE;
    xcb_randr_mode_t m_originalMode = XCB_NONE;
    xcb_randr_mode_t m_addedMode = XCB_NONE;
};

class DisplayChangesDesktop : public X11DesktopTest {};

TEST_F(DisplayChangesDesktop, AModeSwitchAndAResizedDesktopEachNotifyTheObserver)
{
    LogCapture log;
    int changes = 0;
    ScreenObserver observer(m_platform.displays.get(), [&] { ++changes; });
    const auto notices = [&] {
        return log.messages(QStringLiteral("overlay"))
            .count(QStringLiteral("Screen parameters changed notification received"));
    };

    std::optional<RandrScreen> randr(std::in_place);
    ASSERT_TRUE(randr->usable()) << "the X server offers no RandR output to reconfigure";
    const QSize original = randr->size();

    // The output shows 1600 × 900 of the desktop, which keeps its size.
    ASSERT_TRUE(randr->switchMode(QSize(1600, 900)));
    ASSERT_TRUE(waitUntil([&] { return changes >= 1; }));
    ASSERT_TRUE(waitUntil(
        [&] { return m_platform.displays->mainDisplay()->rootRect == QRect(0, 0, 1600, 900); }));
    QTest::qWait(300); // late echoes of the same switch would show here
    const int afterSwitch = changes;
    EXPECT_EQ(notices(), afterSwitch);

    // Only the desktop shrinks to the output: no display moves or resizes.
    ASSERT_TRUE(randr->setScreenSize(QSize(1600, 900)));
    EXPECT_TRUE(waitUntil([&] { return changes == afterSwitch + 1; }));
    EXPECT_EQ(m_platform.displays->mainDisplay()->rootRect, QRect(0, 0, 1600, 900));

    // And grows back.
    ASSERT_TRUE(randr->setScreenSize(original));
    EXPECT_TRUE(waitUntil([&] { return changes == afterSwitch + 2; }));
    QTest::qWait(300);
    EXPECT_EQ(changes, afterSwitch + 2);
    EXPECT_EQ(notices(), changes);

    randr.reset();
    EXPECT_TRUE(waitUntil([&] {
        return m_platform.displays->mainDisplay()->rootRect == QRect(QPoint(0, 0), original);
    }));
}

} // namespace
