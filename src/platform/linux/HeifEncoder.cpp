#include "platform/linux/HeifEncoder.h"

#include <QIODevice>
#include <cstring>
#include <libheif/heif.h>
#include <memory>

namespace platform {
namespace {

struct ContextDeleter {
    void operator()(heif_context *context) const { heif_context_free(context); }
};
struct EncoderDeleter {
    void operator()(heif_encoder *encoder) const { heif_encoder_release(encoder); }
};
struct ImageDeleter {
    void operator()(heif_image *image) const { heif_image_release(image); }
};
struct HandleDeleter {
    void operator()(heif_image_handle *handle) const { heif_image_handle_release(handle); }
};

heif_error writeToDevice(heif_context *, const void *data, size_t size, void *userdata)
{
    auto *device = static_cast<QIODevice *>(userdata);
    if (device->write(static_cast<const char *>(data), qint64(size)) == qint64(size))
        return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
    return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data,
            "Cannot write the file"};
}

bool fail(QString *error, const QString &message)
{
    if (error != nullptr)
        *error = message;
    return false;
}

bool fail(QString *error, const heif_error &status)
{
    return fail(error, QString::fromUtf8(status.message));
}

} // namespace

bool HeifEncoder::encode(const QImage &image, QIODevice &device, QString *error)
{
    if (image.isNull())
        return fail(error, QStringLiteral("the image is empty"));
    const bool alpha = image.hasAlphaChannel();
    const QImage rows =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (rows.isNull())
        return fail(error, QStringLiteral("cannot convert the image"));

    std::unique_ptr<heif_context, ContextDeleter> context(heif_context_alloc());
    if (!context)
        return fail(error, QStringLiteral("cannot start libheif"));
    heif_encoder *encoderPointer = nullptr;
    heif_error status =
        heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &encoderPointer);
    std::unique_ptr<heif_encoder, EncoderDeleter> encoder(encoderPointer);
    if (status.code != heif_error_Ok)
        return fail(error, status);

    heif_image *imagePointer = nullptr;
    status = heif_image_create(rows.width(), rows.height(), heif_colorspace_RGB,
                               alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                               &imagePointer);
    std::unique_ptr<heif_image, ImageDeleter> heifImage(imagePointer);
    if (status.code != heif_error_Ok)
        return fail(error, status);
    status = heif_image_add_plane(heifImage.get(), heif_channel_interleaved, rows.width(),
                                  rows.height(), 8);
    if (status.code != heif_error_Ok)
        return fail(error, status);
    int stride = 0;
    uint8_t *plane = heif_image_get_plane(heifImage.get(), heif_channel_interleaved, &stride);
    if (plane == nullptr)
        return fail(error, QStringLiteral("cannot allocate the image"));
    const size_t rowBytes = size_t(rows.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < rows.height(); ++y)
        std::memcpy(plane + size_t(y) * size_t(stride), rows.constScanLine(y), rowBytes);

    // No quality or other option: the encoder's defaults.
    heif_image_handle *handlePointer = nullptr;
    status = heif_context_encode_image(context.get(), heifImage.get(), encoder.get(), nullptr,
                                       &handlePointer);
    std::unique_ptr<heif_image_handle, HandleDeleter> handle(handlePointer);
    if (status.code != heif_error_Ok)
        return fail(error, status);

    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = writeToDevice;
    status = heif_context_write(context.get(), &writer, &device);
    if (status.code != heif_error_Ok)
        return fail(error, status);
    return true;
}

} // namespace platform
