#pragma once

#include "platform/GifConverter.h"

namespace platform {

// GIFs through libavfilter's palettegen and paletteuse and libavcodec's GIF encoder. A first
// pass over the movie makes the palette from a few frames a second; a second pass maps every
// frame to it on all cores at once, while one thread encodes the mapped frames in order.
class FfmpegGifConverter final : public GifConverter {
public:
    bool convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                 QString *error = nullptr) override;
};

} // namespace platform
