#include "platform/PngReader.h"

#include "platform/PrivateFiles.h"

#include <QFile>
#include <QtEndian>
#include <cstring>
#include <limits>
#include <png.h>
#include <zlib.h>

namespace platform {

namespace {

QImage decodeBytes(const void *bytes, size_t size, QSize expected)
{
    if (size == 0)
        return {};
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, size))
        return {};
    if (expected.isValid() &&
        (qint64(image.width) != expected.width() || qint64(image.height) != expected.height())) {
        png_image_free(&image);
        return {};
    }
    // 16-bit rows without a word on their gamma are sRGB, as other readers take them, not linear.
    image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
    const bool alpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    // In memory QImage's 32-bit pixels are B, G, R, A on this little-endian platform.
    image.format = PNG_FORMAT_BGRA;
    QImage pixels(int(image.width), int(image.height),
                  alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (pixels.isNull()) {
        png_image_free(&image);
        return {};
    }
    if (!png_image_finish_read(&image, nullptr, pixels.bits(), png_int_32(pixels.bytesPerLine()),
                               nullptr)) {
        png_image_free(&image);
        return {};
    }
    return pixels;
}

} // namespace

QImage PngReader::read(const QString &path, QSize expected)
{
    const QByteArray read = fileBytes(path, expected);
    return decodeBytes(read.constData(), size_t(read.size()), expected);
}

QByteArray PngReader::fileBytes(const QString &path, QSize expected)
{
    QFile file;
    if (!openRegularFile(file, path))
        return {};
    // Read, never mapped: a file cut short meanwhile would fault the mapping's later pages. Its
    // size is asked once, so that the cap and the read go by the same answer: a file grown in
    // between is read no further than the cap allows.
    const qint64 size = file.size();
    if (size > largestFile(expected))
        return {};
    return file.read(size);
}

qint64 PngReader::largestFile(QSize size)
{
    if (!size.isValid())
        return std::numeric_limits<qint64>::max();
    const qint64 rows = qint64(size.height()) * (1 + qint64(size.width()) * 8);
    // Stored deflate blocks add 5 bytes in 65535, chunks 12 in a few KiB; the rest is room for
    // the header and what other chunks an encoder adds.
    return rows + rows / 64 + (qint64(1) << 20);
}

QImage PngReader::decode(QByteArrayView png, QSize expected)
{
    return decodeBytes(png.data(), size_t(png.size()), expected);
}

bool PngReader::isWhole(QByteArrayView png)
{
    static constexpr char signature[] = "\x89PNG\r\n\x1a\n";
    constexpr qsizetype signatureSize = 8;
    if (png.size() < signatureSize || !png.first(signatureSize).startsWith(signature))
        return false;
    const auto *bytes = reinterpret_cast<const uchar *>(png.data());
    qsizetype at = signatureSize;
    // Length, type, data, checksum of the type and data.
    while (png.size() - at >= 12) {
        const quint32 length = qFromBigEndian<quint32>(bytes + at);
        if (length > quint32(png.size() - at - 12))
            return false;
        const uchar *typeAndData = bytes + at + 4;
        uLong crc = crc32(0L, Z_NULL, 0);
        crc = crc32_z(crc, typeAndData, size_t(length) + 4);
        if (qFromBigEndian<quint32>(typeAndData + 4 + length) != quint32(crc))
            return false;
        // The header comes first and holds 13 bytes; the end chunk holds none.
        if (at == signatureSize && (length != 13 || memcmp(typeAndData, "IHDR", 4) != 0))
            return false;
        at += 12 + qsizetype(length);
        if (memcmp(typeAndData, "IEND", 4) == 0)
            return length == 0 && at == png.size();
    }
    return false;
}

} // namespace platform
