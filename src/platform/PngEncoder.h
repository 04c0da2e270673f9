#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <functional>

namespace platform {

// PNG tuned for speed: the rows are cut into strips that are compressed side by side on the
// encoder's own threads (fast deflate, each row with the filter that suits it), and the pieces
// form one ordinary PNG that any decoder reads. A 4K screen image takes a few tens of
// milliseconds where Qt's default writer takes seconds, for a file about the size of
// ImageMagick's. What PngWriter puts on disk and what the clipboard offers, where a paste must
// not wait seconds for a 4K image.
class PngEncoder {
public:
    // Takes the next bytes of the file; false stops the encoding.
    using Sink = std::function<bool(const char *data, qsizetype size)>;

    // Hands the PNG's bytes to the sink in order, on the calling thread, while later parts are
    // still being compressed, so that writing them out overlaps the compression. False when the
    // image cannot be encoded (*error, when given, says why) or the sink refused bytes (*error is
    // left as it was). Any thread.
    static bool encode(const QImage &image, const Sink &sink, QString *error = nullptr);

    // The PNG bytes: 8-bit RGB when every pixel is opaque, otherwise 8-bit RGBA (not
    // premultiplied). Empty, with *error (when given) set, when the image cannot be encoded.
    // Any thread, a thread of the global pool included.
    static QByteArray encode(const QImage &image, QString *error = nullptr);
};

} // namespace platform
