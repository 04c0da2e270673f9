#include "model/TemporaryFiles.h"

#include "model/Log.h"
#include "platform/CaptureFolder.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>
#include <QThreadPool>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace TemporaryFiles {
namespace {

constexpr std::chrono::milliseconds defaultCleanupDelay = std::chrono::seconds(180);
std::atomic<qint64> cleanupDelayMs{defaultCleanupDelay.count()};

bool fail(QString *error, const QString &message)
{
    if (error != nullptr)
        *error = message;
    return false;
}

// Files held from deletion, how often each, and those whose deletion came due meanwhile.
struct Holds {
    QHash<QString, int> counts;
    QSet<QString> due;
};

Holds &holds()
{
    static Holds held;
    return held;
}

void removeFiles(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    // At exit the pool may no longer run what it is given.
    if (QCoreApplication::instance() == nullptr || QCoreApplication::closingDown()) {
        for (const QString &path : paths)
            QFile::remove(path);
        return;
    }
    QThreadPool::globalInstance()->start([paths] {
        for (const QString &path : paths)
            QFile::remove(path);
    });
}

// The paths that may go now; the held ones are put off until their release.
QStringList notHeld(const QStringList &paths)
{
    QStringList free;
    for (const QString &path : paths) {
        if (holds().counts.contains(path))
            holds().due.insert(path);
        else
            free << path;
    }
    return free;
}

} // namespace

std::optional<QString> capturesFolder(QString *error)
{
    const platform::CaptureFolder::Result folder = platform::CaptureFolder::get();
    if (!folder.notice.isEmpty())
        qCWarning(Log::capture, "Captures folder not used: %s", qUtf8Printable(folder.notice));
    if (!folder.path && error != nullptr)
        *error = folder.error;
    return folder.path;
}

bool copyIntoPlace(const QString &source, const QString &target, bool replace, QString *error)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly))
        return fail(error, input.errorString());
    const QFileInfo targetInfo(target);
    QTemporaryFile output(targetInfo.absolutePath() + QStringLiteral("/.") + targetInfo.fileName() +
                          QStringLiteral(".XXXXXX"));
    if (!output.open())
        return fail(error, output.errorString());
    constexpr qint64 chunkSize = 1 << 20;
    while (!input.atEnd()) {
        const QByteArray chunk = input.read(chunkSize);
        if (chunk.isEmpty() && input.error() != QFileDevice::NoError)
            return fail(error, input.errorString());
        if (output.write(chunk) != chunk.size())
            return fail(error, output.errorString());
    }
    if (!output.flush())
        return fail(error, output.errorString());

    const QByteArray from = QFile::encodeName(output.fileName());
    const QByteArray to = QFile::encodeName(target);
    // A hard link publishes the copy only where nothing is yet; the temporary
    // name is removed either way when output goes.
    const bool placed = replace ? ::rename(from.constData(), to.constData()) == 0
                                : ::link(from.constData(), to.constData()) == 0;
    if (!placed)
        return fail(error, QString::fromLocal8Bit(std::strerror(errno)));
    if (replace)
        output.setAutoRemove(false);
    return true;
}

void scheduleDeletion(const QStringList &paths)
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    // The timer waits on the main thread; the deletion itself runs on the
    // pool so that a slow file system never stalls the interface.
    QTimer::singleShot(cleanupDelay(), app, [paths] { removeFiles(notHeld(paths)); });
}

void holdFile(const QString &path)
{
    ++holds().counts[path];
}

void releaseFile(const QString &path)
{
    auto held = holds().counts.find(path);
    if (held == holds().counts.end() || --*held > 0)
        return;
    holds().counts.erase(held);
    if (holds().due.remove(path))
        removeFiles({path});
}

std::chrono::milliseconds cleanupDelay()
{
    return std::chrono::milliseconds(cleanupDelayMs.load());
}

void setCleanupDelay(std::chrono::milliseconds delay)
{
    cleanupDelayMs.store(delay.count());
}

} // namespace TemporaryFiles
