#include "pins/StackLayout.h"
#include "pins/PinGeometry.h"
#include "pins/PinStackContentView.h"

#include <QElapsedTimer>
#include <QtMath>
#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace StackLayout;

StackLayoutConfig deck()
{
    return PinGeometry::deckConfig(400);
}

TEST(StackLayoutTest, ShowsTheFirstEightAndSizesThePile)
{
    EXPECT_EQ(visibleCount(0), 0);
    EXPECT_EQ(visibleCount(5), 5);
    EXPECT_EQ(visibleCount(12), 8);
    EXPECT_EQ(visibleCount(300), 8);
    // Every card lies whole in the pile's frame, turned, lifted and with its shadow: at pin
    // size 400 a fanned card may turn 10 + 5 degrees and grow by 1.08.
    const StackLayoutConfig config = deck();
    const double w = 400;
    const double h = 400 / 1.4;
    const double turned = qDegreesToRadians(15.0);
    const double fringe = 1 + 5 + 3;
    const QSizeF reach(1.08 * (w / 2 * std::cos(turned) + h / 2 * std::sin(turned)) + fringe,
                       1.08 * (w / 2 * std::sin(turned) + h / 2 * std::cos(turned)) + fringe);
    EXPECT_NEAR(cardReach(config, true).width(), reach.width(), 1e-9);
    EXPECT_NEAR(cardReach(config, true).height(), reach.height(), 1e-9);
    const QSizeF fanned1 = pileSize(config, 1, true);
    EXPECT_NEAR(fanned1.width(), 2 * (8 + reach.width()), 1e-9);
    EXPECT_NEAR(fanned1.height(), 2 * (12 + reach.height()), 1e-9);
    EXPECT_EQ(pileSize(config, 0, true), fanned1);
    EXPECT_NEAR(pileSize(config, 8, true).width(), fanned1.width() + 7 * w * 0.72, 1e-9);
    EXPECT_EQ(pileSize(config, 8, false), pileSize(config, 0, false));
    EXPECT_GT(pileSize(config, 1, false).width(), w + 12) << "turned corners are inside too";
}

TEST(StackLayoutTest, JitterComesFromTheIdentifierAlone)
{
    EXPECT_EQ(jitter(123456789), (std::array<double, 3>{0.789, 0.456, 0.123}));
    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    const QUuid aAgain(a.toString());
    EXPECT_EQ(identifierHash(a), identifierHash(aAgain));
    EXPECT_NE(identifierHash(a), identifierHash(b));
    const StackLayoutConfig config = deck();
    const CardPose first = pose(config, 2, 5, identifierHash(a), false, false);
    const CardPose again = pose(config, 2, 5, identifierHash(aAgain), false, false);
    EXPECT_EQ(first.rotation, again.rotation);
    EXPECT_EQ(first.dx, again.dx);
    EXPECT_EQ(first.dy, again.dy);
    for (const QUuid &id : {a, b}) {
        const CardPose collapsed = pose(config, 0, 3, identifierHash(id), false, false);
        EXPECT_GE(collapsed.rotation, -8.0);
        EXPECT_LE(collapsed.rotation, 8.0);
        EXPECT_GE(collapsed.dx, -6.0);
        EXPECT_LE(collapsed.dy, 6.0);
    }
}

TEST(StackLayoutTest, CollapsedAndFannedPoses)
{
    const StackLayoutConfig config = deck(); // spread 72
    const quint64 hash = 500500500;          // every fraction 0.5
    // Collapsed: the middle of each range; the last card full size and on top.
    const CardPose under = pose(config, 0, 3, hash, false, false);
    const CardPose top = pose(config, 2, 3, hash, false, false);
    EXPECT_DOUBLE_EQ(under.rotation, 0.0);
    EXPECT_DOUBLE_EQ(under.scale, 0.98);
    EXPECT_DOUBLE_EQ(top.scale, 1.0);
    EXPECT_GT(top.z, under.z);

    // Fanned: left to right by 0.72 of a card, turning across the spread; the last 12 up.
    const double step = 400 * 0.72;
    const CardPose left = pose(config, 0, 3, hash, true, false);
    const CardPose middle = pose(config, 1, 3, hash, true, false);
    const CardPose right = pose(config, 2, 3, hash, true, false);
    EXPECT_DOUBLE_EQ(left.dx, -step);
    EXPECT_DOUBLE_EQ(middle.dx, 0.0);
    EXPECT_DOUBLE_EQ(right.dx, step);
    EXPECT_DOUBLE_EQ(left.rotation, -10.0) << "a slight fan: 20 degrees at most";
    EXPECT_DOUBLE_EQ(right.rotation, 10.0);
    EXPECT_DOUBLE_EQ(middle.dy, 0.0);
    EXPECT_DOUBLE_EQ(right.dy, -12.0);

    // One card is the last card: half the spread back, 12 up.
    const CardPose single = pose(config, 0, 1, hash, true, false);
    EXPECT_DOUBLE_EQ(single.rotation, -10.0);
    EXPECT_DOUBLE_EQ(single.dy, -12.0);
    EXPECT_DOUBLE_EQ(single.dx, 0.0);

    // The hovered card grows and is drawn over every other.
    const CardPose lifted = pose(config, 0, 3, hash, true, true);
    EXPECT_DOUBLE_EQ(lifted.scale, 1.08);
    EXPECT_EQ(lifted.z, 1000);
}

// A fanned pile of eight cards, each 0.72 of a card apart, so neighbours overlap.
struct FannedPile {
    explicit FannedPile(int hovered = -1)
    {
        for (int i = 0; i < 8; ++i)
            poses.append(pose(config, i, 8, 500500500, true, i == hovered));
    }
    QPointF cardCentre(int index) const
    {
        return cardTransform(config, poses[index], centre)
            .map(QPointF(config.itemSize.width() / 2, config.itemSize.height() / 2));
    }
    StackLayoutConfig config = deck();
    QPointF centre{1800, 200};
    QList<CardPose> poses;
};

TEST(StackLayoutTest, HitTestingFindsTheTopmostCard)
{
    const FannedPile pile;
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(hitTest(pile.config, pile.poses, pile.centre, pile.cardCentre(i)), i);
    // Where cards 2 and 3 overlap, the later one is drawn on top.
    const QPointF overlap = (pile.cardCentre(2) * 0.35 + pile.cardCentre(3) * 0.65);
    EXPECT_EQ(hitTest(pile.config, pile.poses, pile.centre, overlap), 3);
    EXPECT_EQ(hitTest(pile.config, pile.poses, pile.centre, QPointF(0, 0)), -1);

    // A lifted card is over its neighbours there.
    const FannedPile lifted(2);
    EXPECT_EQ(hitTest(lifted.config, lifted.poses, lifted.centre, overlap), 2);
    // Just outside a card's rounded corner is outside it.
    const QPointF corner = cardTransform(pile.config, pile.poses[0], pile.centre)
                               .map(QPointF(0.5, pile.config.itemSize.height() - 0.5));
    EXPECT_EQ(hitTest(pile.config, pile.poses, pile.centre, corner), -1);
}

TEST(StackLayoutTest, InterpolationMovesEveryValueAndTakesTheTargetOrder)
{
    const CardPose from{0, 0, 0, 1, 3};
    const CardPose to{10, 20, -12, 1.08, 1000};
    const CardPose half = interpolate(from, to, 0.5);
    EXPECT_DOUBLE_EQ(half.rotation, 5);
    EXPECT_DOUBLE_EQ(half.dx, 10);
    EXPECT_DOUBLE_EQ(half.dy, -6);
    EXPECT_DOUBLE_EQ(half.scale, 1.04);
    EXPECT_EQ(half.z, 1000);
}

} // namespace
