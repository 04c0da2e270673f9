#include "tray/TrayControlLayout.h"
#include "support/ExpectRect.h"
#include "tray/TrayTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using State = TrayInteractionState;

const platform::Display &plainDisplay()
{
    static const platform::Display display =
        platform::arrangeDisplays({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)})
            .first();
    return display;
}

NotchGeometry::Screen plain()
{
    return NotchGeometry::Screen::fromDisplay(plainDisplay());
}

NotchGeometry::Screen notched()
{
    return notchedScreen(plainDisplay());
}

TrayContent withItems(int n, int buttons = 7, bool recording = false,
                      TraySize size = TraySize::regular)
{
    return TrayContent{n, recording, size, buttons};
}

} // namespace

TEST(TrayControlLayout, FloatingSizesForEveryState)
{
    for (TrayPosition position :
         {TrayPosition::notch, TrayPosition::floatingTop, TrayPosition::floatingBottom}) {
        SCOPED_TRACE(rawValue(position).toStdString());
        // Without a notch the notch position floats too; on a notched display only the notch
        // position attaches.
        for (const NotchGeometry::Screen &screen : {plain(), notched()}) {
            if (screen.safeAreaTopInset > 0 && position == TrayPosition::notch)
                continue;
            EXPECT_EQ(trayContentSize(State::compact, position, screen, withItems(0)),
                      QSizeF(196, 34));
            EXPECT_EQ(trayContentSize(State::compact, position, screen,
                                      withItems(2, 7, false, TraySize::compact)),
                      QSizeF(168, 34));
            EXPECT_EQ(trayContentSize(State::confirmation, position, screen, withItems(1)),
                      QSizeF(220, 36));
            EXPECT_EQ(trayContentSize(State::expanded, position, screen, withItems(3)),
                      QSizeF(761, 82));
        }
    }
    const double notchWidth = 180;
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, plain(), withItems(0)),
              QSizeF(160, 34));
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, plain(), withItems(0, 7, true)),
              QSizeF(360, 44));
    // The notch's size counts on a notched display even where the tray floats.
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::floatingTop, notched(),
                              withItems(0, 7, true)),
              QSizeF(std::max(notchWidth + 140, 360.0), 44));
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::floatingTop, notched(), withItems(0)),
              QSizeF(180, 34));
}

TEST(TrayControlLayout, ExpandedWidthFollowsItemsAndButtonsWithinTheScreen)
{
    // 1 item, 2 buttons: 88 + 145 + 80 + 76 = 389, raised to 580.
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, plain(), withItems(1, 2)),
              QSizeF(580, 82));
    // The strip stops growing at 240.
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, plain(), withItems(8, 7)),
              QSizeF(761, 82));
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, plain(), withItems(2, 0)),
              QSizeF(580, 82));
    // Limited to the display's width less 40.
    NotchGeometry::Screen narrow = plain();
    narrow.frame.setWidth(700);
    narrow.visibleFrame.setWidth(700);
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, narrow, withItems(3)),
              QSizeF(660, 82));
    narrow.frame.setWidth(10);
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::notch, narrow, withItems(3)).width(),
              0)
        << "a display narrower than the margin gives no width, not a negative one";
    EXPECT_EQ(visibleTrayButtonCount({"copy", "pin", "not-a-button"}), 5);
    EXPECT_EQ(visibleTrayButtonCount({}), 7);
}

TEST(TrayControlLayout, ACornerShowsTheTrayOfTheTopCentreAgainstItsSide)
{
    TrayContent recording = withItems(0);
    recording.recording = true;
    for (TrayPosition position : {TrayPosition::topLeft, TrayPosition::topRight,
                                  TrayPosition::bottomLeft, TrayPosition::bottomRight}) {
        SCOPED_TRACE(rawValue(position).toStdString());
        for (State state : {State::compact, State::confirmation, State::expanded}) {
            for (const TrayContent &content :
                 {withItems(0), withItems(1), withItems(3), withItems(7), recording}) {
                for (const NotchGeometry::Screen &screen : {plain(), notched()})
                    EXPECT_EQ(trayContentSize(state, position, screen, content),
                              trayContentSize(state, TrayPosition::floatingTop, screen, content));
            }
        }
    }
    // 3 items and 7 buttons: the full 761-point row, 82 high.
    EXPECT_EQ(trayContentSize(State::expanded, TrayPosition::topRight, plain(), withItems(3)),
              QSizeF(761, 82));

    // Across its panel the tray keeps to its corner's side, 20 points in (the shadow's margin).
    EXPECT_EQ(trayLeftInPanel(801, 196, TrayPosition::topLeft), 20);
    EXPECT_EQ(trayLeftInPanel(801, 196, TrayPosition::bottomLeft), 20);
    EXPECT_EQ(trayLeftInPanel(801, 196, TrayPosition::topRight), 801 - 20 - 196);
    EXPECT_EQ(trayLeftInPanel(801, 196, TrayPosition::bottomRight), 801 - 20 - 196);
    EXPECT_EQ(trayLeftInPanel(801, 196, TrayPosition::floatingTop), (801 - 196) / 2.0);
    EXPECT_EQ(trayOutlineRect({801, 102}, {196, 34}, TrayPosition::topRight),
              QRectF(585, 0, 196, 34));
    EXPECT_EQ(trayInteractiveRects({801, 102}, State::compact, {196, 34}, {761, 82}, false, 0, 0,
                                   TrayPosition::topLeft),
              QList<QRectF>{QRectF(20, 0, 196, 34)});
}

TEST(TrayControlLayout, AttachedTrayIsTheNotchPlusWhatHangsBelowIt)
{
    const TrayPosition notch = TrayPosition::notch;
    EXPECT_EQ(trayContentSize(State::compact, notch, notched(), withItems(0)), QSizeF(180, 32))
        << "nothing to show: exactly the notch";
    EXPECT_EQ(trayContentSize(State::compact, notch, notched(), withItems(0, 7, true)),
              QSizeF(310, 32));
    EXPECT_EQ(trayContentSize(State::compact, notch, notched(), withItems(1)), QSizeF(310, 32));
    EXPECT_EQ(trayContentSize(State::compact, notch, notched(),
                              withItems(1, 7, false, TraySize::compact)),
              QSizeF(284, 32));
    EXPECT_EQ(trayContentSize(State::confirmation, notch, notched(), withItems(1)),
              QSizeF(330, 32));
    EXPECT_EQ(trayContentSize(State::expanded, notch, notched(), withItems(0)), QSizeF(180, 66));
    EXPECT_EQ(trayContentSize(State::expanded, notch, notched(), withItems(0, 7, true)),
              QSizeF(360, 76));
    EXPECT_EQ(trayContentSize(State::expanded, notch, notched(), withItems(3)), QSizeF(761, 114));

    // A narrow notch: the minimum widths win.
    NotchGeometry::Screen small = notched();
    small.auxiliaryTopLeftArea->setWidth(small.auxiliaryTopLeftArea->width() + 150);
    ASSERT_EQ(NotchGeometry::layoutInfo(small).notchWidth, 30);
    EXPECT_EQ(trayContentSize(State::compact, notch, small, withItems(1)), QSizeF(220, 32));
    EXPECT_EQ(trayContentSize(State::confirmation, notch, small, withItems(1)), QSizeF(270, 32));
}

TEST(TrayControlLayout, PanelHoldsTheExpandedAndTheCurrentTrayWithAMargin)
{
    // Compact (196 × 34) is wider than the empty expanded tray (160 × 34).
    expectRect(trayPanelFrame(State::compact, TrayPosition::notch, plain(), withItems(0)), 842,
               1026, 236, 54);
    // On a notched display the panel's top is the display's top.
    expectRect(trayPanelFrame(State::compact, TrayPosition::notch, notched(), withItems(0)), 850,
               994, 220, 86);
    expectRect(trayPanelFrame(State::compact, TrayPosition::notch, notched(), withItems(3)), 559.5,
               946, 801, 134);
    // Confirmation on the floating-top position: 761 + 40 wide, 82 + 20 high, 20 below the top.
    expectRect(
        trayPanelFrame(State::confirmation, TrayPosition::floatingTop, plain(), withItems(3)),
        559.5, 958, 801, 102);
    // One item with all seven buttons: 88 + 145 + 300 + 76 = 609 wide.
    expectRect(trayPanelFrame(State::expanded, TrayPosition::floatingBottom, plain(), withItems(1)),
               635.5, 28, 649, 102);
    // Corners hold the same row, 20 in from their sides.
    expectRect(trayPanelFrame(State::compact, TrayPosition::topLeft, plain(), withItems(5)), 20,
               958, 801, 102);
    expectRect(trayPanelFrame(State::compact, TrayPosition::bottomRight, plain(), withItems(1)),
               1251, 20, 649, 102);
    EXPECT_EQ(trayPanelContentSize(QSizeF(100, 10)), QSizeF(140, 30));
}

TEST(TrayControlLayout, InteractiveRectsFollowTheOutline)
{
    using Rects = QList<QRectF>;
    // Floating: the current tray, centred at the top.
    EXPECT_EQ(trayInteractiveRects({236, 54}, State::compact, {196, 34}, {160, 34}, false, 0, 0),
              Rects{QRectF(20, 0, 196, 34)});
    // Limited to the bounds less the margin; nothing when a side is 1 or less.
    EXPECT_EQ(trayInteractiveRects({100, 20}, State::compact, {196, 34}, {}, false, 0, 0),
              Rects{QRectF(20, 0, 60, 20)});
    EXPECT_TRUE(
        trayInteractiveRects({41, 54}, State::compact, {196, 34}, {}, false, 0, 0).isEmpty());
    // Attached and expanded: the strip beside the notch, then the body.
    EXPECT_EQ(
        trayInteractiveRects({801, 134}, State::expanded, {310, 32}, {761, 114}, true, 180, 32),
        (Rects{QRectF(20, 0, 761, 32), QRectF(20, 32, 761, 82)}));
    EXPECT_EQ(trayInteractiveRects({801, 40}, State::expanded, {}, {761, 114}, true, 180, 32),
              (Rects{QRectF(20, 0, 761, 32), QRectF(20, 32, 761, 8)}));
    // Attached pill: the whole pill, notch included, only when it reaches past the notch.
    EXPECT_EQ(trayInteractiveRects({350, 86}, State::compact, {310, 32}, {180, 66}, true, 180, 32),
              Rects{QRectF(20, 0, 310, 32)});
    EXPECT_TRUE(trayInteractiveRects({220, 86}, State::compact, {180, 32}, {180, 66}, true, 180, 32)
                    .isEmpty())
        << "a tray that is exactly the notch takes no pointer";
    EXPECT_TRUE(trayInteractiveRects({220, 86}, State::confirmation, {182, 32}, {}, true, 180, 32)
                    .isEmpty());
}

TEST(TrayControlLayout, HoverBandOnlyAtTheTopCentre)
{
    expectRect(trayHoverBand(plain(), TrayPosition::notch), 760, 1060, 400, 20);
    expectRect(trayHoverBand(notched(), TrayPosition::floatingTop), 760, 1060, 400, 20);
    for (TrayPosition position :
         {TrayPosition::floatingBottom, TrayPosition::topLeft, TrayPosition::topRight,
          TrayPosition::bottomLeft, TrayPosition::bottomRight})
        EXPECT_TRUE(trayHoverBand(plain(), position).isEmpty()) << rawValue(position).toStdString();
}

TEST(TrayControlLayout, OutlineRadiiAndShape)
{
    EXPECT_EQ(trayCornerRadius(24, false, false), 12);
    EXPECT_EQ(trayCornerRadius(32, true, false), 12);
    EXPECT_EQ(trayCornerRadius(20, false, true), 10);
    EXPECT_EQ(trayCornerRadius(114, true, true), 14);
    // Attached: square top corners, rounded bottom ones.
    const QPainterPath attached = trayOutlinePath(QRectF(0, 0, 100, 30), 12, true);
    EXPECT_TRUE(attached.contains(QPointF(1, 1)));
    EXPECT_FALSE(attached.contains(QPointF(1, 29)));
    EXPECT_FALSE(trayOutlinePath(QRectF(0, 0, 100, 30), 12, false).contains(QPointF(1, 1)));
}

TEST(TrayControlLayout, KeysWithoutASelectionAndPaging)
{
    // Control-S types a control character; the key still says S.
    EXPECT_EQ(trayKeyDecision(Qt::Key_S, QString(QChar(0x13)), true, true),
              (TrayKeyDecision{TrayKeyCommand::save, true}));
    EXPECT_EQ(trayKeyDecision(Qt::Key_M, "m", true, true),
              (TrayKeyDecision{TrayKeyCommand::annotate, true}));
    // Without a selected capture the item keys fall through and pass on; the arrows stay.
    EXPECT_EQ(trayKeyDecision(Qt::Key_S, "s", true, false), TrayKeyDecision{});
    EXPECT_EQ(trayKeyDecision(Qt::Key_Delete, {}, true, false), TrayKeyDecision{});
    EXPECT_EQ(trayKeyDecision(Qt::Key_Right, {}, true, false),
              (TrayKeyDecision{TrayKeyCommand::selectNext, true}));

    EXPECT_EQ(trayPagingStep(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(trayPagingStep(std::numeric_limits<double>::infinity()), 0);
}
