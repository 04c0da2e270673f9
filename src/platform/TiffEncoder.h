#pragma once

#include <QByteArray>
#include <QImage>

namespace platform {

// A TIFF 6.0 file in memory: 8-bit RGB, or RGB with unassociated alpha for images with an alpha
// channel, little-endian, at 72 dpi, in strips of rows, each compressed on its own with Deflate
// (compression 8) after horizontal differencing (predictor 2), the way libtiff writes them: both
// are extensions to Baseline TIFF, so a reader that knows only Baseline refuses the file. The
// strips are compressed side by side. What the clipboard offers beside
// PNG for programs that paste TIFF; a screen image takes about what its PNG does, where
// uncompressed rows would hold every pixel's bytes.
class TiffEncoder {
public:
    // Empty for a null image, one too large for a TIFF file (4 GiB) or when memory runs out.
    // Any thread.
    static QByteArray encode(const QImage &image);
};

} // namespace platform
