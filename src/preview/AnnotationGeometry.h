#pragma once

#include "preview/AnnotationModel.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <optional>

// What of a mark may be drawn over an image of a given pixel size. Marks come from the editor,
// but the renderer writes into the image's own memory: geometry that is not finite, or lies
// far beyond the image, must never reach the drawing or the cell arithmetic.
namespace AnnotationGeometry {

// The mark as it may be drawn, or nothing when it must be left out: a coordinate or width that
// is not finite, a width beyond any the editor offers, or a point far outside the image. Boxes
// (Box, Redact) reaching past the image are cut to a margin around it that hides the cut.
std::optional<AnnotationItem> drawable(const AnnotationItem &item, QSize imageSize);

// The cell size of a redaction box: a quarter of its shorter side, at least 8 pixels, so that
// a covered line of text always falls within a few cells.
double pixelationScale(double width, double height);

// A redaction's pixels: `cells` holds one averaged colour per cell, the cells `cell` pixels
// square from the top-left corner of `cut` (the part of the box inside the image, whole pixels),
// the last row and column cut short by `cut`.
struct Pixelation {
    QRect cut;
    int cell = 0;
    QImage cells;
};

// The pixelation of a redaction box over the capture, averaged from `source` (the capture at
// its full size, or a smaller copy of it standing in while the full one loads); nothing for a
// box of 2 pixels or less either way or one outside the image.
std::optional<Pixelation> pixelate(const QImage &source, QSize imageSize, const QRectF &box);

} // namespace AnnotationGeometry
