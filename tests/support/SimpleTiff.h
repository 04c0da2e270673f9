#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QtEndian>
#include <cstring>
#include <zlib.h>

// Reads back an RGB or RGBA TIFF as the encoder writes it: Deflate strips after horizontal
// differencing.
inline QImage readSimpleTiff(const QByteArray &bytes)
{
    if (bytes.size() < 8 || !bytes.startsWith("II") ||
        qFromLittleEndian<quint16>(bytes.data() + 2) != 42)
        return {};
    const char *data = bytes.constData();
    const quint32 ifd = qFromLittleEndian<quint32>(data + 4);
    QHash<quint16, quint32> tags;
    QHash<quint16, quint32> counts;
    const quint16 count = qFromLittleEndian<quint16>(data + ifd);
    for (quint16 i = 0; i < count; ++i) {
        const char *entry = data + ifd + 2 + 12 * i;
        const quint16 tag = qFromLittleEndian<quint16>(entry);
        const quint16 type = qFromLittleEndian<quint16>(entry + 2);
        counts.insert(tag, qFromLittleEndian<quint32>(entry + 4));
        tags.insert(tag, type == 3 && counts.value(tag) == 1
                             ? qFromLittleEndian<quint16>(entry + 8)
                             : qFromLittleEndian<quint32>(entry + 8));
    }
    if (tags.value(259) != 8 || tags.value(262) != 2 || tags.value(284) != 1 ||
        tags.value(317) != 2)
        return {};
    const int samples = int(tags.value(277));
    const int width = int(tags.value(256));
    const int height = int(tags.value(257));
    const int rowsPerStrip = int(tags.value(278));
    const int strips = int(counts.value(273));
    if (rowsPerStrip <= 0 || strips != (height + rowsPerStrip - 1) / rowsPerStrip)
        return {};
    const auto stripValue = [&](quint16 tag, int strip) {
        return strips == 1 ? tags.value(tag)
                           : qFromLittleEndian<quint32>(data + tags.value(tag) + 4 * strip);
    };
    QImage image(width, height, samples == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int rowBytes = width * samples;
    for (int strip = 0; strip < strips; ++strip) {
        const int rows = std::min(rowsPerStrip, height - strip * rowsPerStrip);
        QByteArray raw(rowBytes * rows, Qt::Uninitialized);
        uLongf size = uLongf(raw.size());
        if (uncompress(reinterpret_cast<Bytef *>(raw.data()), &size,
                       reinterpret_cast<const Bytef *>(data + stripValue(273, strip)),
                       stripValue(279, strip)) != Z_OK ||
            size != uLongf(raw.size()))
            return {};
        for (int y = 0; y < rows; ++y) {
            uchar *row = image.scanLine(strip * rowsPerStrip + y);
            memcpy(row, raw.constData() + y * rowBytes, rowBytes);
            for (int i = samples; i < rowBytes; ++i)
                row[i] = uchar(row[i] + row[i - samples]);
        }
    }
    return image;
}
