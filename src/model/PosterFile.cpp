#include "model/PosterFile.h"

#include "platform/Background.h"
#include "platform/PngEncoder.h"
#include "platform/PngReader.h"
#include "platform/PrivateFiles.h"
#include "platform/TemporaryName.h"

#include <QDataStream>
#include <QFile>
#include <QList>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace PosterFile {
namespace {

constexpr char magic[8] = {'C', 'V', 'P', 'O', 'S', 'T', 'R', '1'};
constexpr int bandCount = 8;
// Far above any screen; a larger figure in a header means a damaged file.
constexpr quint32 largestSide = 1 << 16;
constexpr quint64 largestArea = quint64(1) << 28;
// Far more than are ever written; each band is decoded on a thread of its own, so a header that
// asks for more is damaged, not a reason to start thousands of threads.
constexpr quint32 mostBands = 64;

struct Band {
    quint32 rows = 0;
    quint64 size = 0;
};

bool fail(QString *error, const QString &message)
{
    if (error != nullptr)
        *error = message;
    return false;
}

// The rows [top, top + rows) of image, sharing its pixels.
QImage bandOf(const QImage &image, int top, int rows)
{
    return QImage(image.constScanLine(top), image.width(), rows, image.bytesPerLine(),
                  image.format());
}

// The magic and the picture's size.
constexpr int sizeBytes = sizeof magic + 8;

// The most bytes a poster of the size can take: its header with the most bands, and bands whose
// PNGs hold its 32-bit rows, each with its filter byte, and an eighth more; a 4K poster of random
// transparent pixels came to 0.02% over its rows.
quint64 largestFile(quint32 width, quint32 height)
{
    const quint64 rows = quint64(height) * (1 + quint64(width) * 4);
    return sizeBytes + 8 + mostBands * (12 + 64 * 1024) + rows + rows / 8;
}

// The magic and the picture's size, which must be one a poster can have.
bool readSize(QDataStream &in, quint32 &width, quint32 &height)
{
    char found[sizeof magic] = {};
    if (in.readRawData(found, sizeof found) != int(sizeof found) ||
        std::memcmp(found, magic, sizeof magic) != 0)
        return false;
    in >> width >> height;
    return in.status() == QDataStream::Ok && width > 0 && height > 0 && width <= largestSide &&
           height <= largestSide && quint64(width) * height <= largestArea;
}

} // namespace

bool write(const QImage &image, const QString &path, QString *error)
{
    if (image.isNull())
        return fail(error, QStringLiteral("the image is empty"));
    const int bands = std::min(bandCount, image.height());
    QList<QByteArray> encoded;
    QByteArray header;
    QDataStream out(&header, QIODevice::WriteOnly);
    out.writeRawData(magic, sizeof magic);
    const bool transparent = image.hasAlphaChannel();
    out << quint32(image.width()) << quint32(image.height()) << quint32(transparent)
        << quint32(bands);
    for (int band = 0, top = 0; band < bands; ++band) {
        const int rows = (image.height() - top) / (bands - band);
        QString failure;
        encoded << platform::PngEncoder::encode(bandOf(image, top, rows), &failure);
        if (encoded.last().isEmpty())
            return fail(error, failure);
        out << quint32(rows) << quint64(encoded.last().size());
        top += rows;
    }

    QTemporaryFile file(platform::TemporaryName::templateFor(path));
    if (!file.open())
        return fail(error, file.errorString());
    bool written = file.write(header) == header.size();
    for (const QByteArray &bytes : std::as_const(encoded))
        written = written && file.write(bytes) == bytes.size();
    if (!written || !file.flush())
        return fail(error, file.errorString());
    if (std::rename(QFile::encodeName(file.fileName()).constData(),
                    QFile::encodeName(path).constData()) != 0)
        return fail(error, QString::fromLocal8Bit(std::strerror(errno)));
    file.setAutoRemove(false);
    return true;
}

QImage read(const QString &path, QSize expected)
{
    QFile file;
    if (!platform::openRegularFile(file, path))
        return {};
    // The size is judged from the start of the file before the rest is read or a pixel made, and
    // no more is read than a poster of that size can hold, nor than the file held when opened.
    const qint64 length = file.size();
    QByteArray data = file.read(std::min<qint64>(length, sizeBytes));
    quint32 width = 0, height = 0;
    {
        QDataStream start(data);
        if (!readSize(start, width, height) ||
            (expected.isValid() && QSize(int(width), int(height)) != expected) ||
            quint64(length) > largestFile(width, height))
            return {};
    }
    data += file.read(length - data.size());
    QDataStream in(data);
    in.skipRawData(sizeBytes);
    quint32 transparent = 0, bands = 0;
    in >> transparent >> bands;
    if (in.status() != QDataStream::Ok || bands == 0 || bands > height || bands > mostBands)
        return {};
    std::vector<Band> layout(bands);
    // At most mostBands rows of 32 bits each: the sum cannot wrap.
    quint64 rows = 0;
    for (Band &band : layout) {
        in >> band.rows >> band.size;
        rows += band.rows;
    }
    const qint64 start = in.device()->pos();
    if (in.status() != QDataStream::Ok || rows != height)
        return {};
    // Each band against what is left after the ones before it, so that no sum of sizes can wrap
    // and every band lies inside the file.
    quint64 left = quint64(data.size() - start);
    for (const Band &band : layout) {
        if (band.rows == 0 || band.size == 0 || band.size > left ||
            band.size > quint64(std::numeric_limits<int>::max()))
            return {};
        left -= band.size;
    }

    // The bands decode side by side, each straight into its rows of the picture.
    const QImage::Format format = transparent ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    QImage picture(int(width), int(height), format);
    if (picture.isNull())
        return {};
    uchar *const pixels = picture.bits();
    const qsizetype stride = picture.bytesPerLine();
    std::vector<qint64> offsets;
    std::vector<int> tops;
    qint64 offset = start;
    int top = 0;
    for (const Band &band : layout) {
        offsets.push_back(offset);
        tops.push_back(top);
        offset += qint64(band.size);
        top += int(band.rows);
    }
    std::atomic<bool> complete = true;
    platform::runInBands(int(layout.size()), [&](int index) {
        const Band &band = layout[size_t(index)];
        const uchar *png =
            reinterpret_cast<const uchar *>(data.constData()) + offsets[size_t(index)];
        uchar *first = pixels + tops[size_t(index)] * stride;
        // A band of another size is refused from its header, before its pixels are made: a few
        // kilobytes can claim a band of hundreds of megabytes.
        const QImage rows = platform::PngReader::decode(QByteArrayView(png, qsizetype(band.size)),
                                                        QSize(int(width), int(band.rows)))
                                .convertToFormat(format);
        if (rows.width() != int(width) || rows.height() != int(band.rows)) {
            complete = false;
            return;
        }
        for (int y = 0; y < rows.height(); ++y)
            std::memcpy(first + y * stride, rows.constScanLine(y), size_t(width) * 4);
    });
    return complete ? picture : QImage();
}

} // namespace PosterFile
