#include "platform/PrivateFiles.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace platform {

int createPrivateFile(const QString &path, QString *error)
{
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (fd < 0 && error)
        *error = QStringLiteral("Cannot create %1: %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    // The umask can only take permissions away, and 0600 is already the least that works.
    return fd;
}

} // namespace platform
