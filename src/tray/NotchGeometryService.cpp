#include "tray/NotchGeometryService.h"

#include <algorithm>
#include <cmath>

namespace {

// Screen coordinates grow upward, so a rectangle's maximum y is its y plus its height (what
// QRectF calls bottom()). Read through normalized() so that a negative extent still gives the
// true minimum and maximum.
double minX(const QRectF &rect)
{
    return rect.normalized().x();
}
double maxX(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    return r.x() + r.width();
}
double minY(const QRectF &rect)
{
    return rect.normalized().y();
}
double maxY(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    return r.y() + r.height();
}
double midX(const QRectF &rect)
{
    return rect.normalized().center().x();
}

bool sameRect(const QRectF &a, const QRectF &b)
{
    return a.x() == b.x() && a.y() == b.y() && a.width() == b.width() && a.height() == b.height();
}

// A size that is negative, NaN or infinite would turn every coordinate computed from it into
// NaN or an infinity; such a panel gets no extent instead.
double panelExtent(double length)
{
    return std::isfinite(length) && length > 0 ? length : 0.0;
}

constexpr double margin = 20;
constexpr double floatingBottomLift = 28;

} // namespace

NotchGeometry::Screen NotchGeometry::Screen::fromDisplay(const platform::Display &display,
                                                         std::optional<QRectF> visibleFrame)
{
    Screen screen;
    screen.frame = display.screenFrame;
    screen.visibleFrame = visibleFrame.value_or(display.screenFrame);
    return screen;
}

bool NotchGeometry::LayoutInfo::operator==(const LayoutInfo &other) const
{
    if (hasNotch != other.hasNotch || notchRect.has_value() != other.notchRect.has_value())
        return false;
    if (notchRect && !sameRect(*notchRect, *other.notchRect))
        return false;
    return notchHeight == other.notchHeight && notchWidth == other.notchWidth &&
           anchorCenter.x() == other.anchorCenter.x() &&
           anchorCenter.y() == other.anchorCenter.y() && topEdgeY == other.topEdgeY;
}

NotchGeometry::LayoutInfo NotchGeometry::layoutInfo(const Screen &screen)
{
    LayoutInfo info;
    if (!screen.auxiliaryTopLeftArea || !screen.auxiliaryTopRightArea ||
        !(screen.safeAreaTopInset > 0)) {
        info.anchorCenter = QPointF(midX(screen.frame), maxY(screen.visibleFrame));
        info.topEdgeY = maxY(screen.visibleFrame);
        return info;
    }

    const double left = maxX(*screen.auxiliaryTopLeftArea);
    const double right = minX(*screen.auxiliaryTopRightArea);
    info.hasNotch = true;
    // Overlapping areas leave no room for a notch, yet the tray still centres between them.
    info.notchWidth = std::max(right - left, 0.0);
    info.notchHeight = screen.safeAreaTopInset;
    info.notchRect =
        QRectF(left, maxY(screen.frame) - info.notchHeight, info.notchWidth, info.notchHeight);
    info.anchorCenter = QPointF((left + right) * 0.5, minY(*info.notchRect));
    info.topEdgeY = maxY(screen.frame);
    return info;
}

QRectF NotchGeometry::trayFrame(const Screen &screen, QSizeF contentSize, TrayPosition position)
{
    const double w = panelExtent(contentSize.width());
    const double h = panelExtent(contentSize.height());
    const QRectF &f = screen.frame;
    const QRectF &v = screen.visibleFrame;

    double x = 0;
    double y = 0;
    switch (position) {
    case TrayPosition::notch: {
        const LayoutInfo layout = layoutInfo(screen);
        x = layout.anchorCenter.x() - w * 0.5;
        y = (layout.hasNotch ? maxY(f) : maxY(v)) - h;
        break;
    }
    case TrayPosition::floatingTop:
        x = midX(f) - w * 0.5;
        y = maxY(v) - h - margin;
        break;
    case TrayPosition::floatingBottom:
        // No margin here: just clear of the display's bottom edge, or resting on a taller dock.
        x = midX(f) - w * 0.5;
        y = std::max(minY(v), minY(f) + floatingBottomLift);
        break;
    case TrayPosition::topLeft:
        x = minX(v) + margin;
        y = maxY(v) - h - margin;
        break;
    case TrayPosition::topRight:
        x = maxX(v) - w - margin;
        y = maxY(v) - h - margin;
        break;
    case TrayPosition::bottomLeft:
        x = minX(v) + margin;
        y = minY(v) + margin;
        break;
    case TrayPosition::bottomRight:
        x = maxX(v) - w - margin;
        y = minY(v) + margin;
        break;
    }
    return QRectF(x, y, w, h);
}

double NotchGeometryData::anchorY() const
{
    return maxY(screen.frame);
}

bool NotchGeometryData::operator==(const NotchGeometryData &other) const
{
    const auto sameArea = [](const std::optional<QRectF> &a, const std::optional<QRectF> &b) {
        return a.has_value() == b.has_value() && (!a || sameRect(*a, *b));
    };
    const NotchGeometry::Screen &s = screen;
    const NotchGeometry::Screen &o = other.screen;
    return sameRect(s.frame, o.frame) && sameRect(s.visibleFrame, o.visibleFrame) &&
           s.safeAreaTopInset == o.safeAreaTopInset &&
           sameArea(s.auxiliaryTopLeftArea, o.auxiliaryTopLeftArea) &&
           sameArea(s.auxiliaryTopRightArea, o.auxiliaryTopRightArea) &&
           hasNotch == other.hasNotch && sameRect(notchRect, other.notchRect) &&
           safeTopInset == other.safeTopInset;
}

NotchGeometryData NotchGeometryService::geometry(const NotchGeometry::Screen &screen) const
{
    NotchGeometryData data;
    data.screen = screen;
    const double top = screen.safeAreaTopInset;
    data.safeTopInset = top;

    const auto &left = screen.auxiliaryTopLeftArea;
    const auto &right = screen.auxiliaryTopRightArea;
    if (!left || !right || left->isEmpty() || right->isEmpty())
        return data;

    const double leftWidth = left->normalized().width();
    const double notchWidth =
        std::max(screen.frame.normalized().width() - leftWidth - right->normalized().width(), 0.0);
    // A non-finite width or inset would place the panel nowhere sensible: no notch then.
    if (!(std::isfinite(notchWidth) && notchWidth > 0 && std::isfinite(top) && top > 0))
        return data;

    data.hasNotch = true;
    data.notchRect =
        QRectF(minX(screen.frame) + leftWidth, maxY(screen.frame) - top, notchWidth, top);
    return data;
}
