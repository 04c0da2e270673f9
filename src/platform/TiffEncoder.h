#pragma once

#include <QByteArray>
#include <QImage>

namespace platform {

// Baseline TIFF in memory: uncompressed 8-bit RGB, or RGB with unassociated alpha for images
// with an alpha channel, in one strip, little-endian, at 72 dpi. What the clipboard offers
// beside PNG for programs that paste TIFF.
class TiffEncoder {
public:
    // Empty for a null image or one too large for a TIFF file (4 GiB). Any thread.
    static QByteArray encode(const QImage &image);
};

} // namespace platform
