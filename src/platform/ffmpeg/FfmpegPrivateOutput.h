#pragma once

#include <QString>

extern "C" {
#include <libavformat/avio.h>
}

namespace platform::ffmpeg {

// A new file that only its owner may read or write, for a muxer to write into (see
// createPrivateFile). Recordings land in the shared temporary folder and hold the screen and the
// microphone: nothing another user planted at the name (a file, a symlink to one of ours) is
// opened or truncated. Nothing, with the reason in `error`, when the file cannot be created so.
AVIOContext *openPrivateOutput(const QString &path, QString *error);

// Writes all of `data` to the descriptor, retrying interrupted writes, as an AVIOContext's
// write callback does: `size`, or FFmpeg's error code.
int writeToDescriptor(int fd, const uint8_t *data, int size);

// Writes what is buffered, closes the file and frees the context; clears `context`. FFmpeg's
// error code of the first failed write or of the close, else 0.
int closePrivateOutput(AVIOContext **context);

} // namespace platform::ffmpeg
