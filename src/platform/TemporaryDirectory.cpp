#include "platform/TemporaryDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace platform {
namespace {

QMutex &systemFolderMutex()
{
    static QMutex mutex;
    return mutex;
}

QString &systemFolderOverride()
{
    static QString folder;
    return folder;
}

// The folder's absolute path without links, or empty when it is not an existing folder.
QString existingFolder(const QString &path)
{
    if (path.isEmpty())
        return {};
    const QFileInfo info(QDir::cleanPath(path));
    if (!info.isDir())
        return {};
    return info.canonicalFilePath();
}

} // namespace

QString TemporaryDirectory::path()
{
    // QDir::tempPath() answers an empty path, or a file's, for a $TMPDIR that names no folder.
    if (const QString fromEnvironment = existingFolder(qEnvironmentVariable("TMPDIR"));
        !fromEnvironment.isEmpty())
        return fromEnvironment;
    QMutexLocker lock(&systemFolderMutex());
    const QString system =
        systemFolderOverride().isEmpty() ? QStringLiteral("/tmp") : systemFolderOverride();
    // Even a missing system folder is named as it is: whatever is written there then fails
    // with a path the user can make sense of.
    const QString existing = existingFolder(system);
    return existing.isEmpty() ? QDir::cleanPath(system) : existing;
}

void TemporaryDirectory::setSystemFolder(const QString &folder)
{
    QMutexLocker lock(&systemFolderMutex());
    systemFolderOverride() = folder;
}

} // namespace platform
