#pragma once

#include <QImage>
#include <QRect>

namespace platform {

// How big the text in an image is and where the image's content lies, measured cheaply before
// recognition so the recognizer can decide whether to enlarge it and what it may leave out.
struct TextExtent {
    // The height of capitals and tall letters in pixels; 0 when too few letter-like shapes
    // were found to tell.
    int capHeight = 0;
    // Everything that differs from the background; empty for a blank image.
    QRect content;
};

// The image is taken as one byte per pixel (Grayscale8); other formats are converted.
TextExtent measureText(const QImage &image);

} // namespace platform
