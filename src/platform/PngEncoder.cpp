#include "platform/PngEncoder.h"

#include <csetjmp>
#include <cstdio>
#include <new>
#include <png.h>

namespace platform {
namespace {

// Filled by libpng's callbacks; only plain data, because libpng leaves by longjmp.
struct Output {
    QByteArray *bytes = nullptr;
    char message[256] = {};
};

void onError(png_structp png, png_const_charp message)
{
    auto *output = static_cast<Output *>(png_get_error_ptr(png));
    std::snprintf(output->message, sizeof output->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, png_size_t length)
{
    auto *output = static_cast<Output *>(png_get_io_ptr(png));
    bool appended = true;
    try {
        output->bytes->append(reinterpret_cast<const char *>(data), qsizetype(length));
    } catch (const std::bad_alloc &) {
        appended = false;
    }
    if (!appended)
        png_error(png, "out of memory");
}

void onFlush(png_structp) {}

// image: RGB888 or RGBA8888. Nothing with a destructor may live in this frame.
bool encodeRows(const QImage &image, Output &output)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &output, onError, onWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(output.message, sizeof output.message, "cannot start the PNG encoder");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &output, onWrite, onFlush);
    const bool alpha = image.format() == QImage::Format_RGBA8888;
    png_set_IHDR(png, info, png_uint_32(image.width()), png_uint_32(image.height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // Level 1 with the SUB filter: several times faster than the defaults on screen content.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_buffer_size(png, 1 << 17);
    png_write_info(png, info);
    for (int y = 0; y < image.height(); ++y)
        png_write_row(png, image.constScanLine(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

QByteArray PngEncoder::encode(const QImage &image, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error != nullptr)
            *error = message;
        return QByteArray();
    };
    if (image.isNull())
        return fail(QStringLiteral("the image is empty"));
    const QImage rows = image.convertToFormat(
        image.hasAlphaChannel() ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (rows.isNull())
        return fail(QStringLiteral("cannot convert the image"));

    QByteArray bytes;
    try {
        // Screen content usually compresses to well under half its raw size at level 1.
        bytes.reserve(qsizetype(rows.sizeInBytes() / 2));
    } catch (const std::bad_alloc &) {
        return fail(QStringLiteral("out of memory"));
    }
    Output output;
    output.bytes = &bytes;
    if (!encodeRows(rows, output))
        return fail(QString::fromUtf8(output.message));
    bytes.squeeze();
    return bytes;
}

} // namespace platform
