#include "pins/PinCardDrawing.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace PinCardDrawing {

namespace {

// Each symbol gets 16 points inside its button: legible on a photo.
constexpr double symbolSide = 20.0;
constexpr double buttonSpacing = 8.0;
constexpr double horizontalMargin = 8.0;
constexpr double verticalMargin = 4.0;
constexpr double bottomInset = 8.0;

} // namespace

QColor borderColor(PinBorderColor border, AccentTheme accent)
{
    if (border == PinBorderColor::accent)
        return color(accent);
    return color(border);
}

QPixmap coverPixmap(const QImage &image, QSizeF size, double dpr)
{
    if (image.isNull() || size.isEmpty())
        return {};
    const QSize pixels(std::max(1, int(std::ceil(size.width() * dpr))),
                       std::max(1, int(std::ceil(size.height() * dpr))));
    const QImage scaled =
        image.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect cut(
        QPoint((scaled.width() - pixels.width()) / 2, (scaled.height() - pixels.height()) / 2),
        pixels);
    QPixmap pixmap = QPixmap::fromImage(scaled.copy(cut));
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

Capsule capsule(QSizeF cardSize, int count)
{
    Capsule result;
    if (count <= 0)
        return result;
    const double width = horizontalMargin * 2 + symbolSide * count + buttonSpacing * (count - 1);
    const double height = verticalMargin * 2 + symbolSide;
    result.frame = QRectF((cardSize.width() - width) / 2.0,
                          cardSize.height() - bottomInset - height, width, height);
    for (int i = 0; i < count; ++i)
        result.buttons.append(
            QRectF(result.frame.left() + horizontalMargin + i * (symbolSide + buttonSpacing),
                   result.frame.top() + verticalMargin, symbolSide, symbolSide));
    return result;
}

Capsule uprightCapsule(const QTransform &card, QSizeF cardSize, int count)
{
    Capsule result = capsule(QSizeF(0, 0), count);
    if (count <= 0)
        return result;
    const double scale = std::hypot(card.m11(), card.m12());
    const double angle = std::atan2(card.m12(), card.m11());
    if (!(scale > 0.0))
        return {};
    // How far below its centre the upright capsule reaches, in the card's own units.
    const double a = result.frame.width() / 2.0 / scale;
    const double b = result.frame.height() / 2.0 / scale;
    const double reach = a * std::abs(std::sin(angle)) + b * std::cos(angle);
    const QPointF centre =
        card.map(QPointF(cardSize.width() / 2.0, cardSize.height() - bottomInset / scale - reach));
    const QPointF shift = centre - result.frame.center();
    result.frame.translate(shift);
    for (QRectF &button : result.buttons)
        button.translate(shift);
    return result;
}

void drawCapsule(QPainter &painter, const Capsule &capsule, const QList<Symbol> &symbols)
{
    if (capsule.frame.isEmpty())
        return;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, int(255 * 0.65)));
    const double radius = capsule.frame.height() / 2.0;
    painter.drawRoundedRect(capsule.frame, radius, radius);
    for (qsizetype i = 0; i < capsule.buttons.size() && i < symbols.size(); ++i)
        drawSymbol(painter, symbols[i], capsule.buttons[i], Qt::white);
    painter.restore();
}

void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(color, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QRectF r = box.adjusted(2, 2, -2, -2);
    const double w = r.width();
    const double h = r.height();
    const QPointF o = r.topLeft();
    const auto at = [o, w, h](double fx, double fy) { return o + QPointF(fx * w, fy * h); };
    switch (symbol) {
    case Symbol::copy:
        painter.drawRoundedRect(QRectF(at(0.3, 0.0), QSizeF(w * 0.7, h * 0.75)), 1.5, 1.5);
        painter.drawPolyline(
            QPolygonF{at(0.15, 0.25), at(0.0, 0.25), at(0.0, 1.0), at(0.7, 1.0), at(0.7, 0.85)});
        break;
    case Symbol::save:
        painter.drawLine(at(0.5, 0.0), at(0.5, 0.7));
        painter.drawPolyline(QPolygonF{at(0.2, 0.42), at(0.5, 0.72), at(0.8, 0.42)});
        painter.drawLine(at(0.1, 1.0), at(0.9, 1.0));
        break;
    case Symbol::trash:
        painter.drawLine(at(0.0, 0.18), at(1.0, 0.18));
        painter.drawLine(at(0.35, 0.0), at(0.65, 0.0));
        painter.drawPolygon(QPolygonF{at(0.12, 0.18), at(0.2, 1.0), at(0.8, 1.0), at(0.88, 0.18)});
        break;
    case Symbol::eye:
    case Symbol::eyeSlash: {
        QPainterPath eye;
        eye.moveTo(at(0.0, 0.5));
        eye.quadTo(at(0.5, 0.0), at(1.0, 0.5));
        eye.quadTo(at(0.5, 1.0), at(0.0, 0.5));
        painter.drawPath(eye);
        painter.drawEllipse(at(0.5, 0.5), w * 0.14, h * 0.14);
        if (symbol == Symbol::eyeSlash)
            painter.drawLine(at(0.1, 0.0), at(0.9, 1.0));
        break;
    }
    case Symbol::checkmark:
        painter.drawPolyline(QPolygonF{at(0.05, 0.55), at(0.38, 0.88), at(0.95, 0.15)});
        break;
    case Symbol::folder:
        painter.drawPolygon(QPolygonF{at(0.0, 0.15), at(0.4, 0.15), at(0.5, 0.3), at(1.0, 0.3),
                                      at(1.0, 0.95), at(0.0, 0.95)});
        break;
    case Symbol::open:
        painter.drawPolyline(
            QPolygonF{at(0.45, 0.1), at(0.0, 0.1), at(0.0, 1.0), at(0.9, 1.0), at(0.9, 0.55)});
        painter.drawLine(at(0.4, 0.6), at(1.0, 0.0));
        painter.drawPolyline(QPolygonF{at(0.6, 0.0), at(1.0, 0.0), at(1.0, 0.4)});
        break;
    case Symbol::close:
        painter.drawLine(at(0.1, 0.1), at(0.9, 0.9));
        painter.drawLine(at(0.9, 0.1), at(0.1, 0.9));
        break;
    }
    painter.restore();
}

} // namespace PinCardDrawing
