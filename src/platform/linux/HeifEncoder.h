#pragma once

#include <QImage>
#include <QString>

class QIODevice;

namespace platform {

// HEIC (HEVC in HEIF) through libheif, which Qt can neither read nor write here.
class HeifEncoder {
public:
    // Encodes at the encoder's default quality and writes the file to device. False, with
    // *error (when given) set, when there is no HEVC encoder, the image is null or too large
    // for it, or the device refused the bytes. Any thread.
    static bool encode(const QImage &image, QIODevice &device, QString *error = nullptr);
};

} // namespace platform
