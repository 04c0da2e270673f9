#pragma once

#include "platform/MoviePlayer.h"

namespace platform {

// Movies decoded by FFmpeg, with sound through Qt Multimedia only where there is an output
// device. Call selectMovieBackend() before the application object exists.
MoviePlayerFactory makeFfmpegMoviePlayers();
void selectMovieBackend();

} // namespace platform
