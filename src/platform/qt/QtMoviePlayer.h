#pragma once

#include "platform/MoviePlayer.h"

namespace platform {

// Qt Multimedia on its FFmpeg backend, with sound only where there is an output device.
// Call selectMovieBackend() before the application object exists.
MoviePlayerFactory makeQtMoviePlayers();
void selectMovieBackend();

} // namespace platform
