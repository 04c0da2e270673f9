#pragma once

#include "platform/AudioInput.h"
#include "platform/FrameSource.h"
#include "platform/GifConverter.h"
#include "platform/MovieWriter.h"
#include "platform/PosterFrames.h"

#include <memory>

namespace platform {

// What the screen recorder is built from.
struct RecordingPlatform {
    std::shared_ptr<FrameSources> frameSources;
    std::shared_ptr<MovieWriters> movieWriters;
    std::shared_ptr<PosterFrames> posterFrames;
    std::shared_ptr<AudioInputs> audioInputs;
    std::shared_ptr<GifConverter> gifConverter{};
};

} // namespace platform
