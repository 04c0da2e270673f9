#pragma once

#include "model/SettingsEnums.h"

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QRectF>
#include <QTransform>

class QImage;
class QPainter;
class QString;

// Drawing shared by the deck's cards, the floating pin and the tray's thumbnail stack.
namespace PinCardDrawing {

enum class Symbol : quint8 { copy, save, trash, eye, eyeSlash, checkmark, folder, open, close };

// The border colour of a pin; `accent` takes the colour of the accent theme.
QColor borderColor(PinBorderColor border, AccentTheme accent);

// The picture scaled to cover `size` (device pixels given by dpr), cut to it and centred;
// what a card keeps in place of the full picture.
QPixmap coverPixmap(const QImage &image, QSizeF size, double dpr);
// The same in pixels; the picture itself when it already has that size.
QImage coverImage(const QImage &image, QSize pixels);
// The device pixels of `size` points, rounded up, at least one each way.
QSize devicePixels(QSizeF size, double dpr);

// The capsule of icon buttons floated 8 points above the bottom edge of a card of `cardSize`:
// the rectangles of `count` buttons (card coordinates) and the capsule around them.
struct Capsule {
    QRectF frame;
    QList<QRectF> buttons;
};
Capsule capsule(QSizeF cardSize, int count);
// The same capsule kept upright over a turned (and scaled) card: `card` maps the card's
// coordinates to the painter's; the capsule is centred across the card with its lowest corner
// 8 points above the card's bottom edge, its rectangles in the painter's coordinates.
Capsule uprightCapsule(const QTransform &card, QSizeF cardSize, int count);
void drawCapsule(QPainter &painter, const Capsule &capsule, const QList<Symbol> &symbols);
// A short message over the top of a card of `cardSize` (`card` as for uprightCapsule): white
// words on a dark plate, wrapped to the card and cut at its height.
void drawNotice(QPainter &painter, const QTransform &card, QSizeF cardSize, const QString &text);

// A small white line drawing of the symbol, centred in `box`.
void drawSymbol(QPainter &painter, Symbol symbol, const QRectF &box, const QColor &color);

} // namespace PinCardDrawing
