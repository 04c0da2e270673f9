#pragma once

#include <QImage>
#include <QSize>
#include <QSizeF>

// A drop shadow for window captures. X11 windows carry no shadow of their own, so a window
// captured with its shadow gets one drawn like a compositor's: the frame's shape in black,
// moved down a little, blurred and half transparent, on a transparent margin.

// Points added to each side of the frame (half of the 128 points added to each dimension).
constexpr double windowShadowMargin = 64.0;

// The pixel size of a shadowed capture: each side of the frame plus 128 points, times the
// scale, truncated toward zero.
QSize shadowedWindowSize(const QSizeF &framePoints, double scale);

// The window image centred on a transparent canvas of canvasSize with its shadow drawn under
// it, as Format_ARGB32_Premultiplied. The shadow's offset and blur are in points, so they grow
// with the scale. A window too large for the canvas's inner part (the canvas less the margin on
// each side) is scaled down to fit it, keeping its proportions. A null window gives a null image.
QImage withWindowShadow(const QImage &window, QSize canvasSize, double scale);
