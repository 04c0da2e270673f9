#pragma once

#include <QRectF>

// Where the preview window goes for a capture of the given pixel size: sized
// from the capture's aspect within the caps, centred on the visible frame.
// Screen coordinates (points, y upwards), like the frame.
QRectF previewWindowRect(double pixelWidth, double pixelHeight, const QRectF &visibleFrame);

// The visible frame assumed when there is no screen at all.
inline constexpr QRectF previewFallbackFrame{0, 0, 1440, 900};
