#include "platform/PrivateFolder.h"

#include "platform/TemporaryDirectory.h"

#include <QFile>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

QString systemError(const QString &what, const QString &path)
{
    return QStringLiteral("%1 %2: %3")
        .arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

QString PrivateFolder::refusal(const QString &path)
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

PrivateFolder::Result PrivateFolder::claim(const QString &name)
{
    const QString tempDir = TemporaryDirectory::path();
    if (tempDir.isEmpty())
        return {std::nullopt, {}, QStringLiteral("the temporary directory does not exist")};

    const QString shared = tempDir + QLatin1Char('/') + name;
    const Result exact = claimExactly(shared);
    struct stat info {};
    // Nothing there that could be refused: the folder could not be made at all.
    if (exact.path || ::lstat(QFile::encodeName(shared).constData(), &info) != 0)
        return exact;
    const QString &reason = exact.error;

    QByteArray freshName = QFile::encodeName(shared + QStringLiteral("-XXXXXX"));
    if (::mkdtemp(freshName.data()) == nullptr)
        return {std::nullopt,
                {},
                reason + QStringLiteral("; ") +
                    systemError(QStringLiteral("cannot create a private folder in"), tempDir)};
    const QString freshPath = QFile::decodeName(freshName);
    return {freshPath, reason + QStringLiteral("; using the private folder ") + freshPath, {}};
}

PrivateFolder::Result PrivateFolder::claimExactly(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) == 0) {
        // The umask may have taken bits away, never added any; make it exact.
        ::chmod(encoded.constData(), 0700);
        return {path, {}, {}};
    }
    if (errno != EEXIST)
        return {std::nullopt, {}, systemError(QStringLiteral("cannot create"), path)};
    const QString reason = refusal(path);
    if (!reason.isEmpty())
        return {std::nullopt, {}, reason};
    // Ours already; keep what it holds from other users' eyes as well.
    ::chmod(encoded.constData(), 0700);
    return {path, {}, {}};
}

bool PrivateFolder::isFreshFolderName(const QString &fileName, const QString &name)
{
    static const QRegularExpression suffix(QStringLiteral("^-[A-Za-z0-9]{6}$"));
    return fileName.startsWith(name) && suffix.match(fileName.mid(name.size())).hasMatch();
}

} // namespace platform
