#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QImage>
#include <QList>

// Poster files made by hand, with headers that say what a damaged or hostile file would say:
// for the reader's tests and as seeds of its fuzzer. The layout is the one PosterFile writes:
// "CVPOSTR1", width, height, transparent, band count, then per band its rows and its byte size,
// then the bands' PNGs one after another; big-endian throughout.
namespace CraftedPosterFiles {

struct Band {
    quint32 rows = 0;
    quint64 size = 0;
};

inline QByteArray header(quint32 width, quint32 height, const QList<Band> &bands)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.writeRawData("CVPOSTR1", 8);
    out << width << height << quint32(0) << quint32(bands.size());
    for (const Band &band : bands)
        out << band.rows << band.size;
    return bytes;
}

inline QByteArray png(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The picture cut into bands of the given rows, each a true PNG, under a header that claims
// `height` rows (the picture's own height when 0).
inline QByteArray banded(const QImage &picture, const QList<int> &bandRows, quint32 height = 0)
{
    QList<Band> bands;
    QByteArray pngs;
    int top = 0;
    for (const int rows : bandRows) {
        const QByteArray encoded = png(picture.copy(0, top, picture.width(), rows));
        bands.append({quint32(rows), quint64(encoded.size())});
        pngs += encoded;
        top += rows;
    }
    return header(quint32(picture.width()), height ? height : quint32(picture.height()), bands) +
           pngs;
}

// 148 bytes: two bands whose sizes wrap around 2^64 to 100, the bytes that follow the header.
// Read without care, the second band starts 60 bytes before the file's buffer and the first
// one's size turns negative.
inline QByteArray wrappingSizes()
{
    const QByteArray head = header(1, 2, {{1, ~quint64(0) - 59}, {1, 160}});
    return head + QByteArray(148 - head.size(), '\x5a');
}

// As many one-row bands as rows, 65,536 of them: with `pictures` each a true 1 × 1 PNG (about
// 5 MB), else only the layout, every band empty (768 KB).
inline QByteArray asManyBandsAsRows(bool pictures)
{
    constexpr int rows = 1 << 16;
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::darkGreen);
    const QByteArray encoded = pictures ? png(dot) : QByteArray();
    const QList<Band> bands(rows, Band{1, quint64(encoded.size())});
    QByteArray file = header(1, rows, bands);
    file.reserve(file.size() + rows * encoded.size());
    for (int i = 0; i < rows; ++i)
        file += encoded;
    return file;
}

} // namespace CraftedPosterFiles
