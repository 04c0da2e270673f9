#include "platform/PngWriter.h"

#include "platform/PngEncoder.h"
#include "platform/TemporaryName.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace platform {
namespace {

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool writeAll(int descriptor, const char *data, qsizetype left)
{
    while (left > 0) {
        const ssize_t written = ::write(descriptor, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            return false;
        data += written;
        left -= written;
    }
    return true;
}

} // namespace

bool PngWriter::write(const QImage &image, const QString &path, QString *error)
{
    auto fail = [error](const QString &message) {
        if (error != nullptr)
            *error = message;
        return false;
    };
    if (image.isNull())
        return fail(QStringLiteral("the image is empty"));

    const QFileInfo target(path);
    QByteArray temporaryName = QFile::encodeName(TemporaryName::templateFor(path));
    const int descriptor = ::mkstemp(temporaryName.data());
    if (descriptor < 0) {
        return fail(QStringLiteral("cannot create a file in %1: %2")
                        .arg(target.absolutePath(), errnoText()));
    }
    // The file is written while the rest of the image is still being compressed.
    QString failure;
    const bool encoded = PngEncoder::encode(
        image,
        [descriptor, &failure](const char *data, qsizetype size) {
            if (writeAll(descriptor, data, size))
                return true;
            failure = errnoText();
            return false;
        },
        &failure);
    if (::close(descriptor) != 0 && encoded && failure.isEmpty())
        failure = errnoText();
    if (encoded && failure.isEmpty() &&
        ::rename(temporaryName.constData(), QFile::encodeName(path).constData()) != 0)
        failure = QStringLiteral("cannot rename into %1: %2").arg(path, errnoText());
    if (encoded && failure.isEmpty())
        return true;
    ::unlink(temporaryName.constData());
    return fail(failure.isEmpty() ? QStringLiteral("cannot encode the image") : failure);
}

} // namespace platform
