#pragma once

#include <QImage>
#include <QList>
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
    // The most common level, taken as the paper the text is on.
    int background = 255;
};

// The image is taken as one byte per pixel (Grayscale8); other formats are converted.
TextExtent measureText(const QImage &image);

// The content split into horizontal bands of whole text lines, top to bottom, each holding at
// least `minimumLines` lines and at most `count` of them, cut only at rows blank across the
// content's width. The content as a single band when it cannot be split so: too few lines,
// text size unknown, or columns side by side (a blank gutter running through the content or a
// band), whose reading order only recognising them whole keeps. `gray` and `extent` as from
// measureText on the same image.
QList<QRect> textBands(const QImage &gray, const TextExtent &extent, int count, int minimumLines);

} // namespace platform
