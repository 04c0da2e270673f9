#pragma once

#include <QRectF>

// Where the preview window goes for a capture of the given pixel size: sized
// from the capture's aspect within the caps, centred on the visible frame.
// Screen coordinates (points, y upwards), like the frame.
QRectF previewWindowRect(double pixelWidth, double pixelHeight, const QRectF &visibleFrame);

// The visible frame assumed when there is no screen at all.
inline constexpr QRectF previewFallbackFrame{0, 0, 1440, 900};

// The preview's frame grown to at least `minimum` (the markup editor's size) about its centre,
// never beyond the visible frame, and moved back inside it where growing pushed it out.
QRectF enlargedWithin(const QRectF &frame, QSizeF minimum, const QRectF &visibleFrame);
