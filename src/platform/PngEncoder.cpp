#include "platform/PngEncoder.h"

#include "platform/Background.h"
#include "platform/PngRowFilters.h"

#include <QSemaphore>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <atomic>
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

using png::filterRows;
using png::prepareRows;
using png::Rows;

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

        // Zeroed first: ISA-L's init leaves most of the stream as it finds it, and what the
        // thread's stack held before must not reach the output.
        isal_zstream stream{};
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

void appendBigEndian(char *out, quint32 value)
{
    qToBigEndian(value, out);
}

// Compresses the strips on the calling thread and on as many idle background threads as help, and
// hands the file's bytes to the sink in order on the calling thread as soon as the strips
// before them are done, so that writing overlaps compressing. Helpers are only started on
// threads that are free at the time, so this never waits on a busy pool: the calling thread
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
        m_wantedHelpers =
            int(std::min(m_strips.size(), size_t(std::max(1, QThread::idealThreadCount()))) - 1);
        addHelpers();
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
                addHelpers();
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
    // Helpers on threads idle now, up to the number wanted: at the start, and again before each
    // strip the calling thread takes itself, so that threads busy with other work at the start
    // (the clipboard's TIFF, say) join as they come free.
    void addHelpers()
    {
        if (m_helpers >= m_wantedHelpers)
            return;
        m_helpers += startOnIdleThreads(m_wantedHelpers - m_helpers, [this] {
            compressUntilDone();
            m_helpersDone.release();
        });
    }

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
    int m_helpers = 0; // started so far, by the calling thread
    int m_wantedHelpers = 0;
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
