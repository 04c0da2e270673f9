#include "platform/qt/QtImageWriter.h"

#include "platform/linux/HeifEncoder.h"

#include <QImageWriter>
#include <QSaveFile>

namespace platform {
namespace {

using Status = ImageWriteResult::Status;

QByteArray qtFormatFor(const QString &type)
{
    if (type == QLatin1String("image/png"))
        return QByteArrayLiteral("png");
    if (type == QLatin1String("image/jpeg"))
        return QByteArrayLiteral("jpeg");
    return {};
}

bool isHeic(const QString &type)
{
    return type == QLatin1String("image/heic") || type == QLatin1String("image/heif");
}

} // namespace

ImageWriteResult QtImageWriter::write(const QImage &image, const QString &path, const QString &type)
{
    const QByteArray qtFormat = qtFormatFor(type);
    if (qtFormat.isEmpty() && !isHeic(type))
        return {Status::cannotCreate, QStringLiteral("unsupported image type %1").arg(type)};
    if (image.isNull())
        return {Status::cannotEncode, QStringLiteral("the image is empty")};

    QSaveFile file(path);
    // Never write in place: a failure must leave the old file as it was.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return {Status::cannotCreate, file.errorString()};

    QString error;
    bool encoded = false;
    if (isHeic(type)) {
        encoded = HeifEncoder::encode(image, file, &error);
    } else {
        QImageWriter writer(&file, qtFormat);
        encoded = writer.write(image);
        if (!encoded)
            error = writer.errorString();
    }
    if (!encoded) {
        file.cancelWriting();
        return {Status::cannotEncode, error};
    }
    if (!file.commit()) {
        // A name the file system refuses may only show when the file is renamed into place.
        return {file.error() == QFileDevice::RenameError ? Status::cannotCreate
                                                         : Status::cannotEncode,
                file.errorString()};
    }
    return {};
}

} // namespace platform
