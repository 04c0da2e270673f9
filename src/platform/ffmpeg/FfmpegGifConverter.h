#pragma once

#include "platform/GifConverter.h"

#include <QThreadPool>
#include <mutex>

namespace platform {

// GIFs through libavfilter's palettegen and paletteuse and libavcodec's GIF encoder. A first
// pass over the movie makes the palette from a few frames a second; a second pass maps every
// frame to it on all cores at once, while one thread encodes the mapped frames in order.
class FfmpegGifConverter final : public GifConverter {
public:
    FfmpegGifConverter();
    ~FfmpegGifConverter() override;

    bool convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                 QString *error = nullptr) override;

private:
    // The stages of a conversion wait on each other, so each needs a thread of its own at once,
    // which a shared pool cannot promise: the converter keeps its own workers, one per stage,
    // and conversions take turns on them.
    QThreadPool m_workers;
    std::mutex m_converting;
};

} // namespace platform
