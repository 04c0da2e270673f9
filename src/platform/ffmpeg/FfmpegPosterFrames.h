#pragma once

#include "platform/PosterFrames.h"

namespace platform {

// Poster frames decoded with FFmpeg from the movie's first video stream.
class FfmpegPosterFrames final : public PosterFrames {
public:
    QImage frameAt(const QString &filePath, double seconds, QString *error = nullptr) override;
};

} // namespace platform
