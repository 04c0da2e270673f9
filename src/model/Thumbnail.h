#pragma once

#include <QImage>

// The reduced copy of a capture shown in the tray: at most maxSide pixels on
// its longer side, never enlarged, aspect ratio kept (each side at least one
// pixel). An image without pixels, or one that cannot be scaled, is returned
// as it is. Every producer of a capture record passes captureThumbnailSide.
inline constexpr double captureThumbnailSide = 200;
QImage makeThumbnail(const QImage &image, double maxSide);
