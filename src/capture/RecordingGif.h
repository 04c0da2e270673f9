#pragma once

#include "model/SettingsEnums.h"

#include <QString>
#include <optional>

namespace platform {
class GifConverter;
}

// A recording kept as a GIF runs as an MPEG-4 movie beside the GIF's name and becomes the GIF
// when it stops: a GIF cannot be written frame by frame as the screen is read, since its one
// palette has to come from the whole recording.

// GIFs play at most this many frames a second: viewers show shorter frame times no faster, and
// each frame is a whole picture.
constexpr int gifMaxFrameRate = 30;

// The file a recording is written to while it runs: `outputPath` itself, or for a GIF the movie
// of the same name ending in "mp4".
QString recordingMoviePath(const QString &outputPath, VideoExportFormat format);

// Makes the GIF at `gifPath` from the finished movie and removes the movie. On failure the movie
// stays where it is, nothing is at `gifPath`, and the reason is returned. Blocks; for a worker
// thread.
std::optional<QString> convertRecordingToGif(platform::GifConverter *converter,
                                             const QString &moviePath, const QString &gifPath);
