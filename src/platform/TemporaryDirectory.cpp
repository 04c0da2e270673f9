#include "platform/TemporaryDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QMutex>

namespace platform {
namespace {

// The folder standing in for /tmp, when a test set one.
struct SystemFolder {
    QMutex mutex;
    QString path;
};

SystemFolder &systemFolder()
{
    static SystemFolder folder;
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
    QMutexLocker lock(&systemFolder().mutex);
    const QString system =
        systemFolder().path.isEmpty() ? QStringLiteral("/tmp") : systemFolder().path;
    // Even a missing system folder is named as it is: whatever is written there then fails
    // with a path the user can make sense of.
    const QString existing = existingFolder(system);
    return existing.isEmpty() ? QDir::cleanPath(system) : existing;
}

void TemporaryDirectory::setSystemFolder(const QString &folder)
{
    QMutexLocker lock(&systemFolder().mutex);
    systemFolder().path = folder;
}

} // namespace platform
