#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// The program's symbols, named after the system symbols they stand in for, drawn from our own
// paths into `box` (square boxes look best) in `color`. Desktop icon themes are not used: they
// lack several of these shapes and are not drawn white on black. One table holds the symbols of
// every surface, and a name has one shape wherever it is drawn: the preview's and the markup
// editor's controls add theirs in ToolSymbols.cpp, the main and settings windows' pages in
// WindowSymbolShapes.cpp; the tray's and the pins' are these:
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
// name draws nothing, on every surface.
void paintSymbol(QPainter &painter, const QString &name, const QRectF &box, const QColor &color,
                 double weight = 1.4);

// Whether the table has the name.
bool isKnownSymbol(const QString &name);
