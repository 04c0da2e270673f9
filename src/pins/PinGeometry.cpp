#include "pins/PinGeometry.h"

#include "model/SettingsStore.h"

#include <algorithm>
#include <cmath>

namespace PinGeometry {

namespace {

bool isTop(PinPlacement placement)
{
    return placement == PinPlacement::topLeft || placement == PinPlacement::topRight;
}

bool isLeft(PinPlacement placement)
{
    return placement == PinPlacement::topLeft || placement == PinPlacement::bottomLeft;
}

// The rectangle's origin (bottom-left, y upwards) for a size put in the padded corner.
QPointF cornerOrigin(const QRectF &v, QSizeF size, double padding, PinPlacement placement)
{
    const double x = isLeft(placement) ? v.left() + padding : v.right() - size.width() - padding;
    const double y = isTop(placement) ? v.bottom() - size.height() - padding : v.top() + padding;
    return {x, y};
}

} // namespace

double paddingWithin(double padding, const QRectF &visibleFrame)
{
    return std::min(padding, std::min(visibleFrame.width(), visibleFrame.height()) / 2.0);
}

QRectF visibleFrameOr800x600(const std::optional<QRectF> &visibleFrame)
{
    if (visibleFrame && visibleFrame->isValid())
        return *visibleFrame;
    return {0.0, 0.0, 800.0, 600.0};
}

QSizeF deckCardSize(double pinSize)
{
    return {pinSize, pinSize / 1.4};
}

StackLayoutConfig deckConfig(double pinSize, const std::optional<QSizeF> &area)
{
    const double s = usablePinSize(pinSize);
    StackLayoutConfig config;
    config.collapsedRotationRange = {-8.0, 8.0};
    config.collapsedOffsetRange = {-6.0, 6.0};
    config.expandedSpread = std::min(s * 0.18, largestDeckSpread);
    config.expandedRotationRange = {-5.0, 5.0};
    config.itemSize = deckCardSize(s);
    config.cornerRadius = 8.0;
    config.shadowRadius = 5.0;
    config.shadowOpacity = 0.4;
    if (!area || !(area->width() > 0.0) || !(area->height() > 0.0))
        return config;
    config.expandedMaxWidth = area->width();
    // What one card needs, fanned or not, grows in step with its size beyond a fixed fringe.
    const auto need = [](const StackLayoutConfig &c) {
        return StackLayout::pileSize(c, 1, true).expandedTo(StackLayout::pileSize(c, 1, false));
    };
    StackLayoutConfig bare = config;
    bare.itemSize = QSizeF(0.0, 0.0);
    const QSizeF fringe = need(bare);
    const QSizeF full = need(config) - fringe;
    const double fit = std::min((area->width() - fringe.width()) / full.width(),
                                (area->height() - fringe.height()) / full.height());
    if (fit < 1.0) {
        const QSizeF smaller = config.itemSize * std::max(fit, 0.0);
        config.itemSize = smaller.expandedTo(QSizeF(1.0, 1.0));
    }
    return config;
}

QRectF deckFrame(const QRectF &visibleFrame, double pinSize, double padding, PinPlacement placement)
{
    const double s = pinSize;
    const double fanHeight = StackLayout::pileSize(deckConfig(s), 1, true).height();
    const QSizeF size(s + s * 0.72 * 11.0 + 80.0, std::max(s / 1.4 + 80.0, fanHeight));
    return {cornerOrigin(visibleFrame, size, padding, placement), size};
}

QRectF deckWindowFrame(const QRectF &deckFrame, const QRectF &visibleFrame, PinPlacement placement)
{
    const QRectF &v = visibleFrame;
    // The corner the deck grows from (y upwards: the top is the larger y).
    QPointF corner(isLeft(placement) ? deckFrame.left() : deckFrame.right(),
                   isTop(placement) ? deckFrame.bottom() : deckFrame.top());
    corner.setX(std::clamp(corner.x(), v.left(), std::max(v.left(), v.right())));
    corner.setY(std::clamp(corner.y(), v.top(), std::max(v.top(), v.bottom())));
    const QSizeF size = deckFrame.size();
    const QRectF anchored(QPointF(isLeft(placement) ? corner.x() : corner.x() - size.width(),
                                  isTop(placement) ? corner.y() - size.height() : corner.y()),
                          size);
    return anchored.intersected(v);
}

QSizeF fitSize(const std::optional<QSizeF> &previewSize, double maxSide, double scale)
{
    const double m = maxSide;
    if (!previewSize || !(previewSize->height() > 0.0) || !(previewSize->width() > 0.0))
        return {m, m * 0.75};
    const double s = scale > 0.0 && std::isfinite(scale) ? scale : 2.0;
    const double aspect = previewSize->width() / previewSize->height();
    if (aspect >= 1.0) {
        const double w = std::min(m, std::max(previewSize->width() / s, 120.0));
        return {w, std::max(w / aspect, 120.0)};
    }
    const double h = std::min(m, std::max(previewSize->height() / s, 120.0));
    return {std::max(aspect * h, 120.0), h};
}

QRectF floatingFrame(const std::optional<QRectF> &visibleFrame, QSizeF size, double padding,
                     PinPlacement placement, const QList<double> &earlierHeights)
{
    if (!visibleFrame)
        return {200.0, 200.0, 400.0, 300.0};
    const QRectF &v = *visibleFrame;
    QPointF origin = cornerOrigin(v, size, padding, placement);
    double offset = 0.0;
    for (const double height : earlierHeights)
        offset += height + 16.0;
    origin.ry() += isTop(placement) ? -offset : offset;
    origin.setX(std::max(v.left(), std::min(v.right() - size.width(), origin.x())));
    origin.setY(std::max(v.top(), std::min(v.bottom() - size.height(), origin.y())));
    return {origin, size};
}

QRect qtGeometry(const QRectF &screenRect, const QList<platform::Display> &displays)
{
    const QRectF capture = platform::screenToCapture(screenRect, displays);
    QPointF topLeft = capture.topLeft();
    for (const platform::Display &display : displays) {
        if (platform::containsHalfOpen(display.captureFrame, capture.center())) {
            topLeft = QPointF(display.rootRect.topLeft()) +
                      (capture.topLeft() - display.captureFrame.topLeft());
            break;
        }
    }
    return {QPoint(qRound(topLeft.x()), qRound(topLeft.y())),
            QSize(qRound(capture.width()), qRound(capture.height()))};
}

} // namespace PinGeometry
