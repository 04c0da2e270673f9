#include "PinTestSupport.h"

#include "pins/PinGeometry.h"
#include "pins/PinStackContentView.h"
#include "pins/StackedMediaStack.h"
#include "support/WaitUntil.h"

#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

class StackedMediaStackTest : public ::testing::Test {
protected:
    StackedMediaStackTest()
    {
        stack.setConfig(PinGeometry::deckConfig(100));
        stack.setAlignment(Qt::AlignTop | Qt::AlignRight);
        stack.resize(1000, 200);
        for (int i = 0; i < 4; ++i)
            ids << QUuid::createUuid();
        stack.setItems(ids);
        stack.setOnSelect([this](int index) { selected << index; });
        stack.setOnHoverItem([this](std::optional<int> index) { hovers << index.value_or(-1); });
        stack.show();
    }

    // Moves the cards' clock to `ms` and returns the card at index once it is drawn there.
    CardPose poseAt(qint64 ms, int index)
    {
        const CardPose before = stack.currentPoses()[index];
        now = ms;
        waitUntil([&] { return stack.currentPoses()[index].scale != before.scale; });
        return stack.currentPoses()[index];
    }

    // Where the card at index is drawn once the cards have settled.
    QPoint centreOf(int index)
    {
        waitUntil([this] { return !stack.isAnimating(); });
        const StackLayoutConfig &config = stack.config();
        return StackLayout::cardTransform(config, stack.currentPoses()[index],
                                          stack.pileRect().center())
            .map(QPointF(config.itemSize.width() / 2, config.itemSize.height() / 2))
            .toPoint();
    }

    QList<FakePointerMonitor *> monitors;
    StackedMediaStack stack{[this]() -> std::unique_ptr<platform::PointerMonitor> {
        auto monitor = std::make_unique<FakePointerMonitor>();
        monitors << monitor.get();
        return monitor;
    }};
    QList<QUuid> ids;
    QList<int> selected;
    QList<int> hovers;
    qint64 now = 0;
};

TEST_F(StackedMediaStackTest, AClickFansThePileAndTheNextSelects)
{
    const QRectF collapsed = stack.pileRect();
    EXPECT_EQ(collapsed.size(), StackLayout::pileSize(stack.config(), 4, false));
    EXPECT_EQ(collapsed.right(), 1000.0) << "in the top-right corner";
    QTest::mouseClick(&stack, Qt::LeftButton, {}, centreOf(3));
    EXPECT_TRUE(stack.isExpanded());
    EXPECT_TRUE(selected.isEmpty()) << "a click on the collapsed pile only fans it out";
    waitUntil([this] { return !stack.isAnimating(); });
    EXPECT_DOUBLE_EQ(stack.pileRect().width(),
                     StackLayout::pileSize(stack.config(), 1, true).width() + 100 * 0.72 * 3);

    QTest::mouseClick(&stack, Qt::LeftButton, {}, centreOf(1));
    EXPECT_EQ(selected, QList<int>{1});
    EXPECT_TRUE(stack.isExpanded());
}

TEST_F(StackedMediaStackTest, AClickOutsideTheProgramCollapsesIt)
{
    EXPECT_TRUE(monitors.isEmpty()) << "no watch while collapsed";
    stack.setExpanded(true);
    ASSERT_EQ(monitors.size(), 1);
    FakePointerMonitor *monitor = monitors.first();
    EXPECT_TRUE(monitor->running);
    monitor->emitPress(QPoint(5, 5), Qt::LeftButton, true);
    EXPECT_TRUE(stack.isExpanded()) << "a click in our own windows keeps it open";
    monitor->emitMove(QPoint(5, 5));
    EXPECT_TRUE(stack.isExpanded());
    monitor->emitPress(QPoint(5, 5), Qt::RightButton);
    EXPECT_FALSE(stack.isExpanded());
    EXPECT_EQ(monitors.size(), 1);

    stack.setExpanded(true);
    ASSERT_EQ(monitors.size(), 2);
    stack.hide();
    stack.setExpanded(false);
    stack.setExpanded(true);
    EXPECT_EQ(monitors.size(), 3);
}

TEST_F(StackedMediaStackTest, HoverMovesFromCardToCardWithoutAGap)
{
    stack.setExpanded(true);
    const QPoint a = centreOf(0);
    const QPoint b = centreOf(2);
    stack.setClock([this] { return now; });
    QTest::mouseMove(&stack, a);
    ASSERT_EQ(hovers, QList<int>{0});
    EXPECT_EQ(stack.activeHoverID(), ids[0]);
    // The card grows on the hover spring: as far as it is 50 ms in.
    EXPECT_NEAR((poseAt(50, 0).scale - 1) / (StackLayout::hoverScale - 1),
                StackLayout::hoverSpring.value(0.05), 0.02);
    QTest::mouseMove(&stack, b);
    EXPECT_EQ(hovers, (QList<int>{0, 2}));
    // A gap would come one hover-end delay after the move: a timer started after the move and
    // running twice as long comes out after it.
    bool pastTheDelay = false;
    QTimer::singleShot(100, &stack, [&] { pastTheDelay = true; });
    ASSERT_TRUE(waitUntil([&] { return pastTheDelay; }));
    EXPECT_EQ(hovers, (QList<int>{0, 2})) << "never nothing in between";
    EXPECT_DOUBLE_EQ(
        StackLayout::pose(stack.config(), 2, 4, StackLayout::identifierHash(ids[2]), true, true)
            .scale,
        1.08);

    QTest::mouseMove(&stack, QPoint(2, 190));
    EXPECT_EQ(hovers.size(), 2) << "the end of hovering waits 50 ms";
    EXPECT_TRUE(waitUntil([this] { return hovers.size() == 3; }, 1000));
    EXPECT_EQ(hovers.last(), -1);
    EXPECT_FALSE(stack.activeHoverID());
}

// A card that comes grows from 0.8 of its size as it fades in; one that goes shrinks to it and
// fades out where it lay; the cards that stay move on from where they were.
TEST_F(StackedMediaStackTest, CardsThatComeAndGoScaleAndFade)
{
    centreOf(0);
    stack.grab(); // the cards drawn once, as on screen
    const QList<CardPose> before = stack.currentPoses();
    stack.setClock([this] { return now; });
    const QUuid coming = QUuid::createUuid();
    stack.setItems({coming, ids[0], ids[2], ids[3]});
    const CardPose target =
        StackLayout::pose(stack.config(), 0, 4, StackLayout::identifierHash(coming), false, false);
    const QList<CardPose> start = stack.currentPoses();
    EXPECT_EQ(start[0].opacity, 0.0);
    EXPECT_DOUBLE_EQ(start[0].scale, 0.8 * target.scale);
    EXPECT_EQ(start[1].dx, before[0].dx);
    EXPECT_EQ(start[3].dx, before[3].dx);
    ASSERT_EQ(stack.leavingPoses().size(), 1);
    EXPECT_EQ(stack.leavingPoses()[0].dx, before[1].dx);
    EXPECT_EQ(stack.leavingPoses()[0].opacity, 1.0);

    // On the pile's spring, as far as it is 100 ms and 280 ms in, and never more than opaque.
    const double early = StackLayout::pileSpring.value(0.1);
    EXPECT_NEAR(poseAt(100, 0).opacity, early, 0.01);
    EXPECT_NEAR(stack.leavingPoses()[0].opacity, 1 - early, 0.01);
    const double late = StackLayout::pileSpring.value(0.28);
    const CardPose past = poseAt(280, 0);
    EXPECT_NEAR(past.scale / target.scale, 0.8 + 0.2 * late, 0.0005);
    EXPECT_EQ(past.opacity, qMin(late, 1.0));
    now = 1000;
    ASSERT_TRUE(waitUntil([this] { return !stack.isAnimating(); }));
    EXPECT_EQ(stack.currentPoses()[0].opacity, 1.0);
    EXPECT_EQ(stack.currentPoses()[0].scale, target.scale);
    EXPECT_TRUE(stack.leavingPoses().isEmpty());
}

TEST_F(StackedMediaStackTest, AnEmptyPileKeepsItsFrame)
{
    stack.setItems({});
    EXPECT_EQ(stack.visibleCount(), 0);
    EXPECT_EQ(stack.pileRect().size(), StackLayout::pileSize(stack.config(), 1, false));
    stack.setExpanded(true);
    EXPECT_EQ(stack.pileRect().size(), StackLayout::pileSize(stack.config(), 1, true));
    QList<QUuid> many;
    for (int i = 0; i < 12; ++i)
        many << QUuid::createUuid();
    stack.setItems(many);
    EXPECT_EQ(stack.visibleCount(), 8);
    EXPECT_EQ(stack.currentPoses().size(), 8);
}

} // namespace
