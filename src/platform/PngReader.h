#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace platform {

// Reads back the PNGs the program wrote itself (its captures), whatever their size: Qt's image
// reader refuses any image of more than 128 MB, which a capture of a 12000 × 12000 display is,
// and its limit holds for the whole process, files from outside included. 8-bit RGB comes back
// as RGB32, anything with transparency as ARGB32. A null image when the data is no PNG, memory
// for the pixels cannot be had, the file is not a regular file, or its header names another
// size than `expected` (when given): such a picture is refused before anything is decoded, so
// a small file that claims a huge picture costs nothing. Any thread.
class PngReader {
public:
    static QImage read(const QString &path, QSize expected = {});
    static QImage decode(QByteArrayView png, QSize expected = {});
    // The bytes of the file, no more than it held when opened; empty when it is no regular file
    // or is larger than largestFile(expected). Any thread.
    static QByteArray fileBytes(const QString &path, QSize expected = {});
    // Whether the bytes are a whole PNG as any reader takes it: the signature, then chunks whose
    // checksums hold, the first the 13-byte header, ending with an empty end chunk and nothing
    // after it. The reader above tolerates a file cut just before its end chunk, other programs
    // refuse it. Decodes nothing. Any thread.
    static bool isWhole(QByteArrayView png);
    // The most bytes a PNG of `size` can take as any encoder writes it, uncompressed rows of
    // 16-bit RGBA and their chunks included: a larger file in its place is not that picture and
    // is not read, so a capture replaced by a huge file costs no memory. Unbounded without a size.
    static qint64 largestFile(QSize size);
};

} // namespace platform
