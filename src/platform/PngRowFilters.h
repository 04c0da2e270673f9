#pragma once

#include <QImage>
#include <QtGlobal>

#include <optional>

// The rows of a PNG file as they go into deflate: the image's pixels unpacked into the bytes the
// file stores, each row with the filter that suits it. The byte-wise loops here are written for
// the vectoriser.
namespace platform::png {

// How the pixels of a prepared image lie in memory.
enum class Layout {
    argb32,   // 32-bit words 0xAARRGGBB (RGB32, ARGB32 and its premultiplied form)
    rgba8888, // bytes R, G, B, A (or X)
    rgb888,   // bytes R, G, B
};

// An image as the rows of the file: its pixels, where they lie, and whether alpha is written.
struct Rows {
    QImage image;
    Layout layout = Layout::rgb888;
    bool alpha = false; // written as RGBA, otherwise as RGB

    int channels() const { return alpha ? 4 : 3; }
    qsizetype rowBytes() const { return qsizetype(image.width()) * channels(); }
    qsizetype filteredRowBytes() const { return 1 + rowBytes(); }
    // Row y as the file stores it: R, G, B and, with alpha, A.
    void unpackRow(int y, unsigned char *out) const;
};

// Takes the common layouts as they are; anything else is converted first. Translucent
// premultiplied pixels are converted to straight alpha, which is what PNG stores.
std::optional<Rows> prepareRows(const QImage &image);

// Unpacks and filters the rows [firstRow, endRow) into out, one filtered row after another.
// above holds the row before firstRow (zeros for the first); row is scratch of a row's size.
void filterRows(const Rows &rows, int firstRow, int endRow, unsigned char *above,
                unsigned char *row, unsigned char *out);

} // namespace platform::png
