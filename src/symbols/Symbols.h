#pragma once

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <initializer_list>

class QPainter;

// The program's symbols, named after the system symbols they stand in for, drawn from our own
// paths into `box` (square boxes look best) in `color`. Desktop icon themes are not used: they
// lack several of these shapes and are not drawn white on black. The tray, the preview, the
// windows and the pins all draw these; the preview and the windows add shapes of their own:
//   "doc.on.clipboard"           clipboard with a text sheet
//   "arrow.down.to.line.compact" arrow down onto a base line
//   "eye", "eye.slash"           eye, and struck through
//   "pencil.tip.crop.circle"     pencil (the markup symbol)
//   "text.viewfinder"            text lines between viewfinder corners
//   "pin.fill"                   push pin
//   "trash"                      waste bin
//   "xmark"                      cross
//   "play.fill"                  solid play triangle
//   "checkmark"                  tick
//   "folder"                     folder
//   "arrow.up.right.square"      arrow out of a square (open elsewhere)
// `weight` is the stroke width in a 16-unit box (1.4 reads as medium, 2 as bold). An unknown
// name draws nothing.
void paintSymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &color,
                 double weight = 1.4);

// Whether paintSymbol knows the name.
bool isKnownSymbol(const QString &name);

// Paints a symbol given as paths in a 16 × 16 box: the outline is stroked `weight` wide with
// round ends, the rest filled.
void paintSymbolPaths(QPainter &painter, const QPainterPath &stroked, const QPainterPath &filled,
                      const QRectF &box, const QColor &color, double weight = 1.4);

// A symbol's paths in a 16 × 16 box: the outline that is stroked and the parts that are filled.
struct SymbolPaths {
    QPainterPath stroked;
    QPainterPath filled;
};

// Adds a line through the points, in order, to the path.
void addPolyline(QPainterPath &path, std::initializer_list<QPointF> points);
