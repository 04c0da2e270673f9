#include "platform/PngEncoder.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>
#include <zlib.h>

namespace platform {
namespace {

// Each strip is compressed on its own, its matches never reaching back into the strip before;
// at this size that costs under 1% of the file, and a 4K image still makes about a hundred
// strips to share out between threads.
constexpr qsizetype minimumStripBytes = 256 * 1024;
// IDAT chunks are kept at most 1 MiB; the last one also carries the 4-byte stream checksum.
constexpr qsizetype maximumChunkBytes = 1024 * 1024;
constexpr qsizetype maximumPieceBytes = maximumChunkBytes - 4;
// Level 1: several times faster than the default on screen content; with a filter chosen per
// row, the file stays within a tenth of what the default level makes of text and mixed screens.
// Levels 2 and 3 save a few per cent for half again the time; run-length matching alone (Z_RLE)
// is no faster on screen content and makes the file half again as large.
constexpr int compressionLevel = 1;

// The filter types of PNG that are tried on each row, by their numbers in the file. Average
// (3) is left out: it seldom wins on screen content.
enum : unsigned char { noFilter = 0, subFilter = 1, upFilter = 2, paethFilter = 4 };

// How the pixels of a prepared image lie in memory.
enum class Layout {
    argb32,   // 32-bit words 0xAARRGGBB (RGB32, ARGB32 and its premultiplied form)
    rgba8888, // bytes R, G, B, A (or X)
    rgb888,   // bytes R, G, B
};

struct Rows {
    QImage image;
    Layout layout = Layout::rgb888;
    bool alpha = false; // written as RGBA, otherwise as RGB

    int channels() const { return alpha ? 4 : 3; }
    qsizetype rowBytes() const { return qsizetype(image.width()) * channels(); }
    qsizetype filteredRowBytes() const { return 1 + rowBytes(); }
    void unpackRow(int y, unsigned char *out) const;
};

// Unpacks one row into the bytes the file stores: R, G, B and, with alpha, A.
// readPixel gives pixel x as a word 0xAARRGGBB.
template <int Channels, typename ReadPixel>
void unpackRow(int width, unsigned char *out, ReadPixel readPixel)
{
    for (int x = 0; x < width; ++x, out += Channels) {
        const quint32 pixel = readPixel(x);
        out[0] = static_cast<unsigned char>(pixel >> 16);
        out[1] = static_cast<unsigned char>(pixel >> 8);
        out[2] = static_cast<unsigned char>(pixel);
        if constexpr (Channels == 4)
            out[3] = static_cast<unsigned char>(pixel >> 24);
    }
}

template <int Channels>
void unpackRowAs(Layout layout, const unsigned char *line, int width, unsigned char *out)
{
    switch (layout) {
    case Layout::argb32: {
        const auto *words = reinterpret_cast<const quint32 *>(line);
        unpackRow<Channels>(width, out, [words](int x) { return words[x]; });
        break;
    }
    case Layout::rgba8888:
        unpackRow<Channels>(width, out, [line](int x) {
            return std::rotr(qFromBigEndian<quint32>(line + 4 * qsizetype(x)), 8);
        });
        break;
    case Layout::rgb888:
        std::memcpy(out, line, size_t(width) * 3);
        break;
    }
}

void Rows::unpackRow(int y, unsigned char *out) const
{
    if (alpha)
        unpackRowAs<4>(layout, image.constScanLine(y), image.width(), out);
    else
        unpackRowAs<3>(layout, image.constScanLine(y), image.width(), out);
}

// The PNG predictor that picks whichever of left, above and upper left is nearest to
// left + above - upper left. In 16 bits, which is all the sums need, so that eight or sixteen
// bytes go through at once when vectorised.
inline unsigned char paethPredictor(unsigned char left, unsigned char above,
                                    unsigned char upperLeft)
{
    const auto a = static_cast<qint16>(left);
    const auto b = static_cast<qint16>(above);
    const auto c = static_cast<qint16>(upperLeft);
    const qint16 toLeft = static_cast<qint16>(std::abs(b - c));
    const qint16 toAbove = static_cast<qint16>(std::abs(a - c));
    const qint16 toUpperLeft = static_cast<qint16>(std::abs(a + b - 2 * c));
    return toLeft <= toAbove && toLeft <= toUpperLeft ? left
           : toAbove <= toUpperLeft                   ? above
                                                      : upperLeft;
}

// A filtered byte as deflate sees it: small either side of zero is cheap. Its magnitude as a
// signed byte, the smaller of it and its negation, with no branch.
inline unsigned char cost(unsigned char filtered)
{
    return std::min(filtered, static_cast<unsigned char>(-filtered));
}

// Filters a row the way that leaves the smallest sum of byte magnitudes, as libpng does by
// default: on text and user interfaces Up and Paeth often leave whole rows of zeros where Sub
// leaves every glyph edge, and photos favour Paeth or Sub. The above row of the first is zeros.
//
// The first pixel has neither left nor upper left neighbour; the loops over the rest are
// written without branches so that the compiler can vectorise them.
void filterRow(const unsigned char *row, const unsigned char *above, qsizetype length, int channels,
               unsigned char *out)
{
    // A row that repeats the one above, as blank lines and flat areas do, is all zeros under
    // Up; comparing is far cheaper than weighing the filters.
    if (std::memcmp(row, above, size_t(length)) == 0) {
        *out++ = upFilter;
        std::memset(out, 0, size_t(length));
        return;
    }
    const qsizetype start = std::min<qsizetype>(channels, length);
    unsigned none = 0, sub = 0, up = 0, paeth = 0;
    for (qsizetype i = 0; i < start; ++i) {
        none += cost(row[i]);
        sub += cost(row[i]);
        up += cost(static_cast<unsigned char>(row[i] - above[i]));
        paeth += cost(static_cast<unsigned char>(row[i] - above[i]));
    }
    for (qsizetype i = start; i < length; ++i) {
        none += cost(row[i]);
        sub += cost(static_cast<unsigned char>(row[i] - row[i - channels]));
        up += cost(static_cast<unsigned char>(row[i] - above[i]));
        paeth += cost(static_cast<unsigned char>(
            row[i] - paethPredictor(row[i - channels], above[i], above[i - channels])));
    }
    // Ties go to the filter that is cheaper to undo.
    const unsigned best = std::min({none, sub, up, paeth});
    const unsigned char type = best == none  ? noFilter
                               : best == up  ? upFilter
                               : best == sub ? subFilter
                                             : paethFilter;
    *out++ = type;
    switch (type) {
    case noFilter:
        std::memcpy(out, row, size_t(length));
        break;
    case subFilter:
        std::memcpy(out, row, size_t(start));
        for (qsizetype i = start; i < length; ++i)
            out[i] = static_cast<unsigned char>(row[i] - row[i - channels]);
        break;
    case upFilter:
        for (qsizetype i = 0; i < length; ++i)
            out[i] = static_cast<unsigned char>(row[i] - above[i]);
        break;
    default:
        for (qsizetype i = 0; i < start; ++i)
            out[i] = static_cast<unsigned char>(row[i] - above[i]);
        for (qsizetype i = start; i < length; ++i) {
            out[i] = static_cast<unsigned char>(
                row[i] - paethPredictor(row[i - channels], above[i], above[i - channels]));
        }
        break;
    }
}

// True when every pixel of a 32-bit image with an alpha channel is opaque, so that the alpha
// channel can be left out of the file.
bool allPixelsOpaque(const QImage &image, Layout layout)
{
    // As a 32-bit word, ARGB32 keeps alpha in the high byte on every host; RGBA8888 keeps it in
    // the last byte in memory.
    const quint32 alphaMask =
        layout == Layout::argb32 || Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 0xff000000u : 0x000000ffu;
    for (int y = 0; y < image.height(); ++y) {
        const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
        quint32 all = 0xffffffffu;
        for (int x = 0; x < image.width(); ++x)
            all &= row[x];
        if ((all & alphaMask) != alphaMask)
            return false;
    }
    return true;
}

// Takes the common layouts as they are; anything else is converted first. Translucent
// premultiplied pixels are converted to straight alpha, which is what PNG stores.
std::optional<Rows> prepareRows(const QImage &image)
{
    Rows rows{image};
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        rows.layout = Layout::argb32;
        break;
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
        rows.layout = Layout::rgba8888;
        break;
    case QImage::Format_RGB888:
        rows.layout = Layout::rgb888;
        break;
    default:
        rows.layout = image.hasAlphaChannel() ? Layout::rgba8888 : Layout::rgb888;
        rows.image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                                   : QImage::Format_RGB888);
        break;
    }
    rows.alpha = rows.image.hasAlphaChannel() && !allPixelsOpaque(rows.image, rows.layout);
    if (rows.alpha && rows.image.format() == QImage::Format_ARGB32_Premultiplied)
        rows.image = rows.image.convertToFormat(QImage::Format_ARGB32);
    if (rows.alpha && rows.image.format() == QImage::Format_RGBA8888_Premultiplied)
        rows.image = rows.image.convertToFormat(QImage::Format_RGBA8888);
    if (rows.image.isNull())
        return std::nullopt;
    return rows;
}

// A run of rows compressed on its own. The first strip starts the zlib stream; every other
// ends on a byte boundary (sync flush), so the strips concatenate into one deflate stream.
struct Strip {
    int firstRow = 0;
    int rowCount = 0;
    QByteArray deflated;
    std::vector<uLong> pieceCrcs; // CRC of "IDAT" and each piece of at most maximumPieceBytes
    uLong adler = 1;              // Adler-32 of the filtered rows, as zlib starts it
    const char *failure = nullptr;
};

const uLong idatTypeCrc = crc32(0, reinterpret_cast<const Bytef *>("IDAT"), 4);

class StripCompressor {
public:
    explicit StripCompressor(const Rows &rows) : m_rows(rows)
    {
        m_ready = deflateInit2(&m_stream, compressionLevel, Z_DEFLATED, -MAX_WBITS, 8,
                               Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~StripCompressor()
    {
        if (m_ready)
            deflateEnd(&m_stream);
    }
    StripCompressor(const StripCompressor &) = delete;
    StripCompressor &operator=(const StripCompressor &) = delete;

    void compress(Strip &strip, bool last) noexcept
    {
        try {
            if (!m_ready || deflateReset(&m_stream) != Z_OK)
                strip.failure = "cannot start the compressor";
            else
                compressRows(strip, last);
        } catch (const std::bad_alloc &) {
            strip.failure = "out of memory";
        }
    }

private:
    void compressRows(Strip &strip, bool last)
    {
        const qsizetype rowBytes = m_rows.filteredRowBytes();
        const qsizetype pixelBytes = m_rows.rowBytes();
        m_filtered.resize(size_t(rowBytes));
        m_row.resize(size_t(pixelBytes));
        // The row above the strip is filtered against, as in one undivided image.
        m_above.assign(size_t(pixelBytes), 0);
        if (strip.firstRow > 0)
            m_rows.unpackRow(strip.firstRow - 1, m_above.data());

        // Room for the stream header and the sync flush marker besides the worst case.
        strip.deflated.resize(qsizetype(deflateBound(&m_stream, uLong(rowBytes * strip.rowCount))) +
                              16);
        qsizetype used = 0;
        if (strip.firstRow == 0) {
            // Deflate with a 32 KiB window, fastest level; no preset dictionary.
            strip.deflated[0] = char(0x78);
            strip.deflated[1] = char(0x01);
            used = 2;
        }
        const int endRow = strip.firstRow + strip.rowCount;
        for (int y = strip.firstRow; y < endRow; ++y) {
            m_rows.unpackRow(y, m_row.data());
            filterRow(m_row.data(), m_above.data(), pixelBytes, m_rows.channels(),
                      m_filtered.data());
            std::swap(m_row, m_above);
            strip.adler = adler32(strip.adler, m_filtered.data(), uInt(rowBytes));
            m_stream.next_in = m_filtered.data();
            m_stream.avail_in = uInt(rowBytes);
            const int flush = y + 1 < endRow ? Z_NO_FLUSH : last ? Z_FINISH : Z_SYNC_FLUSH;
            do {
                if (used == strip.deflated.size())
                    strip.deflated.resize(used + used / 2 + rowBytes);
                m_stream.next_out = reinterpret_cast<Bytef *>(strip.deflated.data() + used);
                m_stream.avail_out = uInt(strip.deflated.size() - used);
                const int result = deflate(&m_stream, flush);
                used = strip.deflated.size() - m_stream.avail_out;
                if (result == Z_STREAM_ERROR) {
                    strip.failure = "cannot compress the image";
                    return;
                }
            } while (m_stream.avail_out == 0);
        }
        strip.deflated.resize(used);

        const auto *bytes = reinterpret_cast<const Bytef *>(strip.deflated.constData());
        for (qsizetype offset = 0; offset < used; offset += maximumPieceBytes) {
            const qsizetype size = std::min(maximumPieceBytes, used - offset);
            strip.pieceCrcs.push_back(crc32(idatTypeCrc, bytes + offset, uInt(size)));
        }
    }

    const Rows &m_rows;
    z_stream m_stream{};
    bool m_ready = false;
    std::vector<unsigned char> m_row;
    std::vector<unsigned char> m_above;
    std::vector<unsigned char> m_filtered;
};

std::vector<Strip> makeStrips(const Rows &rows)
{
    const qsizetype rowBytes = rows.filteredRowBytes();
    const int height = rows.image.height();
    const int rowsPerStrip =
        int(std::clamp<qsizetype>((minimumStripBytes + rowBytes - 1) / rowBytes, 1, height));
    std::vector<Strip> strips;
    strips.reserve(size_t((height + rowsPerStrip - 1) / rowsPerStrip));
    for (int y = 0; y < height; y += rowsPerStrip) {
        Strip &strip = strips.emplace_back();
        strip.firstRow = y;
        strip.rowCount = std::min(rowsPerStrip, height - y);
    }
    return strips;
}

// Compresses the strips on the calling thread and on as many idle threads of the global pool
// as help, never more threads than the pool allows in all. The calling thread works too and
// helpers are only started on threads that are free at once, so this cannot wait on a pool that
// is busy, not even when called from one of its own threads.
void compressStrips(const Rows &rows, std::vector<Strip> &strips)
{
    std::atomic<size_t> next{0};
    auto work = [&rows, &strips, &next] {
        StripCompressor compressor(rows);
        for (size_t i = next++; i < strips.size(); i = next++)
            compressor.compress(strips[i], i + 1 == strips.size());
    };
    QThreadPool *pool = QThreadPool::globalInstance();
    const size_t threads =
        pool != nullptr ? std::min(strips.size(), size_t(std::max(1, pool->maxThreadCount()))) : 1;
    QSemaphore helpersDone;
    int helpers = 0;
    try {
        while (size_t(helpers) + 1 < threads && pool->tryStart([&work, &helpersDone] {
            work();
            helpersDone.release();
        }))
            ++helpers;
    } catch (const std::bad_alloc &) {
        // Fewer helpers; the calling thread finishes what they would have done.
    }
    work();
    helpersDone.acquire(helpers);
}

void appendBigEndian(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    crc = crc32(crc, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size()));
    appendBigEndian(out, quint32(data.size()));
    out.append(type, 4);
    out.append(data);
    appendBigEndian(out, quint32(crc));
}

QByteArray assemble(const Rows &rows, const std::vector<Strip> &strips)
{
    const qsizetype rowBytes = rows.filteredRowBytes();
    uLong adler = strips.front().adler;
    qsizetype size = 8 + 25 + 12 + 4;
    for (size_t i = 0; i < strips.size(); ++i) {
        if (i > 0)
            adler = adler32_combine(adler, strips[i].adler, z_off_t(rowBytes * strips[i].rowCount));
        size += strips[i].deflated.size() + 12 * qsizetype(strips[i].pieceCrcs.size());
    }
    char trailer[4];
    qToBigEndian(quint32(adler), trailer);

    QByteArray png;
    png.reserve(size);
    png.append("\x89PNG\r\n\x1a\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian(quint32(rows.image.width()), header.data());
    qToBigEndian(quint32(rows.image.height()), header.data() + 4);
    header[8] = 8;                    // bits per channel
    header[9] = rows.alpha ? 6 : 2;   // colour type: RGBA or RGB
    appendChunk(png, "IHDR", header); // deflate, adaptive filters, no interlace: zeros

    for (const Strip &strip : strips) {
        for (size_t piece = 0; piece < strip.pieceCrcs.size(); ++piece) {
            const qsizetype offset = qsizetype(piece) * maximumPieceBytes;
            const qsizetype length = std::min(maximumPieceBytes, strip.deflated.size() - offset);
            const bool closesStream =
                &strip == &strips.back() && piece + 1 == strip.pieceCrcs.size();
            appendBigEndian(png, quint32(length + (closesStream ? 4 : 0)));
            png.append("IDAT", 4);
            png.append(strip.deflated.constData() + offset, length);
            uLong crc = strip.pieceCrcs[piece];
            if (closesStream) {
                png.append(trailer, 4);
                crc = crc32(crc, reinterpret_cast<const Bytef *>(trailer), 4);
            }
            appendBigEndian(png, quint32(crc));
        }
    }
    appendChunk(png, "IEND", QByteArray());
    return png;
}

} // namespace

QByteArray PngEncoder::encode(const QImage &image, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error != nullptr)
            *error = message;
        return QByteArray();
    };
    if (image.isNull())
        return fail(QStringLiteral("the image is empty"));
    try {
        const std::optional<Rows> rows = prepareRows(image);
        if (!rows)
            return fail(QStringLiteral("cannot convert the image"));
        std::vector<Strip> strips = makeStrips(*rows);
        compressStrips(*rows, strips);
        for (const Strip &strip : strips) {
            if (strip.failure != nullptr)
                return fail(QString::fromUtf8(strip.failure));
        }
        return assemble(*rows, strips);
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("out of memory"));
    }
}

} // namespace platform
