#pragma once

#include "platform/Spring.h"

#include <QList>
#include <QPointF>
#include <QSizeF>
#include <QTransform>
#include <QUuid>
#include <array>
#include <limits>

namespace StackLayout {

// The spring of a pile's cards as it expands, collapses and re-orders.
inline constexpr platform::Spring pileSpring{0.32, 0.82};
// The spring of a card growing as it is hovered and shrinking back.
inline constexpr platform::Spring hoverSpring{0.25, 0.7};

} // namespace StackLayout

struct ClosedRange {
    double lower = 0.0;
    double upper = 0.0;
};

// The look of a pile of cards; the caller gives every value.
struct StackLayoutConfig {
    ClosedRange collapsedRotationRange; // degrees
    ClosedRange collapsedOffsetRange;   // points, both directions; also the collapsed margin
    double expandedSpread = 0.0;        // degrees across the fanned cards
    ClosedRange expandedRotationRange;  // degrees
    QSizeF itemSize;                    // points
    double cornerRadius = 0.0;
    double shadowRadius = 0.0;
    double shadowOpacity = 0.0;
    platform::Spring animation = StackLayout::pileSpring; // expanding, collapsing and re-ordering
    // The widest the fanned pile may be (points): beyond it the cards overlap more.
    double expandedMaxWidth = std::numeric_limits<double>::infinity();
};

// Where one card lies relative to the pile's centre (y downwards).
struct CardPose {
    double rotation = 0.0; // degrees about the card's centre
    double dx = 0.0;
    double dy = 0.0;
    double scale = 1.0;
    int z = 0;            // drawing order, higher on top
    double opacity = 1.0; // below 1 while the card comes or goes
};

// The pile's arithmetic: which cards show, where each lies collapsed and fanned, and which card
// a point falls on. Nothing random: a card's jitter comes from its identifier's hash, so the
// pile looks the same at every redraw.
namespace StackLayout {

inline constexpr int maxVisibleCards = 8;
// How much the hovered card of the fanned pile grows.
inline constexpr double hoverScale = 1.08;

int visibleCount(int itemCount);
// How far a card's drawing (turned as far as the ranges allow, lifted when hovered, with its
// outline and shadow) may reach from its centre, horizontally and vertically.
QSizeF cardReach(const StackLayoutConfig &config, bool expanded);
// The distance between the centres of neighbouring fanned cards: 0.72 of a card's width, less
// when the fan would otherwise be wider than expandedMaxWidth (never below 0).
double expandedStep(const StackLayoutConfig &config, int total);
// The pile's frame, which holds every card whole: collapsed, the reach of a card plus the
// offset range on every side; fanned, the row of cards expandedStep apart with their jitter,
// lift and reach.
QSizeF pileSize(const StackLayoutConfig &config, int total, bool expanded);

// A hash of the identifier that stays the same for the whole run (and across runs).
quint64 identifierHash(const QUuid &id);
// The three fractions in [0, 0.999] cut from a hash.
std::array<double, 3> jitter(quint64 hash);

CardPose pose(const StackLayoutConfig &config, int index, int total, quint64 hash, bool expanded,
              bool hovered);
// The pose between two others, t from 0 (from) to 1 (to); the drawing order is the target's.
CardPose interpolate(const CardPose &from, const CardPose &to, double t);

// Maps card coordinates (0, 0 to itemSize) into the pile's, whose centre is `centre`.
QTransform cardTransform(const StackLayoutConfig &config, const CardPose &pose, QPointF centre);

// The index of the topmost card under the point (pile coordinates); -1 when none.
int hitTest(const StackLayoutConfig &config, const QList<CardPose> &poses, QPointF centre,
            QPointF point);

} // namespace StackLayout
