#pragma once

#include "preview/AnnotationModel.h"

#include <QImage>
#include <QList>

// Flattens annotations into a copy of a capture's image, in image pixels,
// whatever size the editor showed it at. Redactions go under every other mark.
// Safe to call from any thread.
namespace AnnotationRenderer {

QImage render(const QImage &baseImage, const QList<AnnotationItem> &annotations);

// The cell size of a redaction box of the given size.
double pixelationScale(double width, double height);

// The colour a mark is drawn in when its text does not parse.
QColor fallbackColor();

} // namespace AnnotationRenderer
