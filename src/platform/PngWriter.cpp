#include "platform/PngWriter.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <png.h>
#include <unistd.h>

namespace platform {
namespace {

// How the rows of a prepared image are laid out for libpng.
struct RowSource {
    const unsigned char *bits = nullptr;
    qsizetype bytesPerLine = 0;
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = PNG_COLOR_TYPE_RGB;
    bool bgr = false;       // bytes are B, G, R in memory
    bool swapAlpha = false; // alpha comes first in memory
    int filler = -1;        // PNG_FILLER_BEFORE/AFTER: a padding byte to strip
};

struct ErrorSink {
    char message[256];
};

void onPngError(png_structp png, png_const_charp message)
{
    auto *sink = static_cast<ErrorSink *>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void onPngWarning(png_structp, png_const_charp) {}

// libpng leaves this frame by longjmp on error, so only plain C objects live
// here: nothing with a destructor may be skipped.
bool encodeRows(FILE *file, const RowSource &source, ErrorSink &sink)
{
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink, onPngError, onPngWarning);
    if (png == nullptr) {
        std::snprintf(sink.message, sizeof sink.message, "cannot start the PNG encoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(sink.message, sizeof sink.message, "cannot start the PNG encoder");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, source.width, source.height, 8, source.colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Level 1 with the SUB filter alone: several times faster than the
    // defaults on screen content, for a file about a quarter larger.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(png, 1 << 17);
    png_write_info(png, info);
    if (source.bgr)
        png_set_bgr(png);
    if (source.swapAlpha)
        png_set_swap_alpha(png);
    if (source.filler >= 0)
        png_set_filler(png, 0, source.filler);
    for (png_uint_32 y = 0; y < source.height; ++y)
        png_write_row(png, source.bits + qsizetype(y) * source.bytesPerLine);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool isArgb32Family(QImage::Format format)
{
    return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
           format == QImage::Format_ARGB32_Premultiplied;
}

// True when every pixel of a 32-bit image with an alpha channel is opaque, so
// that the alpha channel can be left out of the file.
bool allPixelsOpaque(const QImage &image)
{
    // As a 32-bit word, ARGB32 keeps alpha in the high byte on every host;
    // RGBA8888 keeps it in the last byte in memory.
    const quint32 alphaMask = isArgb32Family(image.format()) || Q_BYTE_ORDER == Q_LITTLE_ENDIAN
                                  ? 0xff000000u
                                  : 0x000000ffu;
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

// Brings the image into a layout libpng can take row by row, converting only
// when the pixels are not already usable in place.
QImage prepare(const QImage &image, RowSource &source)
{
    QImage prepared = image;
    switch (image.format()) {
    case QImage::Format_RGB888:
    case QImage::Format_RGBX8888:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA8888_Premultiplied:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        break;
    default:
        prepared = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_RGBA8888
                                                                 : QImage::Format_RGB888);
        break;
    }

    const bool opaque = !prepared.hasAlphaChannel() || allPixelsOpaque(prepared);
    // With any translucent pixel, the file needs straight (not premultiplied) alpha.
    if (!opaque && prepared.format() == QImage::Format_ARGB32_Premultiplied)
        prepared = prepared.convertToFormat(QImage::Format_ARGB32);
    if (!opaque && prepared.format() == QImage::Format_RGBA8888_Premultiplied)
        prepared = prepared.convertToFormat(QImage::Format_RGBA8888);

    source.bits = prepared.constBits();
    source.bytesPerLine = prepared.bytesPerLine();
    source.width = png_uint_32(prepared.width());
    source.height = png_uint_32(prepared.height());
    source.colorType = opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA;
    if (prepared.format() == QImage::Format_RGB888)
        return prepared;
    if (isArgb32Family(prepared.format())) {
        // A 32-bit word 0xAARRGGBB: B, G, R, A in memory on little-endian hosts.
        const bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
        source.bgr = little;
        if (opaque)
            source.filler = little ? PNG_FILLER_AFTER : PNG_FILLER_BEFORE;
        else
            source.swapAlpha = !little;
        return prepared;
    }
    // RGBX8888 and RGBA8888: R, G, B, A in memory on every host.
    if (opaque)
        source.filler = PNG_FILLER_AFTER;
    return prepared;
}

void setError(QString *error, const QString &message)
{
    if (error != nullptr)
        *error = message;
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

bool PngWriter::write(const QImage &image, const QString &path, QString *error)
{
    if (image.isNull()) {
        setError(error, QStringLiteral("the image is empty"));
        return false;
    }
    RowSource source;
    const QImage prepared = prepare(image, source);
    if (prepared.isNull()) {
        setError(error, QStringLiteral("cannot convert the image"));
        return false;
    }

    const QFileInfo target(path);
    QByteArray temporaryName = QFile::encodeName(target.absolutePath() + QStringLiteral("/.") +
                                                 target.fileName() + QStringLiteral(".XXXXXX"));
    const int descriptor = ::mkstemp(temporaryName.data());
    if (descriptor < 0) {
        setError(error, QStringLiteral("cannot create a file in %1: %2")
                            .arg(target.absolutePath(), errnoText()));
        return false;
    }
    FILE *file = ::fdopen(descriptor, "wb");
    if (file == nullptr) {
        setError(error, errnoText());
        ::close(descriptor);
        ::unlink(temporaryName.constData());
        return false;
    }

    ErrorSink sink{};
    bool written = encodeRows(file, source, sink);
    QString failure = QString::fromUtf8(sink.message);
    if (written && (std::fflush(file) != 0 || std::ferror(file) != 0)) {
        written = false;
        failure = errnoText();
    }
    if (std::fclose(file) != 0 && written) {
        written = false;
        failure = errnoText();
    }
    if (written && ::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0) {
        written = false;
        failure = QStringLiteral("cannot rename into %1: %2").arg(path, errnoText());
    }
    if (!written) {
        ::unlink(temporaryName.constData());
        setError(error, failure);
    }
    return written;
}

} // namespace platform
