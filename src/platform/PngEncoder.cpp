#include "platform/PngEncoder.h"

#include <QSemaphore>
#include <QThreadPool>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <isa-l/igzip_lib.h>
#include <mutex>
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
// ISA-L's deflate at level 1 is about twice as fast as zlib's fastest level on screen content;
// with a filter chosen per row, its file stays within a tenth of what zlib's default level makes
// of text and mixed screens. Its levels 2 and 3 are slower and no smaller on screen content.
constexpr int compressionLevel = 1;
constexpr size_t compressionBufferBytes = ISAL_DEF_LVL1_DEFAULT;

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

inline void Rows::unpackRow(int y, unsigned char *out) const
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
inline void filterRow(const unsigned char *row, const unsigned char *above, qsizetype length,
                      int channels, unsigned char *out)
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

// The byte-wise work of unpacking and filtering vectorises twice as wide with AVX2, which
// nearly halves the time of the whole encoding; the choice is made once, when the program loads.
#if defined(__x86_64__) && defined(__GNUC__)
#define PNG_FILTER_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PNG_FILTER_CLONES
#endif

// Unpacks and filters the rows [firstRow, endRow) into out, one filtered row after another.
// above holds the row before firstRow (zeros for the first); row is scratch of a row's size.
PNG_FILTER_CLONES void filterRows(const Rows &rows, int firstRow, int endRow, unsigned char *above,
                                  unsigned char *row, unsigned char *out)
{
    const qsizetype pixelBytes = rows.rowBytes();
    for (int y = firstRow; y < endRow; ++y, out += 1 + pixelBytes) {
        rows.unpackRow(y, row);
        filterRow(row, above, pixelBytes, rows.channels(), out);
        std::swap(row, above);
    }
}

// A run of rows compressed on its own. The first strip starts the zlib stream; every other
// ends on a byte boundary (sync flush), so the strips concatenate into one deflate stream.
struct Strip {
    int firstRow = 0;
    int rowCount = 0;
    QByteArray deflated;
    std::vector<uLong> pieceCrcs; // CRC of "IDAT" and each piece of at most maximumPieceBytes
    quint32 adler = 1;            // Adler-32 of the filtered rows, as zlib starts it
    const char *failure = nullptr;
    bool compressed = false; // guarded by the encoding's mutex
};

const uLong idatTypeCrc = crc32(0, reinterpret_cast<const Bytef *>("IDAT"), 4);

class StripCompressor {
public:
    explicit StripCompressor(const Rows &rows) : m_rows(rows) {}

    void compress(Strip &strip, bool last) noexcept
    {
        try {
            compressRows(strip, last);
        } catch (const std::bad_alloc &) {
            strip.failure = "out of memory";
        }
    }

private:
    void compressRows(Strip &strip, bool last)
    {
        const qsizetype pixelBytes = m_rows.rowBytes();
        m_row.resize(size_t(pixelBytes));
        // The row above the strip is filtered against, as in one undivided image.
        m_above.assign(size_t(pixelBytes), 0);
        if (strip.firstRow > 0)
            m_rows.unpackRow(strip.firstRow - 1, m_above.data());
        m_filtered.resize(size_t(m_rows.filteredRowBytes() * strip.rowCount));
        filterRows(m_rows, strip.firstRow, strip.firstRow + strip.rowCount, m_above.data(),
                   m_row.data(), m_filtered.data());
        strip.adler = isal_adler32(1, m_filtered.data(), m_filtered.size());
        m_levelBuffer.resize(compressionBufferBytes);

        isal_zstream stream;
        isal_deflate_init(&stream);
        stream.level = compressionLevel;
        stream.level_buf = m_levelBuffer.data();
        stream.level_buf_size = uint32_t(m_levelBuffer.size());
        stream.next_in = m_filtered.data();
        stream.avail_in = uint32_t(m_filtered.size());
        stream.flush = last ? NO_FLUSH : SYNC_FLUSH;
        stream.end_of_stream = last ? 1 : 0;

        // Room for the stream header, block headers and the flush marker besides the rows;
        // rows that do not compress at all grow the buffer below.
        const qsizetype filteredBytes = qsizetype(m_filtered.size());
        strip.deflated.resize(filteredBytes + filteredBytes / 64 + 4096);
        qsizetype used = 0;
        if (strip.firstRow == 0) {
            // Deflate with a 32 KiB window, fastest level; no preset dictionary.
            strip.deflated[0] = char(0x78);
            strip.deflated[1] = char(0x01);
            used = 2;
        }
        const int finalState = last ? ZSTATE_END : ZSTATE_NEW_HDR;
        for (;;) {
            if (used == strip.deflated.size())
                strip.deflated.resize(used + used / 2);
            stream.next_out = reinterpret_cast<uint8_t *>(strip.deflated.data() + used);
            stream.avail_out = uint32_t(strip.deflated.size() - used);
            const uint32_t inputBefore = stream.avail_in;
            if (isal_deflate(&stream) != COMP_OK) {
                strip.failure = "cannot compress the image";
                return;
            }
            const qsizetype produced = strip.deflated.size() - used - stream.avail_out;
            used += produced;
            if (stream.avail_in == 0 && stream.internal_state.state == finalState)
                break;
            if (produced == 0 && stream.avail_in == inputBefore && stream.avail_out > 0) {
                strip.failure = "the compressor stopped";
                return;
            }
        }
        strip.deflated.resize(used);

        const auto *bytes = reinterpret_cast<const Bytef *>(strip.deflated.constData());
        for (qsizetype offset = 0; offset < used; offset += maximumPieceBytes) {
            const qsizetype size = std::min(maximumPieceBytes, used - offset);
            strip.pieceCrcs.push_back(crc32(idatTypeCrc, bytes + offset, uInt(size)));
        }
    }

    const Rows &m_rows;
    std::vector<unsigned char> m_row;
    std::vector<unsigned char> m_above;
    std::vector<unsigned char> m_filtered;
    std::vector<unsigned char> m_levelBuffer;
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

// The encoder's own threads. On the global pool they would compete with Qt's, which spreads a
// large image's scaling there: a capture's thumbnail is made while its PNG is being written.
QThreadPool &encoderThreads()
{
    static QThreadPool threads;
    return threads;
}

void appendBigEndian(char *out, quint32 value)
{
    qToBigEndian(value, out);
}

// Compresses the strips on the calling thread and on as many idle encoder threads as help, and
// hands the file's bytes to the sink in order on the calling thread as soon as the strips
// before them are done, so that writing overlaps compressing. Helpers are only started on
// threads that are free at once, so this never waits on a busy pool: the calling thread
// compresses whatever is left.
class Encoding {
public:
    Encoding(const Rows &rows, std::vector<Strip> &strips) : m_rows(rows), m_strips(strips) {}
    Encoding(const Encoding &) = delete;
    Encoding &operator=(const Encoding &) = delete;
    // Whatever ends the encoding, helpers still at work are stopped and waited for: they use
    // this object and the strips.
    ~Encoding()
    {
        m_stopped = true;
        m_helpersDone.acquire(m_helpers);
    }

    void startHelpers()
    {
        QThreadPool &threads = encoderThreads();
        const size_t wanted =
            std::min(m_strips.size(), size_t(std::max(1, threads.maxThreadCount()))) - 1;
        try {
            while (size_t(m_helpers) < wanted && threads.tryStart([this] {
                compressUntilDone();
                m_helpersDone.release();
            }))
                ++m_helpers;
        } catch (const std::bad_alloc &) {
            // Fewer helpers; the calling thread compresses what they would have done.
        }
    }

    // The strip at index, compressed by whichever thread took it; the calling thread compresses
    // others meanwhile while any are left.
    const Strip &waitFor(size_t index)
    {
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                if (m_strips[index].compressed)
                    return m_strips[index];
            }
            const size_t next = m_next++;
            if (next < m_strips.size()) {
                compressOne(m_ownCompressor, next);
                continue;
            }
            std::unique_lock lock(m_mutex);
            m_compressed.wait(lock, [&] { return m_strips[index].compressed; });
            return m_strips[index];
        }
    }

    void stop() { m_stopped = true; }

private:
    void compressUntilDone()
    {
        StripCompressor compressor(m_rows);
        for (size_t next = m_next++; !m_stopped && next < m_strips.size(); next = m_next++)
            compressOne(compressor, next);
    }

    void compressOne(StripCompressor &compressor, size_t index)
    {
        Strip &strip = m_strips[index];
        if (!m_stopped)
            compressor.compress(strip, index + 1 == m_strips.size());
        else
            strip.failure = "stopped";
        {
            std::lock_guard lock(m_mutex);
            strip.compressed = true;
        }
        m_compressed.notify_all();
    }

    const Rows &m_rows;
    std::vector<Strip> &m_strips;
    StripCompressor m_ownCompressor{m_rows};
    std::atomic<size_t> m_next{0};
    std::atomic<bool> m_stopped{false};
    std::mutex m_mutex;
    std::condition_variable m_compressed;
    QSemaphore m_helpersDone;
    int m_helpers = 0;
};

class ChunkWriter {
public:
    explicit ChunkWriter(const PngEncoder::Sink &sink) : m_sink(sink) {}

    bool chunk(const char *type, const char *data, qsizetype size)
    {
        // zlib takes a null buffer as a request for the initial value.
        const char *bytes = data != nullptr ? data : "";
        uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
        crc = crc32(crc, reinterpret_cast<const Bytef *>(bytes), uInt(size));
        return chunk(type, bytes, size, crc);
    }

    // A chunk whose CRC over its type and data is known.
    bool chunk(const char *type, const char *data, qsizetype size, uLong crc,
               const char *tail = nullptr, qsizetype tailSize = 0)
    {
        char head[8];
        appendBigEndian(head, quint32(size + tailSize));
        std::memcpy(head + 4, type, 4);
        char end[4];
        appendBigEndian(end, quint32(crc));
        return m_sink(head, 8) && (size == 0 || m_sink(data, size)) &&
               (tailSize == 0 || m_sink(tail, tailSize)) && m_sink(end, 4);
    }

private:
    const PngEncoder::Sink &m_sink;
};

} // namespace

bool PngEncoder::encode(const QImage &image, const Sink &sink, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error != nullptr)
            *error = message;
        return false;
    };
    if (image.isNull())
        return fail(QStringLiteral("the image is empty"));
    try {
        const std::optional<Rows> rows = prepareRows(image);
        if (!rows)
            return fail(QStringLiteral("cannot convert the image"));
        std::vector<Strip> strips = makeStrips(*rows);
        Encoding encoding(*rows, strips);
        encoding.startHelpers();

        ChunkWriter writer(sink);
        char header[13] = {};
        appendBigEndian(header, quint32(rows->image.width()));
        appendBigEndian(header + 4, quint32(rows->image.height()));
        header[8] = 8;                   // bits per channel
        header[9] = rows->alpha ? 6 : 2; // colour type: RGBA or RGB
        // Deflate, adaptive filters, no interlace: zeros.
        if (!sink("\x89PNG\r\n\x1a\n", 8) || !writer.chunk("IHDR", header, sizeof header)) {
            encoding.stop();
            return false;
        }

        const qsizetype rowBytes = rows->filteredRowBytes();
        uLong adler = 1;
        for (size_t index = 0; index < strips.size(); ++index) {
            const Strip &strip = encoding.waitFor(index);
            if (strip.failure != nullptr) {
                encoding.stop();
                return fail(QString::fromUtf8(strip.failure));
            }
            adler = index == 0
                        ? strip.adler
                        : adler32_combine(adler, strip.adler, z_off_t(rowBytes * strip.rowCount));
            const bool lastStrip = index + 1 == strips.size();
            char trailer[4];
            appendBigEndian(trailer, quint32(adler));
            for (size_t piece = 0; piece < strip.pieceCrcs.size(); ++piece) {
                const qsizetype offset = qsizetype(piece) * maximumPieceBytes;
                const qsizetype length =
                    std::min(maximumPieceBytes, strip.deflated.size() - offset);
                // The last piece also carries the stream's checksum.
                const bool closesStream = lastStrip && piece + 1 == strip.pieceCrcs.size();
                const uLong crc = closesStream ? crc32(strip.pieceCrcs[piece],
                                                       reinterpret_cast<const Bytef *>(trailer), 4)
                                               : strip.pieceCrcs[piece];
                if (!writer.chunk("IDAT", strip.deflated.constData() + offset, length, crc,
                                  closesStream ? trailer : nullptr, closesStream ? 4 : 0)) {
                    encoding.stop();
                    return false;
                }
            }
            // What is written is not needed again.
            strips[index].deflated = QByteArray();
        }
        return writer.chunk("IEND", nullptr, 0);
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("out of memory"));
    }
}

QByteArray PngEncoder::encode(const QImage &image, QString *error)
{
    QByteArray png;
    // A screen compresses to a fifth of its pixels' size or less; one reservation mostly suffices.
    png.reserve(qsizetype(image.width()) * image.height() * 4 / 5 + 1024);
    const bool encoded = encode(
        image,
        [&png](const char *data, qsizetype size) {
            png.append(data, size);
            return true;
        },
        error);
    return encoded ? png : QByteArray();
}

} // namespace platform
