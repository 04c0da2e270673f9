#include "platform/CaptureFolder.h"

#include <QDir>
#include <QFile>
#include <QMutex>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr const char *folderName = "CorvantaCaptures";

QMutex &cacheMutex()
{
    static QMutex mutex;
    return mutex;
}

std::optional<QString> &cachedPath()
{
    static std::optional<QString> path;
    return path;
}

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

// Why the folder at path must not hold our captures, or an empty string when
// it is ours alone. Looks at the entry itself, never through a link.
QString refusal(const QString &path)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return systemError(QStringLiteral("cannot inspect"), path);
    if (S_ISLNK(info.st_mode))
        return path + QStringLiteral(" is a symbolic link");
    if (!S_ISDIR(info.st_mode))
        return path + QStringLiteral(" is not a directory");
    if (info.st_uid != ::getuid())
        return path + QStringLiteral(" is owned by another user");
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return path + QStringLiteral(" is writable by other users");
    return {};
}

CaptureFolder::Result resolve()
{
    // QDir::tempPath() is empty when $TMPDIR names a folder that does not exist.
    const QString tempDir = QDir::tempPath();
    if (tempDir.isEmpty())
        return {std::nullopt, {}, QStringLiteral("the temporary directory does not exist")};

    const QString shared = tempDir + QLatin1Char('/') + QLatin1String(folderName);
    const QByteArray sharedName = QFile::encodeName(shared);
    if (::mkdir(sharedName.constData(), 0700) == 0) {
        // The umask may have taken bits away, never added any; make it exact.
        ::chmod(sharedName.constData(), 0700);
        return {shared, {}, {}};
    }
    if (errno != EEXIST)
        return {std::nullopt, {}, systemError(QStringLiteral("cannot create"), shared)};

    const QString reason = refusal(shared);
    if (reason.isEmpty()) {
        // Ours already; keep what it holds from other users' eyes as well.
        ::chmod(sharedName.constData(), 0700);
        return {shared, {}, {}};
    }

    QByteArray privateName = QFile::encodeName(shared + QStringLiteral("-XXXXXX"));
    if (::mkdtemp(privateName.data()) == nullptr)
        return {std::nullopt,
                {},
                reason + QStringLiteral("; ") +
                    systemError(QStringLiteral("cannot create a private folder in"), tempDir)};
    const QString privatePath = QFile::decodeName(privateName);
    return {privatePath, reason + QStringLiteral("; using the private folder ") + privatePath, {}};
}

} // namespace

CaptureFolder::Result CaptureFolder::get()
{
    QMutexLocker lock(&cacheMutex());
    std::optional<QString> &cached = cachedPath();
    if (cached && refusal(*cached).isEmpty())
        return {cached, {}, {}};
    Result result = resolve();
    // A failure is not cached: the temporary directory may appear later.
    cached = result.path;
    return result;
}

void CaptureFolder::reset()
{
    QMutexLocker lock(&cacheMutex());
    cachedPath().reset();
}

} // namespace platform
