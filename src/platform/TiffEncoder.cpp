#include "platform/TiffEncoder.h"

#include "platform/Background.h"
#include "platform/PngRowFilters.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QtEndian>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <limits>
#include <memory>
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
// What one thread compresses its strips in, kept from strip to strip: made afresh for each, the
// buffers' zeroing and first touch took a seventh of a 4K screen's TIFF (53 against 46 ms on
// one thread).
struct StripBuffers {
    std::vector<uchar> differenced;
    std::vector<uchar> unpacked;
    std::vector<uint8_t> levelBuffer;
};

QByteArray compressStrip(const QImage &image, int first, int count, bool alpha,
                         StripBuffers &buffers)
{
    const int samples = alpha ? 4 : 3;
    const int width = image.width();
    const qsizetype rowBytes = qsizetype(width) * samples;
    std::vector<uchar> &differenced = buffers.differenced;
    differenced.resize(size_t(rowBytes * count));
    // A screen's 32-bit pixels are unpacked a row at a time, as the PNG's are; other formats are
    // converted first.
    const bool direct = image.format() == (alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    const QImage rows =
        direct ? image
               : image.copy(0, first, width, count)
                     .convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const png::Rows unpacking{rows, png::Layout::argb32, alpha};
    std::vector<uchar> &unpacked = buffers.unpacked;
    unpacked.resize(size_t(rowBytes));
    for (int y = 0; y < count; ++y) {
        const uchar *in = rows.constScanLine(y);
        if (direct) {
            unpacking.unpackRow(first + y, unpacked.data());
            in = unpacked.data();
        }
        uchar *out = differenced.data() + y * rowBytes;
        std::memcpy(out, in, size_t(samples));
        for (qsizetype i = samples; i < rowBytes; ++i)
            out[i] = uchar(in[i] - in[i - samples]);
    }
    // ISA-L's fastest level, about twice as fast as zlib's on screen content; zlib's where
    // ISA-L's output would not fit the room given (rows that hardly compress).
    QByteArray deflated(qsizetype(differenced.size() + differenced.size() / 16 + 1024),
                        Qt::Uninitialized);
    // What it holds from the strip before does not change the output.
    std::vector<uint8_t> &levelBuffer = buffers.levelBuffer;
    levelBuffer.resize(ISAL_DEF_LVL1_DEFAULT);
    // Zeroed first: ISA-L 2.30's stateless init leaves the history size (hist_bits) as it finds
    // it, and a small value left on the thread's stack by earlier work shrinks the window the
    // matches reach back into: a 4K screen's TIFF came out 28 % larger after a PNG encoding.
    isal_zstream stream{};
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

// The strips of the image, compressed on the calling thread and on background threads as they
// come free: queued rather than handed only to threads idle at the start, since beside a PNG
// being written (which takes every idle thread) those are none, and the threads the PNG lets go
// join in. A helper that comes too late finds nothing left to do. An empty strip failed.
std::vector<QByteArray> compressStrips(const QImage &image, int rowsPerStrip, bool alpha)
{
    struct Work {
        Work(const QImage &image, int rowsPerStrip, bool alpha)
            : image(image), rowsPerStrip(rowsPerStrip), alpha(alpha),
              count((image.height() + rowsPerStrip - 1) / rowsPerStrip), strips(size_t(count))
        {
        }
        QImage image;
        int rowsPerStrip;
        bool alpha;
        int count;
        std::vector<QByteArray> strips;
        std::atomic<int> next{0};
        QSemaphore done; // once for each strip compressed or failed
    };
    const auto work = std::make_shared<Work>(image, rowsPerStrip, alpha);
    const int count = work->count;
    const auto take = [work] {
        StripBuffers buffers;
        for (int strip; (strip = work->next++) < work->count;) {
            const int first = strip * work->rowsPerStrip;
            try {
                work->strips[size_t(strip)] = compressStrip(
                    work->image, first, std::min(work->rowsPerStrip, work->image.height() - first),
                    work->alpha, buffers);
            } catch (const std::bad_alloc &) {
            }
            work->done.release();
        }
    };
    if (QThreadPool *threads = backgroundThreads()) {
        for (int helper = 1; helper < std::min(count, threads->maxThreadCount()); ++helper)
            threads->start(take);
    }
    take();
    work->done.acquire(count);
    return work->strips;
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

        const std::vector<QByteArray> strips = compressStrips(image, rowsPerStrip, alpha);
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
