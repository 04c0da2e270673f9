#pragma once

#include <QImage>
#include <QString>

namespace platform {

// A PNG writer tuned for speed over size: PngEncoder's parallel fast deflate, so a 4K screen
// image is on disk in tens of milliseconds where Qt's default writer takes seconds, for a
// somewhat larger file.
//
// Opaque images are written as 8-bit RGB, images with transparency as 8-bit RGBA (not
// premultiplied). The file is written under a temporary name in the target's folder and renamed
// into place, so a reader never sees a partial file and a failed write leaves nothing behind. An
// existing file at the path is replaced.
class PngWriter {
public:
    // Returns false and sets *error (when given) if the image could not be written. Any thread,
    // a thread of the global pool included.
    static bool write(const QImage &image, const QString &path, QString *error = nullptr);
};

} // namespace platform
