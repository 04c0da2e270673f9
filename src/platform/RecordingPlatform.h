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
    std::shared_ptr<GifConverter> gifConverter;
};

// X11 frames, FFmpeg movies and GIFs and the audio server's sound. Without an X11 display (the
// offscreen platform) the frame sources fail to start.
RecordingPlatform makeRecordingPlatform();

} // namespace platform
