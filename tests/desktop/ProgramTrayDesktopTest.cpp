// The program as its composition root builds it, on the harness's desktop: the staging tray
// opened by resting the pointer on it and then left in one jump of the pointer, as a warp, a
// touch screen or a remote desktop moves it, with nothing staged (from the tray and from the hover
// band beside it), after a recording cancelled in the tray, and with a capture staged; and the
// tray opened expanded, after a capture and from the menu, staying so while the pointer rests.

#include "ProgramDesktopTest.h"
#include "app/CorvantaMenuView.h"
#include "tray/NotchTrackingContainerView.h"

namespace {

constexpr int waitLimitMs = programWaitLimitMs;

class ProgramTrayDesktop : public ProgramDesktopTest {
protected:
    // One absolute move, which no device makes, to a place under the window of text and left of
    // the main window, where no window of ours is.
    void jumpOffTheTray()
    {
        const QPoint away(m_screen.left() + 420, m_screen.bottom() - 40);
        xdotool({"mousemove", QString::number(away.x()), QString::number(away.y())});
    }
    // The X server shows the tray's panel.
    bool panelMapped() const
    {
        if (!tray()->panel())
            return false;
        const platform::X11Connection x11;
        xcb_connection_t *c = x11.get();
        const platform::XcbReply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(
                c, xcb_get_window_attributes(c, xcb_window_t(tray()->panel()->winId())), nullptr));
        return attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    }
    bool trayIs(TrayInteractionState state) const { return tray()->interactionState() == state; }
};

} // namespace

TEST_F(ProgramTrayDesktop, ATrayLeftInOneJumpFoldsBackOrHides)
{
    launchTheProgram();
    ASSERT_TRUE(waitUntil([&] { return panelMapped(); }, waitLimitMs)) << "shown at launch";

    // Nothing staged and no notch: it hides.
    hoverTheTray();
    ASSERT_TRUE(panelMapped());
    jumpOffTheTray();
    EXPECT_TRUE(waitUntil([&] { return !panelMapped(); }, waitLimitMs)) << "nothing staged";

    // The same from the hover band beside the tray, over no window of ours, where the pointer
    // came in small moves of the device as a user's hand moves it: only the last enters the band.
    tray()->show(std::nullopt, TrayInteractionState::compact);
    ASSERT_TRUE(waitUntil([&] { return panelMapped(); }, waitLimitMs)) << "shown again";
    const QPoint beside(m_screen.center().x() + 180, m_screen.top() + 3);
    movePointerTo(beside + QPoint(-60, 40));
    xdotool({"mousemove_relative", "--", "20", "0",  "sleep", "0.05",
             "mousemove_relative", "--", "20", "0",  "sleep", "0.05",
             "mousemove_relative", "--", "20", "0",  "sleep", "0.05",
             "mousemove_relative", "--", "0",  "-40"});
    ASSERT_TRUE(waitUntil([&] { return trayIs(TrayInteractionState::expanded); }, waitLimitMs))
        << "hovered beside the tray";
    ASSERT_FALSE(tray()->panel()->geometry().contains(beside)) << shown(beside);
    jumpOffTheTray();
    EXPECT_TRUE(waitUntil([&] { return !panelMapped(); }, waitLimitMs)) << "left from the band";

    // The same after a recording cancelled with the tray's cancel button.
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    chooseToRecordTheScreen();
    clickTrayRecordingButton("cancelRecording");
    ASSERT_TRUE(waitUntil([&] { return !recorder().isRecording(); }, waitLimitMs));
    jumpOffTheTray();
    EXPECT_TRUE(waitUntil([&] { return !panelMapped(); }, waitLimitMs)) << "recording cancelled";
    EXPECT_TRUE(queue().items().isEmpty());

    // A capture staged: it folds back and stays shown.
    captureWithTheHotKey(1);
    hoverTheTray();
    jumpOffTheTray();
    EXPECT_TRUE(waitUntil([&] { return trayIs(TrayInteractionState::compact); }, waitLimitMs))
        << "a capture staged";
    EXPECT_TRUE(panelMapped());
}

TEST_F(ProgramTrayDesktop, ATrayOpenedExpandedStaysSoWhileThePointerRests)
{
    CorvantaMenuView menu(*m_environment);
    m_environment->settingsStore().setOpenCorvantaAfterCapture(true);
    // Over the desktop, left of the window of text: no window of ours is there.
    const QPoint resting(m_screen.left() + 20, m_screen.center().y());
    // Past the hover-out, the confirmation's return and a few of the tray's pointer checks.
    const auto staysExpanded = [&] {
        return !waitUntil([&] { return !trayIs(TrayInteractionState::expanded); }, 2700);
    };

    movePointerTo(resting);
    const qsizetype before = queue().items().size();
    xdotool({"key", "--clearmodifiers", "ctrl+alt+1"});
    ASSERT_TRUE(nextStaged(before));
    EXPECT_TRUE(staysExpanded()) << "after the capture";

    // The menu's entry hides the tray, then shows it expanded, the pointer resting where it chose
    // the entry, over the window of text that the closing menu uncovers.
    chooseFromMenu(menu.menu(), QStringLiteral("Show Tray"), m_screen.center());
    ASSERT_TRUE(waitUntil([&] { return !tray()->isWindowVisible(); }, waitLimitMs));
    chooseFromMenu(menu.menu(), QStringLiteral("Show Tray"), m_screen.center());
    ASSERT_TRUE(waitUntil([&] { return tray()->isWindowVisible(); }, waitLimitMs));
    EXPECT_TRUE(staysExpanded()) << "shown from the menu";
}
