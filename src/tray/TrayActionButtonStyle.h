#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QWidget>

class QPainter;
class QPainterPath;

// Draws one of the tray's symbols, named after the system symbol it stands in for, filling
// `box` (square boxes look best) in `color`. Desktop icon themes are not used: they lack several
// of these shapes and are not drawn white on black, so every symbol is painted from paths:
//   "doc.on.clipboard"           clipboard with a text sheet
//   "arrow.down.to.line.compact" arrow down onto a base line
//   "eye"                        eye
//   "pencil.tip.crop.circle"     pencil (the markup symbol)
//   "text.viewfinder"            text lines between viewfinder corners
//   "pin.fill"                   push pin
//   "trash"                      waste bin
//   "xmark"                      cross
//   "play.fill"                  solid play triangle
// `weight` is the stroke width in a 16-unit box (1.4 reads as medium, 2 as bold). An unknown
// name draws nothing.
void paintTraySymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &color,
                     double weight = 1.4);

// Paints a symbol given as paths in a 16 × 16 box: the outline is stroked `weight` wide with
// round ends, the rest filled.
void paintSymbolPaths(QPainter &painter, const QPainterPath &stroked, const QPainterPath &filled,
                      const QRectF &box, const QColor &color, double weight = 1.4);

// Whether paintTraySymbol knows the name.
bool isKnownTraySymbol(const QString &name);

// The tray's type: sizes in points as the tray is laid out (logical pixels), in the system font
// or its fixed-width companion.
QFont trayFont(int pixelSize, QFont::Weight weight, bool monospaced = false);

// A control of one of the tray's bodies. A body fades in and out as a whole, so each of its
// controls draws at the body's opacity.
template <typename Base> class TrayBodyControl : public Base {
public:
    using Base::Base;

    void setContentOpacity(double opacity)
    {
        if (opacity == m_contentOpacity)
            return;
        m_contentOpacity = opacity;
        this->update();
    }
    double contentOpacity() const { return m_contentOpacity; }

private:
    double m_contentOpacity = 1;
};
