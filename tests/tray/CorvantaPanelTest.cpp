#include "tray/CorvantaPanel.h"
#include "tray/CorvantaPanelController.h"

#include "support/FakeCompositor.h"
#include "support/FakeDisplays.h"
#include "support/FakePanelWindows.h"
#include "support/WaitUntil.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace {

using State = CorvantaPanelController::State;

// A display whose notch of the given width is centred under its top edge, `inset` tall.
NotchGeometry::Screen notched(const platform::Display &display, double notchWidth, double inset)
{
    NotchGeometry::Screen screen = NotchGeometry::Screen::fromDisplay(display);
    const QRectF f = display.screenFrame;
    const double side = (f.width() - notchWidth) / 2;
    const double top = f.y() + f.height();
    screen.safeAreaTopInset = inset;
    screen.auxiliaryTopLeftArea = QRectF(f.x(), top - inset, side, inset);
    screen.auxiliaryTopRightArea = QRectF(f.x() + side + notchWidth, top - inset, side, inset);
    return screen;
}

NotchGeometryData geometryOf(const NotchGeometry::Screen &screen)
{
    return NotchGeometryService().geometry(screen);
}

// Completed as the only display, so that its screen frame is known without a display list.
platform::Display laptop(bool isMain = true)
{
    platform::Display display =
        platform::arrangeDisplays({FakeDisplays::make(1, QRect(0, 0, 1512, 982))}).first();
    display.isMain = isMain;
    return display;
}

// A second display right of the laptop, taller than it.
platform::Display external(bool isMain = false)
{
    return FakeDisplays::make(2, QRect(1512, 0, 1920, 1080), 1.0, isMain);
}

class CorvantaPanelControllerTest : public ::testing::Test {
protected:
    // Display 1 has a 200 pt notch with a 32 pt inset; the others have none.
    std::unique_ptr<CorvantaPanelController> make(const platform::Compositor *compositor = nullptr)
    {
        return std::make_unique<CorvantaPanelController>(CorvantaPanelController::Services{
            displays, panels, compositor, [](const platform::Display &display) {
                return display.id == 1 ? notched(display, 200, 32)
                                       : NotchGeometry::Screen::fromDisplay(display);
            }});
    }

    FakeDisplays displays{{laptop()}};
    std::shared_ptr<FakePanelWindows> panels = std::make_shared<FakePanelWindows>();
};

} // namespace

TEST(NotchGeometryService, NeedsRoomBetweenTheAreasAndAnInset)
{
    const NotchGeometryData data = geometryOf(notched(laptop(), 200, 32));
    EXPECT_TRUE(data.hasNotch);
    EXPECT_EQ(data.notchRect, QRectF(656, 950, 200, 32));
    EXPECT_EQ(data.anchorY(), 982);
    EXPECT_FALSE(data == geometryOf(notched(laptop(), 200, 30)));

    NotchGeometry::Screen noInset = notched(laptop(), 200, 32);
    noInset.safeAreaTopInset = 0;
    NotchGeometry::Screen missingArea = notched(laptop(), 200, 32);
    missingArea.auxiliaryTopLeftArea.reset();
    for (const auto &screen : {notched(laptop(), 0, 32), noInset, missingArea}) {
        const NotchGeometryData plain = geometryOf(screen);
        EXPECT_FALSE(plain.hasNotch);
        EXPECT_EQ(plain.notchRect, QRectF());
        EXPECT_EQ(plain.safeTopInset, screen.safeAreaTopInset);
    }
}

TEST(CorvantaPanelTargetFrame, SizesHaveMinimumsAndHangCentredFromTheTop)
{
    const auto frame = &CorvantaPanelController::targetFrame;
    const auto notch = geometryOf(notched(laptop(), 200, 32));
    EXPECT_EQ(frame(State::collapsed, notch), QRectF(691, 930, 130, 52));
    EXPECT_EQ(frame(State::expanded, notch), QRectF(576, 822, 360, 160));
    EXPECT_EQ(frame(State::collapsed, geometryOf(notched(laptop(), 150, 5))),
              QRectF(696, 954, 120, 28));

    NotchGeometry::Screen plain;
    plain.frame = QRectF(100, -50, 1000, 800);
    EXPECT_EQ(frame(State::collapsed, geometryOf(plain)), QRectF(520, 720, 160, 30));
    EXPECT_EQ(frame(State::expanded, geometryOf(plain)), QRectF(390, 570, 420, 180));
}

TEST_F(CorvantaPanelControllerTest, StartsCollapsedHiddenAndDeafToClicks)
{
    FakeCompositor noCompositor(false);
    const auto controller = make(&noCompositor);
    CorvantaPanel *panel = controller->panel();
    EXPECT_EQ(controller->state(), State::collapsed);
    EXPECT_FALSE(panel->isVisible());
    EXPECT_TRUE(panels->wasPrepared(panel));
    EXPECT_TRUE(panel->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    // Qt's global coordinates run downwards from the top of the main display.
    EXPECT_EQ(panel->geometry(), QRect(691, 0, 130, 52));
    EXPECT_EQ(panel->container()->geometry(), QRect(0, 0, 130, 52));
    EXPECT_EQ(panels->inputRegion(panel), QRegion());
    // Without a compositor the window is cut to its outline.
    EXPECT_EQ(panel->mask(), panel->container()->shapeRegion());
    EXPECT_FALSE(panel->mask().contains(QPoint(0, 51)));
}

TEST_F(CorvantaPanelControllerTest, ExpandedTakesClicksOnlyInsideTheOutline)
{
    FakeCompositor compositor(true);
    const auto controller = make(&compositor);
    controller->show(State::expanded, false);
    CorvantaPanel *panel = controller->panel();
    PanelHitTestingContainer *container = panel->container();
    EXPECT_EQ(panel->geometry(), QRect(576, 0, 360, 160));
    EXPECT_TRUE(panel->mask().isEmpty());

    // Pixels just below the flat top edge, also in its corners, and at the middle of the bottom
    // edge are taken; the bottom corners outside the rounded curve are not.
    const auto takes = [&](QPoint pixel) {
        const bool byHitTest = container->hitTest(QPointF(pixel) + QPointF(0.5, 0.5)) == container;
        EXPECT_EQ(panels->inputRegion(panel)->contains(pixel), byHitTest)
            << pixel.x() << "," << pixel.y();
        return byHitTest;
    };
    for (const QPoint inside : {QPoint(0, 0), QPoint(359, 0), QPoint(180, 159), QPoint(10, 150)})
        EXPECT_TRUE(takes(inside)) << inside.x() << "," << inside.y();
    for (const QPoint outside : {QPoint(1, 158), QPoint(358, 158)})
        EXPECT_FALSE(takes(outside)) << outside.x() << "," << outside.y();

    controller->hide();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(controller->state(), State::expanded);

    controller->show(State::collapsed, false);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->geometry(), QRect(691, 0, 130, 52));
    EXPECT_EQ(panels->inputRegion(panel), QRegion());
    EXPECT_TRUE(container->testAttribute(Qt::WA_TransparentForMouseEvents));
}

TEST_F(CorvantaPanelControllerTest, FollowsTheMainDisplayThroughChanges)
{
    displays.set({laptop(false), external(true)});
    const auto controller = make();
    // The main display has no notch, though the laptop has.
    EXPECT_FALSE(controller->currentGeometry()->hasNotch);
    EXPECT_EQ(controller->panel()->geometry(), QRect(1512 + 880, 0, 160, 30));

    controller->show(State::collapsed, false);
    displays.change({laptop(), external(false)});
    EXPECT_TRUE(
        waitUntil([&] { return controller->panel()->geometry() == QRect(691, 0, 130, 52); }));
    EXPECT_EQ(controller->panel()->container()->geometry(), QRect(0, 0, 130, 52));

    // Unplugging every display leaves the panel where it was.
    const auto before = controller->currentGeometry();
    displays.change({});
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->currentGeometry(), before);
    EXPECT_EQ(controller->panel()->geometry(), QRect(691, 0, 130, 52));
}

TEST_F(CorvantaPanelControllerTest, ContentIsBuiltOncePerInstall)
{
    displays.set({});
    const auto controller = make();
    int builds = 0;
    std::optional<NotchGeometryData> seenGeometry = geometryOf(NotchGeometry::Screen());
    State seenState = State::expanded;
    const auto builder = [&](State state, const std::optional<NotchGeometryData> &geometry) {
        ++builds;
        seenState = state;
        seenGeometry = geometry;
        return new QLabel(state == State::collapsed ? "tab" : "sheet");
    };

    controller->setContent(builder);
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(seenState, State::collapsed);
    EXPECT_FALSE(seenGeometry.has_value());
    QPointer<QWidget> first = controller->panel()->container()->content();
    ASSERT_TRUE(first);

    displays.change({laptop()});
    controller->show(State::expanded, false);
    QCoreApplication::processEvents();
    EXPECT_EQ(builds, 1);
    EXPECT_EQ(controller->panel()->container()->content(), first);

    controller->setContent(builder);
    EXPECT_EQ(builds, 2);
    EXPECT_EQ(seenState, State::expanded);
    EXPECT_TRUE(seenGeometry && seenGeometry->hasNotch);
    EXPECT_TRUE(first.isNull());

    controller->setContent({});
    EXPECT_EQ(controller->panel()->container()->content(), nullptr);
}
