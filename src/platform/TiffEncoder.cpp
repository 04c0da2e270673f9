#include "platform/TiffEncoder.h"

#include <QtEndian>
#include <array>
#include <cstring>
#include <limits>
#include <new>

namespace platform {
namespace {

enum FieldType : quint16 { typeShort = 3, typeLong = 4, typeRational = 5 };

struct Entry {
    quint16 tag;
    quint16 type;
    quint32 count;
    quint32 value; // the value itself (left-aligned) or the offset of the values
};

void put16(char *at, quint16 value)
{
    qToLittleEndian(value, at);
}

void put32(char *at, quint32 value)
{
    qToLittleEndian(value, at);
}

} // namespace

QByteArray TiffEncoder::encode(const QImage &image)
{
    if (image.isNull())
        return {};
    const bool alpha = image.hasAlphaChannel();
    const QImage rows =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (rows.isNull())
        return {};
    const quint16 samples = alpha ? 4 : 3;
    const quint64 rowBytes = quint64(rows.width()) * samples;
    const quint64 dataBytes = rowBytes * quint64(rows.height());

    const quint16 entryCount = alpha ? 14 : 13;
    const quint32 ifdOffset = 8;
    const quint32 ifdBytes = 2 + entryCount * 12 + 4;
    const quint32 bitsOffset = ifdOffset + ifdBytes;
    const quint32 xResolutionOffset = bitsOffset + 8; // room for four shorts
    const quint32 yResolutionOffset = xResolutionOffset + 8;
    const quint32 dataOffset = yResolutionOffset + 8;
    if (dataBytes > std::numeric_limits<quint32>::max() - dataOffset)
        return {};

    QByteArray bytes;
    try {
        bytes.resize(qsizetype(dataOffset + dataBytes));
    } catch (const std::bad_alloc &) {
        return {};
    }
    char *out = bytes.data();
    std::memset(out, 0, dataOffset);
    out[0] = 'I';
    out[1] = 'I';
    put16(out + 2, 42);
    put32(out + 4, ifdOffset);

    // Tags in ascending order, as the format requires.
    std::array<Entry, 14> entries = {{
        {256, typeLong, 1, quint32(rows.width())},  // ImageWidth
        {257, typeLong, 1, quint32(rows.height())}, // ImageLength
        {258, typeShort, samples, bitsOffset},      // BitsPerSample
        {259, typeShort, 1, 1},                     // Compression: none
        {262, typeShort, 1, 2},                     // Photometric: RGB
        {273, typeLong, 1, dataOffset},             // StripOffsets
        {277, typeShort, 1, samples},               // SamplesPerPixel
        {278, typeLong, 1, quint32(rows.height())}, // RowsPerStrip
        {279, typeLong, 1, quint32(dataBytes)},     // StripByteCounts
        {282, typeRational, 1, xResolutionOffset},  // XResolution
        {283, typeRational, 1, yResolutionOffset},  // YResolution
        {284, typeShort, 1, 1},                     // PlanarConfiguration
        {296, typeShort, 1, 2},                     // ResolutionUnit: inch
        {338, typeShort, 1, 2},                     // ExtraSamples: straight alpha
    }};
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
    for (int y = 0; y < rows.height(); ++y)
        std::memcpy(out + dataOffset + quint64(y) * rowBytes, rows.constScanLine(y), rowBytes);
    return bytes;
}

} // namespace platform
