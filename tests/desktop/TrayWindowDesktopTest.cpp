// The staging tray's panel on the harness's X server with the real displays, panels, pointer
// monitor and timers: where it sits for every position, hovering with the real pointer, keys in
// a window of ours, clicks beside the drawn tray reaching the window below, and no shadow of the
// panel's rectangle under a compositor that draws shadows.

#include "app/DesktopPlatform.h"
#include "desktop/PanelDesktopSupport.h"
#include "model/StoredEnum.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "support/ChildProcess.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayControlLayout.h"
#include "tray/TrayTestSupport.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

namespace {

using State = TrayInteractionState;

constexpr int waitLimitMs = 5000;

// A jump of the pointer moves no device; the last step is a device move, as a user's is.
void movePointerTo(QPoint position)
{
    xdotool({"mousemove", QString::number(position.x() - 1), QString::number(position.y() - 1),
             "mousemove_relative", "1", "1"});
}

class TrayWindowDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_panels = desktop::makePanelWindows();
        m_controller = std::make_unique<NotchWindowController>(NotchWindowController::Services{
            .queue = m_queue,
            .settings = *m_settings,
            .callbacks = {.onSave = [this](const CaptureItem &) { ++m_saves; },
                          .onDelete = [this](const CaptureItem &) { ++m_deletes; }},
            .displays = *m_platform.displays,
            .panels = m_panels,
            .pointerMonitor = desktop::makePointerMonitor(),
            .compositor = m_platform.compositor.get(),
        });
    }
    void TearDown() override { m_controller.reset(); }

    platform::Display mainDisplay() const { return *m_platform.displays->mainDisplay(); }

    // Where the panel belongs in Qt's coordinates, from the tables and the work area the window
    // manager announces.
    QRect expectedGeometry(State state, TrayPosition position) const
    {
        const platform::Display display = mainDisplay();
        const NotchGeometry::Screen screen =
            NotchGeometry::Screen::fromDisplay(display, m_panels->visibleFrame(display));
        const TrayContent content{int(m_queue.items().size()), false, m_settings->traySize(),
                                  visibleTrayButtonCount(m_settings->disabledTrayButtons())};
        const QRectF frame = trayPanelFrame(state, position, screen, content);
        const double top = display.screenFrame.y() + display.screenFrame.height();
        return QRect(QPoint(qRound(frame.x()), qRound(top - frame.y() - frame.height())),
                     QSize(qRound(frame.width()), qRound(frame.height())));
    }

    // The panel's place as the X server has it, once it shows.
    std::optional<QRect> serverGeometry() const
    {
        QWidget *panel = m_controller->panel();
        if (!panel || !panel->windowHandle() || !panel->windowHandle()->isExposed())
            return std::nullopt;
        xcb_connection_t *c = m_x11.get();
        const auto window = xcb_window_t(panel->winId());
        platform::XcbReply<xcb_translate_coordinates_reply_t> origin(
            xcb_translate_coordinates_reply(
                c, xcb_translate_coordinates(c, window, m_x11.root(), 0, 0), nullptr));
        platform::XcbReply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        if (!origin || !geometry)
            return std::nullopt;
        return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    }

    bool waitForState(State state, QElapsedTimer *clock = nullptr, qint64 *elapsed = nullptr)
    {
        const bool reached =
            waitUntil([&] { return m_controller->interactionState() == state; }, waitLimitMs);
        if (clock && elapsed)
            *elapsed = clock->elapsed();
        return reached;
    }

    void stage() { m_queue.enqueue(makeTrayItem(QDateTime::currentDateTime())); }

    platform::X11Connection m_x11;
    TrayModel m_model;
    SettingsStore *m_settings = &m_model.settings;
    CaptureQueue &m_queue = m_model.queue;
    std::shared_ptr<platform::PanelWindows> m_panels;
    std::unique_ptr<NotchWindowController> m_controller;
    int m_saves = 0;
    int m_deletes = 0;
};

} // namespace

TEST_F(TrayWindowDesktop, PanelSitsWhereItsPositionSaysAfterLaunchAndAfterACapture)
{
    for (TrayPosition position : allCases<TrayPosition>()) {
        SCOPED_TRACE(rawValue(position).toStdString());
        m_controller->hide(true);
        m_queue.clearAll();
        m_settings->setTrayPosition(position);

        // After launch: compact with nothing staged.
        m_controller->show(std::nullopt, State::compact);
        const QRect launched = expectedGeometry(State::compact, position);
        EXPECT_TRUE(waitUntil([&] { return serverGeometry() == launched; }, waitLimitMs))
            << "expected " << launched.x() << "," << launched.y() << " " << launched.width() << "×"
            << launched.height();

        // After a capture the coordinator relays the tray out and confirms it.
        stage();
        m_controller->updateLayout(std::nullopt, std::nullopt);
        m_controller->show(std::nullopt, State::confirmation);
        const QRect confirmed = expectedGeometry(State::confirmation, position);
        EXPECT_TRUE(waitUntil([&] { return serverGeometry() == confirmed; }, waitLimitMs))
            << "expected " << confirmed.x() << "," << confirmed.y() << " " << confirmed.width()
            << "×" << confirmed.height();
    }
}

TEST_F(TrayWindowDesktop, PointerRestingInTheBandExpandsAndLeavingCollapses)
{
    stage();
    m_controller->show(std::nullopt, State::compact);
    ASSERT_TRUE(waitUntil([&] { return serverGeometry().has_value(); }, waitLimitMs));
    const QRect panel = *serverGeometry();

    // In the band (400 wide at the top centre) beside the drawn tray (196 wide): the panel
    // lets the pointer through there, so the desktop-wide monitor sees it.
    QElapsedTimer clock;
    clock.start();
    movePointerTo(QPoint(panel.center().x() - 180, 3));
    qint64 elapsed = 0;
    ASSERT_TRUE(waitForState(State::expanded, &clock, &elapsed));
    EXPECT_GE(elapsed, 150);

    clock.restart();
    movePointerTo(QPoint(960, 700));
    ASSERT_TRUE(waitForState(State::compact, &clock, &elapsed));
    EXPECT_GE(elapsed, 250);

    // Onto the drawn tray itself: our own window, seen through Qt.
    movePointerTo(QPoint(panel.center().x(), panel.top() + 8));
    EXPECT_TRUE(waitForState(State::expanded));
}

TEST_F(TrayWindowDesktop, KeysOfTheExpandedTrayWithOurWindowFocused)
{
    stage();
    ProbeWindow window(Qt::darkGray);
    auto *field = new QLineEdit(&window);
    field->setGeometry(10, 10, 180, 30);
    window.setGeometry(300, 300, 200, 120);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.setFocus();

    m_controller->show(std::nullopt, State::expanded);
    ASSERT_TRUE(waitUntil([&] { return serverGeometry().has_value(); }, waitLimitMs));
    EXPECT_TRUE(window.isActiveWindow()) << "the panel never takes the focus";

    xdotool({"key", "--clearmodifiers", "ctrl+s"});
    EXPECT_TRUE(waitUntil([&] { return m_saves == 1; }, waitLimitMs));

    // Typed into our text field, Backspace edits the field and deletes nothing.
    field->setText("ab");
    field->setFocus();
    xdotool({"key", "BackSpace"});
    EXPECT_TRUE(waitUntil([&] { return field->text() == "a"; }, waitLimitMs));
    EXPECT_EQ(m_deletes, 0);

    window.setFocus();
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitForState(State::compact));
}

TEST_F(TrayWindowDesktop, ClickBesideTheDrawnTrayReachesTheWindowBelow)
{
    stage();
    // A window of ours under the whole panel, shown first so that the panel is above it.
    ProbeWindow below(QColor(20, 200, 60), Qt::FramelessWindowHint);
    const QRect expected = expectedGeometry(State::compact, TrayPosition::notch);
    below.setGeometry(expected.adjusted(-60, 0, 60, 120));
    below.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&below));

    m_controller->show(std::nullopt, State::compact);
    ASSERT_TRUE(waitUntil([&] { return serverGeometry() == expected; }, waitLimitMs));

    const auto shownAt = [](QPoint point) {
        return QColor(QGuiApplication::primaryScreen()
                          ->grabWindow(0, point.x(), point.y(), 1, 1)
                          .toImage()
                          .pixel(0, 0));
    };
    // Once the tray is drawn over the window below, its panel's transparent margin.
    const QPoint tray(expected.center().x(), expected.top() + 10);
    ASSERT_TRUE(waitUntil([&] { return shownAt(tray) != QColor(20, 200, 60); }, waitLimitMs));
    const QPoint margin(expected.center().x(), expected.bottom() - 3);
    EXPECT_EQ(shownAt(margin), QColor(20, 200, 60))
        << "beside the tray the window below shows, not a black box";

    clickAt(margin);
    EXPECT_TRUE(waitUntil([&] { return below.presses == 1; }, waitLimitMs));
    EXPECT_FALSE(m_controller->isPinned()) << "neither a tray click";
    EXPECT_EQ(m_controller->interactionState(), State::compact) << "nor an outside click";

    clickAt(tray);
    EXPECT_TRUE(waitUntil([&] { return m_controller->isPinned(); }, waitLimitMs));
    EXPECT_EQ(below.presses, 1) << "the tray took that click";
    EXPECT_TRUE(waitForState(State::expanded));
}

// The panel is larger than the tray it draws; a compositor's shadow of its rectangle would show
// as a dark frame around nothing. A compositor that starts while the tray shows finds the panel
// cut to the tray's outline, which xcompmgr's server-side shadows ignore: the tray follows the
// compositor at once, and shows without the shadow when it shows anew.
TEST_F(TrayWindowDesktop, TheTrayCastsNoShadowOfItsPanelUnderACompositor)
{
    const QList<QStringList> compositors = {shadowingCompositor(), {"xcompmgr", "-s"}};
    for (const QStringList &compositor : compositors) {
        if (QStandardPaths::findExecutable(compositor.first()).isEmpty())
            GTEST_SKIP() << compositor.first().toStdString() << " is not installed";
    }
    const QColor backdropColour(230, 200, 40);
    ProbeWindow backdrop(backdropColour);
    backdrop.setGeometry(mainDisplay().rootRect);
    backdrop.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&backdrop));
    stage();
    const QRect expected = expectedGeometry(State::expanded, TrayPosition::notch);
    for (const QStringList &compositor : compositors) {
        const std::string name = compositor.join(' ').toStdString();
        ASSERT_TRUE(
            waitUntil([&] { return !m_platform.compositor->isCompositing(); }, waitLimitMs));
        m_controller->show(std::nullopt, State::expanded);
        ASSERT_TRUE(waitUntil([&] { return serverGeometry() == expected; }, waitLimitMs));
        ChildProcess process;
        ASSERT_TRUE(process.start(compositor.first(), compositor.mid(1))) << name;
        ASSERT_TRUE(waitUntil([&] { return m_platform.compositor->isCompositing(); }, waitLimitMs))
            << name;
        ASSERT_TRUE(waitUntilComposited()) << name;
        for (const char *when : {"while it shows", "shown anew"}) {
            int changed = 0;
            // Until the panel settled at its expanded look.
            EXPECT_TRUE(waitUntil(
                [&] {
                    const QImage screen = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
                    changed = pointsChangedAround(screen, expected, backdropColour);
                    return changed == 0 && !shows(screen, expected.center(), backdropColour);
                },
                waitLimitMs))
                << name << ", " << when << ": " << changed
                << " points around the panel show a shadow";
            m_controller->hide(false);
            ASSERT_TRUE(waitUntil([&] { return !m_controller->isVisible(); }, waitLimitMs));
            m_controller->show(std::nullopt, State::expanded);
            ASSERT_TRUE(waitUntil([&] { return serverGeometry() == expected; }, waitLimitMs));
        }
        m_controller->hide(true);
    }
}
