#pragma once

#include "preview/AnnotationModel.h"

#include <QImage>
#include <QList>

class QPainter;

// Flattens annotations into a copy of a capture's image, in image pixels,
// whatever size the editor showed it at. Redactions go under every other mark.
// Safe to call from any thread.
namespace AnnotationRenderer {

QImage render(const QImage &baseImage, const QList<AnnotationItem> &annotations);

// Draws the marks in the pixels of an image of imageSize, over whatever the painter already
// holds: the redactions first, averaged from `source`, then every other mark in list order.
// Marks whose geometry cannot be drawn are left out. The saved image and the editor's canvas
// (which scales the painter to the size it shows the capture at) both draw through here.
void paintAnnotations(QPainter &painter, const QImage &source, QSize imageSize,
                      const QList<AnnotationItem> &annotations);

// The colour a mark is drawn in when its text does not parse.
QColor fallbackColor();

} // namespace AnnotationRenderer
