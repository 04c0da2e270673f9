#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QtEndian>
#include <cstring>

// Reads back a baseline, uncompressed, one-strip TIFF as the encoder writes it.
inline QImage readSimpleTiff(const QByteArray &bytes)
{
    if (bytes.size() < 8 || !bytes.startsWith("II") ||
        qFromLittleEndian<quint16>(bytes.data() + 2) != 42)
        return {};
    const char *data = bytes.constData();
    const quint32 ifd = qFromLittleEndian<quint32>(data + 4);
    QHash<quint16, quint32> tags;
    const quint16 count = qFromLittleEndian<quint16>(data + ifd);
    for (quint16 i = 0; i < count; ++i) {
        const char *entry = data + ifd + 2 + 12 * i;
        const quint16 type = qFromLittleEndian<quint16>(entry + 2);
        const quint32 values = qFromLittleEndian<quint32>(entry + 4);
        tags.insert(qFromLittleEndian<quint16>(entry), type == 3 && values == 1
                                                           ? qFromLittleEndian<quint16>(entry + 8)
                                                           : qFromLittleEndian<quint32>(entry + 8));
    }
    if (tags.value(259) != 1 || tags.value(262) != 2 || tags.value(284) != 1)
        return {};
    const int samples = int(tags.value(277));
    const int width = int(tags.value(256));
    const int height = int(tags.value(257));
    if (tags.value(279) != quint32(width * height * samples))
        return {};
    QImage image(width, height, samples == 4 ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        memcpy(image.scanLine(y), data + tags.value(273) + y * width * samples, width * samples);
    return image;
}
