#include "platform/PrivateFiles.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool openRegularFile(QFile &file, const QString &path, QString *error)
{
    const auto fail = [&](const QString &reason) {
        if (error)
            *error = QStringLiteral("Cannot read %1: %2").arg(path, reason);
        return false;
    };
    // Opened without waiting, then judged by what was opened: a check of the path first could
    // be answered by one file and the open by another put there meanwhile. A terminal put there
    // does not become the program's.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return fail(QStringLiteral("not a regular file"));
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0 ||
        !file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fail(QStringLiteral("cannot be opened"));
    }
    return true;
}

namespace {

std::optional<FileVersion> versionFrom(int read, const struct stat &status)
{
    if (read != 0 || !S_ISREG(status.st_mode))
        return std::nullopt;
    const auto nanoseconds = [](const timespec &time) {
        return qint64(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
    };
    return FileVersion{quint64(status.st_dev), quint64(status.st_ino), qint64(status.st_size),
                       nanoseconds(status.st_mtim), nanoseconds(status.st_ctim)};
}

} // namespace

bool FileVersion::sameContents(const FileVersion &other) const
{
    return device == other.device && inode == other.inode && size == other.size &&
           modifiedNs == other.modifiedNs;
}

std::optional<FileVersion> FileVersion::of(const QString &path)
{
    struct stat status {};
    const int read = ::stat(QFile::encodeName(path).constData(), &status);
    return versionFrom(read, status);
}

std::optional<FileVersion> FileVersion::ofOpen(int fd)
{
    struct stat status {};
    const int read = ::fstat(fd, &status);
    return versionFrom(read, status);
}

} // namespace platform
