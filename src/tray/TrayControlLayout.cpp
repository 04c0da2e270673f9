#include "tray/TrayControlLayout.h"

#include "model/StoredEnum.h"

#include <algorithm>
#include <cmath>

namespace {

// Around the tray, for its shadow.
constexpr double panelMarginWidth = 40;
constexpr double panelMarginHeight = 20;

constexpr double hoverBandWidth = 400;
constexpr double hoverBandHeight = 20;

// A display narrower or lower than the tray's margins gives no extent rather than a negative one.
double extent(double length)
{
    return std::isfinite(length) && length > 0 ? length : 0.0;
}

double maxY(const QRectF &rect)
{
    const QRectF r = rect.normalized();
    return r.y() + r.height();
}

QSizeF expandedSize(TrayPosition position, const NotchGeometry::Screen &screen,
                    const NotchGeometry::LayoutInfo &layout, const TrayContent &content)
{
    const int n = std::max(content.itemCount, 0);
    const bool attached = isTrayAttached(layout, position);
    const double notchHeight = attached ? layout.notchHeight : 0.0;
    // A corner shows the same tray as the top centre: a column there would cut off the
    // thumbnails, the name and most of the buttons.
    if (n == 0 && !content.recording)
        return {std::max(layout.notchWidth, 160.0), 34 + notchHeight};
    if (n == 0)
        return {std::max(layout.notchWidth + 140.0, 360.0), 44 + notchHeight};
    const int b = std::clamp(content.visibleButtons, 0, 7);
    double width =
        std::min(88.0 * n, 240.0) + 145 + (36.0 * b + 8.0 * std::max(b - 1, 0)) + 36 + 40;
    width = std::min(std::max(width, 580.0), screen.frame.width() - 40.0);
    return {extent(width), 82 + notchHeight};
}

} // namespace

int visibleTrayButtonCount(const QSet<QString> &disabledButtons)
{
    int count = 0;
    for (TrayButtonID button : allCases<TrayButtonID>()) {
        if (!disabledButtons.contains(rawValue(button)))
            ++count;
    }
    return count;
}

bool isTrayAttached(const NotchGeometry::LayoutInfo &layout, TrayPosition position)
{
    return layout.hasNotch && position == TrayPosition::notch;
}

QSizeF trayContentSize(TrayInteractionState state, TrayPosition position,
                       const NotchGeometry::Screen &screen, const TrayContent &content)
{
    const NotchGeometry::LayoutInfo layout = NotchGeometry::layoutInfo(screen);
    const bool attached = isTrayAttached(layout, position);
    const double nW = layout.notchWidth;
    const double nH = layout.notchHeight;
    switch (state) {
    case TrayInteractionState::compact:
        if (!attached)
            return {content.traySize == TraySize::compact ? 168.0 : 196.0, 34};
        if (content.itemCount <= 0 && !content.recording)
            return {nW, nH};
        return {std::max(nW + (content.traySize == TraySize::compact ? 104.0 : 130.0), 220.0), nH};
    case TrayInteractionState::confirmation:
        if (attached)
            return {std::max(nW + 150.0, 270.0), nH};
        return {220, 36};
    case TrayInteractionState::expanded:
        return expandedSize(position, screen, layout, content);
    }
    return trayContentSizeWithoutScreen();
}

QSizeF trayContentSizeWithoutScreen()
{
    return {300, 80};
}

QSizeF trayPanelContentSize(QSizeF traySize)
{
    return {traySize.width() + panelMarginWidth, traySize.height() + panelMarginHeight};
}

QRectF trayPanelFrame(TrayInteractionState state, TrayPosition position,
                      const NotchGeometry::Screen &screen, const TrayContent &content)
{
    const QSizeF expanded = trayPanelContentSize(
        trayContentSize(TrayInteractionState::expanded, position, screen, content));
    const QSizeF current = trayPanelContentSize(trayContentSize(state, position, screen, content));
    return NotchGeometry::trayFrame(screen, expanded.expandedTo(current), position);
}

double trayLeftInPanel(double panelWidth, double trayWidth, TrayPosition position)
{
    switch (position) {
    case TrayPosition::topLeft:
    case TrayPosition::bottomLeft:
        return panelMarginWidth / 2;
    case TrayPosition::topRight:
    case TrayPosition::bottomRight:
        return panelWidth - panelMarginWidth / 2 - trayWidth;
    case TrayPosition::notch:
    case TrayPosition::floatingTop:
    case TrayPosition::floatingBottom:
        break;
    }
    return (panelWidth - trayWidth) * 0.5;
}

QList<QRectF> trayInteractiveRects(QSizeF bounds, TrayInteractionState state, QSizeF current,
                                   QSizeF expanded, bool attached, double notchWidth,
                                   double notchHeight, TrayPosition position)
{
    const double boundsWidth = bounds.width();
    const double boundsHeight = bounds.height();
    if (!attached) {
        const double w = std::min(boundsWidth - 40, current.width());
        const double h = std::min(boundsHeight, current.height());
        if (w > 1 && h > 1)
            return {QRectF(trayLeftInPanel(boundsWidth, w, position), 0, w, h)};
        return {};
    }
    if (state == TrayInteractionState::expanded) {
        const double w = std::min(boundsWidth - 40, expanded.width());
        const double x = (boundsWidth - w) * 0.5;
        QList<QRectF> rects;
        if (notchHeight > 0)
            rects << QRectF(x, 0, w, notchHeight);
        const double bodyHeight =
            std::min(boundsHeight - notchHeight, expanded.height() - notchHeight);
        if (bodyHeight > 1)
            rects << QRectF(x, notchHeight, w, bodyHeight);
        return rects;
    }
    const double w = std::min(boundsWidth - 40, current.width());
    if ((w - notchWidth) * 0.5 > 1 && notchHeight > 0)
        return {QRectF((boundsWidth - w) * 0.5, 0, w, notchHeight)};
    return {};
}

QRectF trayHoverBand(const NotchGeometry::Screen &screen, TrayPosition position)
{
    if (position != TrayPosition::notch && position != TrayPosition::floatingTop)
        return {};
    const NotchGeometry::LayoutInfo layout = NotchGeometry::layoutInfo(screen);
    return {layout.anchorCenter.x() - hoverBandWidth / 2, maxY(screen.frame) - hoverBandHeight,
            hoverBandWidth, hoverBandHeight};
}

QRectF trayOutlineRect(QSizeF bounds, QSizeF current, TrayPosition position)
{
    const double w = extent(std::min(bounds.width() - 40, current.width()));
    const double h = extent(std::min(bounds.height(), current.height()));
    return {trayLeftInPanel(bounds.width(), w, position), 0, w, h};
}

double trayCornerRadius(double height, bool attached, bool expanded)
{
    const double half = extent(height) / 2;
    if (expanded)
        return attached ? 14.0 : std::min(14.0, half);
    return attached ? std::min(half, 12.0) : half;
}

QPainterPath trayOutlinePath(const QRectF &rect, double radius, bool squareTop)
{
    QPainterPath path;
    if (rect.isEmpty())
        return path;
    const double r = std::clamp(radius, 0.0, std::min(rect.width(), rect.height()) / 2);
    const double top = squareTop ? 0.0 : r;
    path.moveTo(rect.left() + top, rect.top());
    path.lineTo(rect.right() - top, rect.top());
    if (top > 0)
        path.arcTo(rect.right() - 2 * top, rect.top(), 2 * top, 2 * top, 90, -90);
    path.lineTo(rect.right(), rect.bottom() - r);
    if (r > 0)
        path.arcTo(rect.right() - 2 * r, rect.bottom() - 2 * r, 2 * r, 2 * r, 0, -90);
    path.lineTo(rect.left() + r, rect.bottom());
    if (r > 0)
        path.arcTo(rect.left(), rect.bottom() - 2 * r, 2 * r, 2 * r, 270, -90);
    path.lineTo(rect.left(), rect.top() + top);
    if (top > 0)
        path.arcTo(rect.left(), rect.top(), 2 * top, 2 * top, 180, -90);
    path.closeSubpath();
    return path;
}

TrayKeyDecision trayKeyDecision(int key, const QString &text, bool expanded, bool hasSelection)
{
    if (key == Qt::Key_Escape) {
        return {expanded ? TrayKeyCommand::collapse : TrayKeyCommand::hideWhenEmpty, true};
    }
    if (!expanded)
        return {};

    // Letters by the key itself: with Control held the typed text is a control character.
    QString letter;
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        letter = QChar(u'a' + (key - Qt::Key_A));
    else
        letter = text.toLower();

    if (hasSelection) {
        if (letter == u"s" || key == Qt::Key_Return || key == Qt::Key_Enter)
            return {TrayKeyCommand::save, true};
        if (letter == u"c")
            return {TrayKeyCommand::copy, true};
        if (key == Qt::Key_Space)
            return {TrayKeyCommand::quickLook, true};
        if (letter == u"t")
            return {TrayKeyCommand::recognizeText, true};
        if (letter == u"p")
            return {TrayKeyCommand::pin, true};
        if (letter == u"a" || letter == u"m")
            return {TrayKeyCommand::annotate, true};
        if (key == Qt::Key_Backspace || key == Qt::Key_Delete)
            return {TrayKeyCommand::remove, true};
    }
    if (key == Qt::Key_Left)
        return {TrayKeyCommand::selectPrevious, true};
    if (key == Qt::Key_Right)
        return {TrayKeyCommand::selectNext, true};
    return {};
}

int trayPagingStep(double delta)
{
    if (!std::isfinite(delta) || std::abs(delta) <= trayPagingThreshold)
        return 0;
    return delta > 0 ? -1 : 1;
}

int TrayWheelPaging::step(QPoint pixelDelta, QPoint angleDelta)
{
    if (!pixelDelta.isNull()) {
        m_partialNotch = 0;
        // A touchpad swipe arrives as many small moves: they add up to the threshold, and
        // each page starts a new count. Turning back starts one too.
        const int moved = pixelDelta.x();
        if ((moved > 0) != (m_partialPixels > 0))
            m_partialPixels = 0;
        m_partialPixels += moved;
        const int page = trayPagingStep(m_partialPixels);
        if (page != 0)
            m_partialPixels = 0;
        return page;
    }
    m_partialPixels = 0;
    const int turn = angleDelta.x();
    if ((turn > 0) != (m_partialNotch > 0))
        m_partialNotch = 0;
    m_partialNotch += turn;
    const int notches = m_partialNotch / notch;
    m_partialNotch -= notches * notch;
    // A turn to the left (positive) goes towards the start of the strip.
    return -notches;
}
