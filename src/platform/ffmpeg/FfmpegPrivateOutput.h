#pragma once

#include <QString>

extern "C" {
#include <libavformat/avio.h>
}

namespace platform::ffmpeg {

// A new file that only its owner may read or write (0600 whatever the umask), for a muxer to
// write into. Recordings land in the shared temporary folder and hold the screen and the
// microphone: the file is created exclusively and never through a link, so that nothing another
// user planted at the name (a file, a symlink to one of ours) is opened or truncated. Nothing,
// with FFmpeg's error code in `errorCode`, when the file cannot be created that way.
AVIOContext *openPrivateOutput(const QString &path, int *errorCode);

// Writes what is buffered, closes the file and frees the context; clears `context`. FFmpeg's
// error code of the first failed write or of the close, else 0.
int closePrivateOutput(AVIOContext **context);

} // namespace platform::ffmpeg
