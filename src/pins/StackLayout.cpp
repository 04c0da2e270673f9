#include "pins/StackLayout.h"

#include <QHashFunctions>
#include <algorithm>
#include <cmath>
#include <numeric>

namespace StackLayout {

int visibleCount(int itemCount)
{
    return std::clamp(itemCount, 0, maxVisibleCards);
}

namespace {

// The fanned cards' jitter: up to 8 points either way across, and from 12 up (the last card)
// to 4 down.
constexpr double fanJitterX = 8.0;
constexpr double fanRise = 12.0;

double largestMagnitude(const ClosedRange &range)
{
    return std::max(std::abs(range.lower), std::abs(range.upper));
}

} // namespace

QSizeF cardReach(const StackLayoutConfig &config, bool expanded)
{
    const double w = config.itemSize.width() / 2.0;
    const double h = config.itemSize.height() / 2.0;
    const double turn = expanded ? std::abs(config.expandedSpread) / 2.0 +
                                       largestMagnitude(config.expandedRotationRange)
                                 : largestMagnitude(config.collapsedRotationRange);
    const double largest = std::min(std::abs(turn), 90.0) * M_PI / 180.0;
    // A turned rectangle is widest at the diagonal's angle and tallest upright on its side.
    const double widest = std::min(largest, std::atan2(h, w));
    const double scale = expanded ? hoverScale : 1.0;
    const double reachX = scale * (w * std::cos(widest) + h * std::sin(widest));
    const double reachY = scale * (w * std::sin(largest) + h * std::cos(largest));
    // The outline's outer half and the shadow, which is blurred by its radius and 3 points down.
    const double fringe = 1.0 + std::max(0.0, config.shadowRadius) + 3.0;
    return {reachX + fringe, reachY + fringe};
}

double expandedStep(const StackLayoutConfig &config, int total)
{
    const double step = config.itemSize.width() * 0.72;
    const int last = std::max(total, 1) - 1;
    if (last == 0 || !(config.expandedMaxWidth < std::numeric_limits<double>::infinity()))
        return step;
    const double room =
        config.expandedMaxWidth - 2.0 * (fanJitterX + cardReach(config, true).width());
    return std::clamp(room / last, 0.0, step);
}

QSizeF pileSize(const StackLayoutConfig &config, int total, bool expanded)
{
    const QSizeF reach = cardReach(config, expanded);
    if (expanded) {
        const int last = std::max(total, 1) - 1;
        return {last * expandedStep(config, total) + 2.0 * (fanJitterX + reach.width()),
                2.0 * (fanRise + reach.height())};
    }
    const double m = largestMagnitude(config.collapsedOffsetRange);
    return {2.0 * (reach.width() + m), 2.0 * (reach.height() + m)};
}

quint64 identifierHash(const QUuid &id)
{
    // Seed 0: the same identifier gives the same jitter in every run, not only within one.
    return quint64(qHash(id, 0));
}

std::array<double, 3> jitter(quint64 hash)
{
    return {double(hash % 1000) / 1000.0, double((hash / 1000) % 1000) / 1000.0,
            double((hash / 1000000) % 1000) / 1000.0};
}

namespace {

double pick(const ClosedRange &range, double fraction)
{
    return range.lower + fraction * (range.upper - range.lower);
}

} // namespace

CardPose pose(const StackLayoutConfig &config, int index, int total, quint64 hash, bool expanded,
              bool hovered)
{
    const auto [r1, r2, r3] = jitter(hash);
    const bool isLast = index == total - 1;
    CardPose result;
    result.z = hovered ? 1000 : index;
    if (!expanded) {
        result.rotation = pick(config.collapsedRotationRange, r1);
        result.dx = pick(config.collapsedOffsetRange, r2);
        result.dy = pick(config.collapsedOffsetRange, r3);
        result.scale = isLast ? 1.0 : 0.98;
        return result;
    }
    const double s = config.expandedSpread;
    const int last = total - 1;
    const double step = expandedStep(config, total);
    result.rotation =
        (total > 1 ? s / last * index : 0.0) - s / 2.0 + pick(config.expandedRotationRange, r1);
    result.dx = index * step - last * step / 2.0 + (r2 * 16.0 - 8.0);
    result.dy = isLast ? -fanRise : r3 * 8.0 - 4.0;
    result.scale = hovered ? hoverScale : 1.0;
    return result;
}

CardPose interpolate(const CardPose &from, const CardPose &to, double t)
{
    const auto mix = [t](double a, double b) { return a + (b - a) * t; };
    // A spring swings past its end; a card is never more than opaque.
    const double opacity = std::clamp(mix(from.opacity, to.opacity), 0.0, 1.0);
    return {mix(from.rotation, to.rotation),
            mix(from.dx, to.dx),
            mix(from.dy, to.dy),
            mix(from.scale, to.scale),
            to.z,
            opacity};
}

QTransform cardTransform(const StackLayoutConfig &config, const CardPose &pose, QPointF centre)
{
    const QSizeF size = config.itemSize;
    QTransform transform;
    transform.translate(centre.x() + pose.dx, centre.y() + pose.dy);
    transform.rotate(pose.rotation);
    transform.scale(pose.scale, pose.scale);
    transform.translate(-size.width() / 2.0, -size.height() / 2.0);
    return transform;
}

int hitTest(const StackLayoutConfig &config, const QList<CardPose> &poses, QPointF centre,
            QPointF point)
{
    std::vector<int> order(poses.size());
    std::iota(order.begin(), order.end(), 0);
    // Topmost first; of two equal orders the later card is drawn later, so it is on top.
    std::sort(order.begin(), order.end(), [&poses](int a, int b) {
        return poses[a].z != poses[b].z ? poses[a].z > poses[b].z : a > b;
    });
    const QRectF card(QPointF(0, 0), config.itemSize);
    const double radius =
        std::min(config.cornerRadius, std::min(card.width(), card.height()) / 2.0);
    for (const int index : order) {
        bool invertible = false;
        const QPointF local =
            cardTransform(config, poses[index], centre).inverted(&invertible).map(point);
        if (!invertible || !card.contains(local))
            continue;
        // Outside a rounded corner counts as outside the card.
        const double cx = std::clamp(local.x(), radius, card.width() - radius);
        const double cy = std::clamp(local.y(), radius, card.height() - radius);
        const double ddx = local.x() - cx;
        const double ddy = local.y() - cy;
        if (ddx * ddx + ddy * ddy <= radius * radius)
            return index;
    }
    return -1;
}

} // namespace StackLayout
