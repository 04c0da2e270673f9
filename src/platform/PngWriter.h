#pragma once

#include <QImage>
#include <QString>

namespace platform {

// A PNG writer tuned for speed over size (fast deflate, one cheap filter):
// a 4K screen image takes a fraction of a second where Qt's default writer
// takes seconds, for a somewhat larger file.
//
// Opaque images are written as 8-bit RGB, images with transparency as 8-bit
// RGBA (not premultiplied). The file is written under a temporary name in
// the target's folder and renamed into place, so a reader never sees a
// partial file and a failed write leaves nothing behind. An existing file at
// the path is replaced.
class PngWriter {
public:
    // Returns false and sets *error (when given) if the image could not be
    // written.
    static bool write(const QImage &image, const QString &path, QString *error = nullptr);
};

} // namespace platform
