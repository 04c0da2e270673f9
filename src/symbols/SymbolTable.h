#pragma once

#include <QHash>
#include <QPainterPath>
#include <QString>
#include <initializer_list>

// A symbol's paths in a 16 × 16 box: the outline that is stroked and the parts that are filled.
struct SymbolPaths {
    QPainterPath stroked;
    QPainterPath filled;
};

// Adds a line through the points, in order, to the path.
void addPolyline(QPainterPath &path, std::initializer_list<QPointF> points);
// Adds the closed outline through the points to the path.
void addPolygon(QPainterPath &path, std::initializer_list<QPointF> points);

// The one table of the program's symbols, by name, filled by the files that draw them.
using SymbolTable = QHash<QString, SymbolPaths>;

// One name, one shape: a name is added once.
inline void addSymbol(SymbolTable &table, const QString &name, SymbolPaths paths)
{
    Q_ASSERT(!table.contains(name));
    table.insert(name, std::move(paths));
}

// The symbols of the preview's and the markup editor's controls.
void addToolSymbols(SymbolTable &table);
// The symbols of the main and settings windows' pages.
void addWindowSymbols(SymbolTable &table);
