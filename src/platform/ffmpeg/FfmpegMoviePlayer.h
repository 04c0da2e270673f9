#pragma once

#include "platform/MoviePlayer.h"
#include "platform/ffmpeg/SoundOutput.h"

namespace platform {

// Movies decoded by FFmpeg, with sound through Qt Multimedia only where there is an output
// device. Call selectMovieBackend() before the application object exists.
MoviePlayerFactory makeFfmpegMoviePlayers();
// The same with the sound outputs `sound` gives, asked on the main thread for each movie.
MoviePlayerFactory makeFfmpegMoviePlayers(std::function<ffmpeg::SoundOutputs()> sound);
void selectMovieBackend();

} // namespace platform
