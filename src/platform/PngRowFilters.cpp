#include "platform/PngRowFilters.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace platform::png {
namespace {

// The filter types of PNG that are tried on each row, by their numbers in the file. Average
// (3) is left out: it seldom wins on screen content.
enum : unsigned char { noFilter = 0, subFilter = 1, upFilter = 2, paethFilter = 4 };

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

} // namespace

void Rows::unpackRow(int y, unsigned char *out) const
{
    if (alpha)
        unpackRowAs<4>(layout, image.constScanLine(y), image.width(), out);
    else
        unpackRowAs<3>(layout, image.constScanLine(y), image.width(), out);
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
// The thread sanitizer's instrumentation cannot run that early, so its builds have one path.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_THREAD__)
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

} // namespace platform::png
