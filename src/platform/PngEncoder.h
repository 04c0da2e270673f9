#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace platform {

// PNG in memory, tuned for speed: the rows are cut into strips that are compressed side by side
// on the global thread pool (fastest deflate, each row with the filter that suits it), and the
// pieces form one ordinary PNG that any decoder reads. A 4K screen image takes tens of
// milliseconds where Qt's default writer takes seconds, for a file about the size of
// ImageMagick's. What PngWriter puts on disk and what
// the clipboard offers, where a paste must not wait seconds for a 4K image.
class PngEncoder {
public:
    // The PNG bytes: 8-bit RGB when every pixel is opaque, otherwise 8-bit RGBA (not
    // premultiplied). Empty, with *error (when given) set, when the image cannot be encoded.
    // Any thread, a thread of the global pool included.
    static QByteArray encode(const QImage &image, QString *error = nullptr);
};

} // namespace platform
