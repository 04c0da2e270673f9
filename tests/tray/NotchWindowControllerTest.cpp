#include "tray/CaptureTrayView.h"
#include "tray/TrayTestSupport.h"

#include "support/AnimationClock.h"
#include "support/LogCapture.h"
#include "support/WaitUntil.h"

#include <QEnterEvent>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace std::chrono_literals;
using State = TrayInteractionState;

// The hover band's middle on the 1920 × 1080 display: 20 pt under its top edge.
const QPointF inBand(960, 1075);
const QPointF farAway(300, 300);

class NotchWindowControllerTest : public TrayControllerTest {};

} // namespace

TEST_F(NotchWindowControllerTest, ShowPlacesThePanelAndKeepsOneTrayView)
{
    LogCapture log;
    build();
    EXPECT_FALSE(controller->isVisible());
    EXPECT_FALSE(controller->windowID());

    controller->show(std::nullopt, State::compact);
    ASSERT_TRUE(controller->isVisible());
    EXPECT_TRUE(controller->isWindowVisible());
    EXPECT_TRUE(controller->windowID());
    EXPECT_TRUE(panels->wasPrepared(controller->panel()));
    EXPECT_EQ(panels->prepared.first().level, platform::PanelLevel::topmost);
    EXPECT_EQ(controller->panelFrame(), QRectF(842, 1026, 236, 54));
    // Screen y upwards becomes Qt's y downwards from the top of the display.
    EXPECT_EQ(panel().geometry(), QRect(842, 0, 236, 54));
    EXPECT_EQ(panels->inputRegion(controller->panel()), QRegion(20, 0, 196, 34));
    // Without a compositor the panel is shaped to the tray's rounded outline.
    EXPECT_TRUE(panel().mask().contains(QPoint(118, 17)));
    EXPECT_FALSE(panel().mask().contains(QPoint(21, 1))) << "rounded corners";
    EXPECT_FALSE(panel().mask().contains(QPoint(118, 45))) << "no margin";
    EXPECT_TRUE(controller->areEventMonitorsInstalled());
    EXPECT_TRUE(pointer->running);
    EXPECT_TRUE(log.messages("overlay").contains(
        "Tray shown in stationary mode at 842.000000,1026.000000"));

    CaptureTrayView *view = controller->trayView();
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->parentWidget(), controller->panel());
    EXPECT_EQ(view->geometry(), panel().rect());
    controller->show(std::nullopt, State::expanded);
    EXPECT_EQ(controller->trayView(), view) << "a second show keeps the view (and its drags)";
    EXPECT_EQ(controller->interactionState(), State::expanded);
}

TEST_F(NotchWindowControllerTest, WithoutAnyDisplayNothingIsShown)
{
    LogCapture log;
    displays.set({});
    build();
    controller->show(std::nullopt, State::expanded);
    EXPECT_EQ(controller->panel(), nullptr);
    EXPECT_TRUE(log.lines().contains("overlay|error|No screen available to show notch window"));
    controller->updateLayout(std::nullopt, std::nullopt);
    EXPECT_EQ(controller->visibleContentSize(State::compact), QSizeF(300, 80));
}

TEST_F(NotchWindowControllerTest, NotchedDisplayPublishesItsNotchAndAttaches)
{
    notchedDisplays << 1;
    build();
    QSignalSpy metrics(&controller->state(), &TrayState::notchMetricsChanged);
    controller->show(std::nullopt, State::compact);
    EXPECT_TRUE(controller->hasNotch());
    EXPECT_EQ(controller->notchWidth(), 180);
    EXPECT_EQ(controller->notchHeight(), 32);
    EXPECT_TRUE(controller->isAttachedToNotch());
    EXPECT_EQ(metrics.count(), 1);
    EXPECT_EQ(controller->visibleContentSize(State::compact), QSizeF(180, 32));
    EXPECT_EQ(controller->panelFrame(), QRectF(850, 994, 220, 86));
    // Nothing staged: the notch-sized tray takes no pointer at all.
    EXPECT_TRUE(panel().interactiveRects().isEmpty());
    EXPECT_EQ(panels->inputRegion(controller->panel()), QRegion());

    // The first capture widens the pill; the whole pill, notch included, takes clicks.
    // The panel grows when the coordinator relays it out after the capture.
    stage();
    controller->updateLayout(std::nullopt, std::nullopt);
    EXPECT_EQ(panel().width(), 649);
    EXPECT_EQ(panel().interactiveRects(), QList<QRectF>{QRectF(169.5, 0, 310, 32)});

    settings->setTrayPosition(TrayPosition::floatingTop);
    EXPECT_FALSE(controller->isAttachedToNotch());
    EXPECT_TRUE(controller->hasNotch());
    EXPECT_EQ(controller->visibleContentSize(State::compact), QSizeF(196, 34));
}

TEST_F(NotchWindowControllerTest, ConfirmationReturnsToCompactAfterItsTime)
{
    build();
    stage();
    controller->show(std::nullopt, State::confirmation);
    timers->advance(1199ms);
    EXPECT_EQ(controller->interactionState(), State::confirmation);
    timers->advance(1ms);
    EXPECT_EQ(controller->interactionState(), State::compact);

    // A second confirmation starts the time again.
    controller->show(std::nullopt, State::confirmation);
    timers->advance(1000ms);
    controller->show(std::nullopt, State::confirmation);
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::confirmation);
    timers->advance(200ms);
    EXPECT_EQ(controller->interactionState(), State::compact);

    // A hover expansion in between cancels the return.
    controller->show(std::nullopt, State::confirmation);
    movePointer(inBand);
    timers->advance(150ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
    timers->advance(2000ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
}

TEST_F(NotchWindowControllerTest, HideRulesForRecordingNotchAndForce)
{
    LogCapture log;
    build();
    stage();
    controller->show(std::nullopt, State::expanded);
    recorder.setRecording(true);
    controller->hide(false);
    EXPECT_TRUE(controller->isVisible()) << "the tray stays while recording";
    EXPECT_EQ(controller->interactionState(), State::expanded);

    controller->hide(true);
    EXPECT_FALSE(controller->isVisible()) << "forced: at once, also while recording";
    EXPECT_FALSE(controller->areEventMonitorsInstalled());
    EXPECT_FALSE(pointer->running);
    EXPECT_EQ(log.messages("overlay").count("Notch tray hidden"), 1);
    controller->hide(true);
    EXPECT_EQ(log.messages("overlay").count("Notch tray hidden"), 1)
        << "a hidden panel is left alone";
    recorder.setRecording(false);

    notchedDisplays << 1;
    controller->show(std::nullopt, State::expanded);
    controller->trayClicked();
    ASSERT_TRUE(controller->isPinned());
    controller->hide(false);
    EXPECT_TRUE(controller->isVisible()) << "a notched display folds the tray into the notch";
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_FALSE(controller->isPinned());
    EXPECT_TRUE(controller->areEventMonitorsInstalled());
    controller->hide(true);
    EXPECT_FALSE(controller->isVisible());
}

TEST_F(NotchWindowControllerTest, AutoHideOnlyWithAnEmptyQueue)
{
    settings->setAutoHideDelay(2);
    build();
    controller->show(std::nullopt, State::compact);
    timers->advance(1999ms);
    EXPECT_TRUE(controller->isVisible());
    timers->advance(1ms);
    EXPECT_FALSE(controller->isVisible());

    stage();
    controller->show(std::nullopt, State::compact);
    EXPECT_TRUE(timers->pendingDelays().isEmpty());

    // On a notched display the auto-hide folds the tray instead.
    queue.clearAll();
    notchedDisplays << 1;
    controller->show(std::nullopt, State::expanded);
    timers->advance(2000ms);
    EXPECT_TRUE(controller->isVisible());
    EXPECT_EQ(controller->interactionState(), State::compact);

    // A bad delay never becomes an endless or undefined wait.
    settings->setAutoHideDelay(std::numeric_limits<double>::quiet_NaN());
    controller->show(std::nullopt, State::compact);
    EXPECT_TRUE(timers->pendingDelays().isEmpty());
}

TEST_F(NotchWindowControllerTest, HoverBandExpandsAfterARestAndLeavingCollapses)
{
    build();
    stage();
    controller->show(std::nullopt, State::compact);
    movePointer(inBand);
    timers->advance(149ms);
    EXPECT_EQ(controller->interactionState(), State::compact);
    // Leaving before the time does not stop a pending expansion.
    movePointer(farAway);
    movePointer(inBand);
    timers->advance(1ms);
    EXPECT_EQ(controller->interactionState(), State::expanded)
        << "150 ms from the first move onto the band";

    movePointer(farAway);
    timers->advance(249ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
    timers->advance(1ms);
    EXPECT_EQ(controller->interactionState(), State::compact);
    // Gone before the expansion and resting away, the pointer sends no move to collapse it: the
    // expansion itself starts the collapse.
    movePointer(inBand);
    movePointer(farAway);
    timers->advance(150ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
    timers->advance(250ms);
    EXPECT_EQ(controller->interactionState(), State::compact);

    // Back in one jump onto the spot of the tray where Qt last saw it: no move comes, from Qt
    // or from the desktop-wide monitor (over our window), only the window's Enter.
    const QPointF local(panel().width() / 2.0, 17);
    displays.setPointer(onScreen(local));
    QEnterEvent enter(local, local, onScreen(local));
    QCoreApplication::sendEvent(panel().windowHandle(), &enter);
    timers->advance(149ms);
    EXPECT_EQ(controller->interactionState(), State::compact);
    timers->advance(1ms);
    EXPECT_EQ(controller->interactionState(), State::expanded) << "entered";
    movePointer(farAway);
    timers->advance(250ms);
    ASSERT_EQ(controller->interactionState(), State::compact);

    // The pointer at the display's very top edge is in the band too.
    movePointer(QPointF(960, 1080));
    timers->advance(150ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);

    // Coming back onto the tray cancels a pending collapse.
    movePointer(farAway);
    timers->advance(100ms);
    movePointer(onScreen(QPointF(400, 40)));
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);

    // A drag neither expands nor collapses; moves over our own windows come through Qt.
    displays.setPointer(farAway);
    pointer->emitMove(farAway.toPoint(), false, Qt::LeftButton);
    pointer->emitMove(farAway.toPoint(), true);
    QCoreApplication::processEvents();
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);

    // A corner position has no band: only the tray itself (not its margin) opens it.
    controller->setInteractionState(State::compact);
    settings->setTrayPosition(TrayPosition::topLeft);
    EXPECT_TRUE(controller->hoverBandRect(display(1)).isEmpty());
    movePointer(inBand);
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_FALSE(controller->isPointOverTray(onScreen(QPointF(5, 5))));
    movePointer(onScreen(QPointF(40, 10)));
    timers->advance(150ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
}

// A pointer moved in one jump (a warp, a touch screen, a remote desktop) moves no device, so the
// desktop-wide monitor tells of it only when asked; the tray asks while the pointer's leaving
// would fold it back, and only then.
TEST_F(NotchWindowControllerTest, AnExpandedTrayAsksWhereThePointerJumped)
{
    build();
    stage();
    controller->show(std::nullopt, State::compact);
    timers->advance(1000ms);
    EXPECT_EQ(pointer->positionChecks, 0) << "collapsed";
    movePointer(inBand);
    timers->advance(150ms);
    ASSERT_EQ(controller->interactionState(), State::expanded);

    // Jumped away with a button held: a drag, which changes nothing.
    displays.setPointer(farAway);
    pointer->position = farAway.toPoint();
    pointer->buttons = Qt::LeftButton;
    for (int tick = 0; tick < 10; ++tick) {
        timers->advance(100ms);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(controller->interactionState(), State::expanded) << "a drag";
    EXPECT_GE(pointer->positionChecks, 9);

    // Released there: the next look finds it gone, and the collapse follows.
    pointer->buttons = {};
    timers->advance(100ms);
    QCoreApplication::processEvents();
    timers->advance(250ms);
    EXPECT_EQ(controller->interactionState(), State::compact);
    const int checks = pointer->positionChecks;
    timers->advance(1000ms);
    EXPECT_EQ(pointer->positionChecks, checks) << "folded back";

    // Opened with the pointer resting away from it (after a capture, or toggled): the looks
    // slow down once the pointer has rested a while, and speed up again when it moves.
    pointer->position.reset();
    controller->setInteractionState(State::expanded);
    timers->advance(3s);
    const int rested = pointer->positionChecks;
    timers->advance(10s);
    EXPECT_LE(pointer->positionChecks - rested, 11) << "resting";
    EXPECT_GE(pointer->positionChecks - rested, 9) << "resting";
    pointer->emitMove(farAway.toPoint(), true);
    const int moved = pointer->positionChecks;
    timers->advance(1s);
    EXPECT_GE(pointer->positionChecks - moved, 9) << "moved";
    // A jump after a rest is found as well.
    timers->advance(3s);
    ASSERT_EQ(controller->interactionState(), State::expanded);
    pointer->position = farAway.toPoint();
    timers->advance(1s);
    QCoreApplication::processEvents();
    timers->advance(250ms);
    EXPECT_EQ(controller->interactionState(), State::compact) << "jumped";
    const int folded = pointer->positionChecks;

    // Pinned open, the tray stays whatever the pointer does.
    controller->trayClicked();
    timers->advance(1000ms);
    EXPECT_EQ(pointer->positionChecks, folded) << "pinned";
}

TEST_F(NotchWindowControllerTest, PinnedTrayStaysUntilClickOutsideOrEscape)
{
    build();
    stage();
    controller->show(std::nullopt, State::compact);
    QSignalSpy pinned(&controller->state(), &TrayState::isPinnedChanged);
    controller->trayClicked();
    EXPECT_TRUE(controller->isPinned());
    EXPECT_EQ(controller->interactionState(), State::expanded);
    movePointer(farAway);
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);

    controller->handleClickOutside();
    EXPECT_FALSE(controller->isPinned());
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_EQ(pinned.count(), 2);

    // Unpinning with the pointer away starts the collapse as if it had just left; pinning again
    // before it falls due keeps the tray open.
    controller->trayClicked();
    displays.setPointer(farAway);
    controller->unpin();
    timers->advance(100ms);
    controller->pin();
    timers->advance(1000ms);
    EXPECT_EQ(controller->interactionState(), State::expanded);
    controller->unpin();
    timers->advance(250ms);
    EXPECT_EQ(controller->interactionState(), State::compact);

    // With the last capture gone on a display without a notch, the hover-out hides the panel.
    movePointer(inBand);
    timers->advance(150ms);
    queue.clearAll();
    movePointer(farAway);
    timers->advance(250ms);
    EXPECT_FALSE(controller->isVisible());
}

TEST_F(NotchWindowControllerTest, ClickWhileRecordingIsAStopRequest)
{
    int stopRequests = 0;
    neighbours.requestRecordingStop = [&] { ++stopRequests; };
    build();
    controller->show(std::nullopt, State::compact);
    EXPECT_EQ(panel().width(), 236);
    recorder.setRecording(true);
    EXPECT_EQ(panel().width(), 360 + 40) << "room for the expanded recording controls";
    controller->trayClicked();
    EXPECT_EQ(stopRequests, 1);
    EXPECT_FALSE(controller->isPinned());
    EXPECT_EQ(controller->interactionState(), State::compact);
}

TEST_F(NotchWindowControllerTest, ClickOutsideWithAnEmptyQueue)
{
    build();
    controller->show(std::nullopt, State::confirmation);
    controller->handleClickOutside();
    EXPECT_FALSE(controller->isVisible()) << "no notched display to move to: hidden";

    // With a notched second display and the notch position the tray moves there.
    displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                  FakeDisplays::make(2, QRect(1920, 0, 1920, 1080))});
    notchedDisplays << 2;
    controller->show(display(1), State::confirmation);
    controller->reconcileAfterQueueChange();
    EXPECT_TRUE(controller->isVisible());
    EXPECT_EQ(controller->panelScreen()->id, 2u);
    EXPECT_TRUE(controller->hasNotch());
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_EQ(panel().geometry(), QRect(1920 + 850, 0, 220, 86));

    controller->handleClickOutside();
    EXPECT_EQ(controller->interactionState(), State::compact);
    EXPECT_TRUE(controller->isVisible());
}

TEST_F(NotchWindowControllerTest, ClickOutsideWithCapturesStagedKeepsTheTrayWhereItIs)
{
    // A notched display to move to is there; the staged captures keep the tray on its own.
    displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                  FakeDisplays::make(2, QRect(1920, 0, 1920, 1080))});
    notchedDisplays << 2;
    build();
    stage();
    stage();
    for (const State shown : {State::compact, State::confirmation}) {
        controller->show(display(1), shown);
        const QRectF frame = controller->panelFrame();
        controller->handleClickOutside();
        EXPECT_TRUE(controller->isVisible());
        EXPECT_EQ(controller->panelScreen()->id, 1u);
        EXPECT_EQ(controller->panelFrame(), frame);
        EXPECT_EQ(controller->interactionState(), shown);
    }
}

TEST_F(NotchWindowControllerTest, FollowsSettingsAndDisplays)
{
    build();
    stage();
    controller->show(std::nullopt, State::compact);
    // With one capture the expanded width depends on the buttons: 609 with all seven.
    const QRectF compactFrame = controller->panelFrame();
    settings->setDisabledTrayButtons({"copy"});
    EXPECT_EQ(controller->panelFrame(), compactFrame) << "resized only while expanded";
    controller->setInteractionState(State::expanded);
    EXPECT_EQ(controller->panelFrame().width(), 580 + 40);
    settings->setDisabledTrayButtons({});
    EXPECT_EQ(controller->panelFrame().width(), 609 + 40);

    settings->setTrayPosition(TrayPosition::bottomLeft);
    EXPECT_EQ(controller->panelFrame().topLeft(), QPointF(20, 20));

    QSignalSpy redraws(&controller->state(), &TrayState::appearanceChanged);
    settings->setAccentTheme(AccentTheme{});
    settings->setTrayMaterial(TrayMaterialStyle::thick);
    EXPECT_EQ(redraws.count(), 2);

    // A display unplugged under the tray: the next relayout finds the main display.
    displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                  FakeDisplays::make(2, QRect(1920, 0, 1280, 800))});
    controller->show(display(2), State::compact);
    EXPECT_EQ(controller->panelScreen()->id, 2u);
    displays.change({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)});
    EXPECT_FALSE(controller->panelScreen());
    controller->updateLayout(std::nullopt, std::nullopt);
    EXPECT_EQ(controller->panelScreen()->id, 1u);
    EXPECT_EQ(panel().geometry().topLeft(), QPoint(20, 1080 - 20 - panel().height()));
}

TEST_F(NotchWindowControllerTest, OnACompositingDesktopUserChangesAnimateAndFadesOverlap)
{
    AnimationClock animations;
    compositor.compositing = true;
    build();
    stage();
    QList<bool> animated;
    QObject::connect(&controller->state(), &TrayState::interactionStateChanged, controller.get(),
                     [&] { animated << controller->isStateChangeAnimated(); });
    controller->show(std::nullopt, State::compact);
    EXPECT_TRUE(panel().mask().isEmpty()) << "translucent: no shape needed";
    movePointer(inBand);
    timers->advance(150ms);
    controller->setInteractionState(State::compact);
    EXPECT_EQ(animated, (QList<bool>{true, false}))
        << "the hover expansion animates, a plain assignment does not";

    // A show during the fade-out wins: the panel stays.
    queue.clearAll();
    animations.advanceBy(NotchWindowController::fadeInMs + 50);
    ASSERT_EQ(panel().windowOpacity(), 1.0);
    controller->hide(false);
    EXPECT_TRUE(controller->isVisible()) << "fading out";
    controller->show(std::nullopt, State::compact);
    animations.advanceBy(NotchWindowController::fadeOutMs + 150);
    EXPECT_TRUE(controller->isVisible());
    controller->hide(false);
    animations.advanceBy(NotchWindowController::fadeOutMs + 50);
    EXPECT_FALSE(controller->isVisible());
}
