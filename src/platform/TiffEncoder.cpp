#include "platform/TiffEncoder.h"

#include "platform/Background.h"

#include <QtEndian>
#include <algorithm>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <new>
#include <vector>
#include <zlib.h>

namespace platform {
namespace {

enum FieldType : quint16 { typeShort = 3, typeLong = 4, typeRational = 5 };

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    quint32 value; // the value itself (left-aligned) or the offset of the values
};

// Large enough to keep every thread busy on a screen image with about a hundred strips, small
// enough that a reader never holds much of the picture at once.
constexpr qsizetype stripBytes = 256 * 1024;

void put16(char *at, quint16 value)
{
    qToLittleEndian(value, at);
}

void put32(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

// The rows [first, first + count), in the file's sample order, differenced sample by sample
// against the pixel to their left (TIFF's predictor 2), then deflated as one zlib stream. Empty
// when that failed.
QByteArray compressStrip(const QImage &image, int first, int count, bool alpha)
{
    const QImage rows =
        image.copy(0, first, image.width(), count)
            .convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int samples = alpha ? 4 : 3;
    const qsizetype rowBytes = qsizetype(image.width()) * samples;
    std::vector<uchar> differenced(size_t(rowBytes * count));
    for (int y = 0; y < count; ++y) {
        const uchar *in = rows.constScanLine(y);
        uchar *out = differenced.data() + y * rowBytes;
        std::memcpy(out, in, size_t(samples));
        for (qsizetype i = samples; i < rowBytes; ++i)
            out[i] = uchar(in[i] - in[i - samples]);
    }
    // ISA-L's fastest level, about twice as fast as zlib's on screen content; zlib's where
    // ISA-L's output would not fit the room given (rows that hardly compress).
    QByteArray deflated(qsizetype(differenced.size() + differenced.size() / 16 + 1024),
                        Qt::Uninitialized);
    std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    isal_zstream stream;
    isal_deflate_stateless_init(&stream);
    stream.level = 1;
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = uint32_t(levelBuffer.size());
    stream.gzip_flag = IGZIP_ZLIB;
    stream.end_of_stream = 1;
    stream.flush = NO_FLUSH;
    stream.next_in = differenced.data();
    stream.avail_in = uint32_t(differenced.size());
    stream.next_out = reinterpret_cast<uint8_t *>(deflated.data());
    stream.avail_out = uint32_t(deflated.size());
    if (isal_deflate_stateless(&stream) == COMP_OK) {
        deflated.truncate(qsizetype(stream.total_out));
        return deflated;
    }
    uLongf size = compressBound(uLong(differenced.size()));
    deflated.resize(qsizetype(size));
    if (compress2(reinterpret_cast<Bytef *>(deflated.data()), &size, differenced.data(),
                  uLong(differenced.size()), 1) != Z_OK)
        return {};
    deflated.truncate(qsizetype(size));
    return deflated;
}

} // namespace

QByteArray TiffEncoder::encode(const QImage &image)
{
    if (image.isNull())
        return {};
    try {
        const bool alpha = image.hasAlphaChannel();
        const quint16 samples = alpha ? 4 : 3;
        const qsizetype rowBytes = qsizetype(image.width()) * samples;
        const int rowsPerStrip =
            int(std::clamp<qsizetype>(stripBytes / rowBytes, 1, image.height()));
        const int stripCount = (image.height() + rowsPerStrip - 1) / rowsPerStrip;

        std::vector<QByteArray> strips(static_cast<size_t>(stripCount));
        runInBands(stripCount, [&](int strip) {
            const int first = strip * rowsPerStrip;
            strips[size_t(strip)] =
                compressStrip(image, first, std::min(rowsPerStrip, image.height() - first), alpha);
        });
        quint64 dataBytes = 0;
        for (const QByteArray &strip : strips) {
            if (strip.isEmpty())
                return {};
            dataBytes += quint64(strip.size());
        }

        const quint16 entryCount = alpha ? 15 : 14;
        const quint32 ifdOffset = 8;
        const quint32 ifdBytes = 2 + entryCount * 12 + 4;
        const quint32 bitsOffset = ifdOffset + ifdBytes;
        const quint32 xResolutionOffset = bitsOffset + 8; // room for four shorts
        const quint32 yResolutionOffset = xResolutionOffset + 8;
        const quint32 offsetsOffset = yResolutionOffset + 8;
        const quint32 countsOffset = offsetsOffset + 4 * quint32(stripCount);
        const quint32 dataOffset = countsOffset + 4 * quint32(stripCount);
        if (dataBytes > std::numeric_limits<quint32>::max() - quint64(dataOffset))
            return {};

        QByteArray bytes(qsizetype(dataOffset + dataBytes), Qt::Uninitialized);
        char *out = bytes.data();
        std::memset(out, 0, dataOffset);
        out[0] = 'I';
        out[1] = 'I';
        put16(out + 2, 42);
        put32(out + 4, ifdOffset);

        // One strip's offset and size stand in the entry itself, more in a table of their own.
        const bool oneStrip = stripCount == 1;
        // Tags in ascending order, as the format requires.
        const Entry entries[] = {
            {256, typeLong, 1, quint32(image.width())},  // ImageWidth
            {257, typeLong, 1, quint32(image.height())}, // ImageLength
            {258, typeShort, samples, bitsOffset},       // BitsPerSample
            {259, typeShort, 1, 8},                      // Compression: Deflate
            {262, typeShort, 1, 2},                      // Photometric: RGB
            {273, typeLong, quint32(stripCount), oneStrip ? dataOffset : offsetsOffset},
            {277, typeShort, 1, samples},              // SamplesPerPixel
            {278, typeLong, 1, quint32(rowsPerStrip)}, // RowsPerStrip
            {279, typeLong, quint32(stripCount),       // StripByteCounts
             oneStrip ? quint32(dataBytes) : countsOffset},
            {282, typeRational, 1, xResolutionOffset}, // XResolution
            {283, typeRational, 1, yResolutionOffset}, // YResolution
            {284, typeShort, 1, 1},                    // PlanarConfiguration
            {296, typeShort, 1, 2},                    // ResolutionUnit: inch
            {317, typeShort, 1, 2},                    // Predictor: horizontal differencing
            {338, typeShort, 1, 2},                    // ExtraSamples: straight alpha
        };
        char *at = out + ifdOffset;
        put16(at, entryCount);
        at += 2;
        for (quint16 i = 0; i < entryCount; ++i, at += 12) {
            const Entry &entry = entries[i];
            put16(at, entry.tag);
            put16(at + 2, entry.type);
            put32(at + 4, entry.count);
            if (entry.type == typeShort && entry.count == 1)
                put16(at + 8, quint16(entry.value));
            else
                put32(at + 8, entry.value);
        }
        put32(at, 0); // no further directory

        for (quint16 i = 0; i < samples; ++i)
            put16(out + bitsOffset + 2 * i, 8);
        for (const quint32 offset : {xResolutionOffset, yResolutionOffset}) {
            put32(out + offset, 72);
            put32(out + offset + 4, 1);
        }
        quint32 written = dataOffset;
        for (int strip = 0; strip < stripCount; ++strip) {
            const QByteArray &deflated = strips[size_t(strip)];
            if (!oneStrip) {
                put32(out + offsetsOffset + 4 * strip, written);
                put32(out + countsOffset + 4 * strip, quint32(deflated.size()));
            }
            std::memcpy(out + written, deflated.constData(), size_t(deflated.size()));
            written += quint32(deflated.size());
        }
        return bytes;
    } catch (const std::bad_alloc &) {
        return {};
    }
}

} // namespace platform
