#pragma once

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

// Draws the symbols of the preview and the markup editor (and the tray's), named after the
// system symbols they stand in for, in a square box. An unknown name draws nothing.
void paintPreviewSymbol(QPainter &painter, const QString &name, const QRectF &box,
                        const QColor &color, double weight = 1.4);

bool isKnownPreviewSymbol(const QString &name);
