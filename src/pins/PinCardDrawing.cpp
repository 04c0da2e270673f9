#include "pins/PinCardDrawing.h"

#include "symbols/Symbols.h"

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

QImage coverImage(const QImage &image, QSize pixels)
{
    if (image.isNull() || pixels.isEmpty())
        return {};
    if (image.size() == pixels)
        return image;
    const QImage scaled =
        image.scaled(pixels, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
    const QRect cut(
        QPoint((scaled.width() - pixels.width()) / 2, (scaled.height() - pixels.height()) / 2),
        pixels);
    return scaled.copy(cut);
}

QSize devicePixels(QSizeF size, double dpr)
{
    return {std::max(1, int(std::ceil(size.width() * dpr))),
            std::max(1, int(std::ceil(size.height() * dpr)))};
}

QPixmap coverPixmap(const QImage &image, QSizeF size, double dpr)
{
    if (image.isNull() || size.isEmpty())
        return {};
    QPixmap pixmap = QPixmap::fromImage(coverImage(image, devicePixels(size, dpr)));
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

void drawNotice(QPainter &painter, const QTransform &card, QSizeF cardSize, const QString &text)
{
    constexpr double inset = 4.0;
    constexpr double padding = 4.0;
    const QRectF room(inset + padding, inset + padding, cardSize.width() - 2 * (inset + padding),
                      cardSize.height() - 2 * (inset + padding));
    if (room.width() <= 0 || room.height() <= 0)
        return;
    painter.save();
    painter.setTransform(card, true);
    QFont font = painter.font();
    font.setPixelSize(10);
    font.setWeight(QFont::DemiBold);
    painter.setFont(font);
    const QRectF words =
        painter.boundingRect(room, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
    const QRectF plate =
        QRectF(room.left(), room.top(), room.width(), std::min(words.height(), room.height()))
            .adjusted(-padding, -padding, padding, padding);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 200));
    painter.drawRoundedRect(plate, 6, 6);
    painter.setPen(Qt::white);
    painter.setClipRect(plate);
    painter.drawText(plate.adjusted(padding, padding, -padding, -padding),
                     Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, text);
    painter.restore();
}

void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &color)
{
    QString name;
    switch (symbol) {
    case Symbol::copy:
        name = QStringLiteral("doc.on.clipboard");
        break;
    case Symbol::save:
        name = QStringLiteral("arrow.down.to.line.compact");
        break;
    case Symbol::trash:
        name = QStringLiteral("trash");
        break;
    case Symbol::eye:
        name = QStringLiteral("eye");
        break;
    case Symbol::eyeSlash:
        name = QStringLiteral("eye.slash");
        break;
    case Symbol::checkmark:
        name = QStringLiteral("checkmark");
        break;
    case Symbol::folder:
        name = QStringLiteral("folder");
        break;
    case Symbol::open:
        name = QStringLiteral("arrow.up.right.square");
        break;
    case Symbol::close:
        name = QStringLiteral("xmark");
        break;
    }
    // A line 1.6 pixels wide whatever the box, as the cards' small symbols have always been.
    const double side = std::min(box.width(), box.height());
    if (side > 0)
        paintSymbol(painter, name, box, color, 1.6 * 16 / side);
}

} // namespace PinCardDrawing
