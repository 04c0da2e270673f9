#include "model/TemporaryFiles.h"

#include "platform/Background.h"
#include "platform/CaptureFolder.h"
#include "platform/Log.h"
#include "platform/PrivateFiles.h"
#include "platform/PrivateFolder.h"
#include "platform/TemporaryDirectory.h"
#include "platform/TemporaryName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryFile>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace TemporaryFiles {
namespace {

constexpr std::chrono::milliseconds defaultCleanupDelay = std::chrono::seconds(180);
std::atomic<qint64> cleanupDelayMs{defaultCleanupDelay.count()};

// Files whose deletion is due, by a timer or at quit.
struct PendingDeletions {
    QMutex mutex;
    QSet<QString> paths;
};

PendingDeletions &pending()
{
    static PendingDeletions deletions;
    return deletions;
}

void addPending(const QStringList &paths)
{
    QMutexLocker lock(&pending().mutex);
    for (const QString &path : paths)
        pending().paths.insert(path);
}

// Those of paths still pending, which stop being pending: a file is deleted once.
QStringList takePending(const QStringList &paths)
{
    QMutexLocker lock(&pending().mutex);
    QStringList taken;
    for (const QString &path : paths) {
        if (pending().paths.remove(path))
            taken << path;
    }
    return taken;
}

bool isFolder(const QString &path)
{
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Files first, then the folders they emptied: the paths come in no particular order.
void removeFiles(const QStringList &paths)
{
    QStringList folders;
    for (const QString &path : paths) {
        if (isFolder(path))
            folders << path;
        else
            QFile::remove(path);
    }
    for (const QString &folder : std::as_const(folders))
        ::rmdir(QFile::encodeName(folder).constData());
}

// When the entry at path (never followed through a link) last changed, if it is this user's
// and of the given type.
std::optional<FileTime> modifiedBy(const QString &path, mode_t type)
{
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 ||
        (info.st_mode & S_IFMT) != type || info.st_uid != ::getuid())
        return std::nullopt;
    return FileTime(std::chrono::duration_cast<FileTime::duration>(
        std::chrono::seconds(info.st_mtim.tv_sec) +
        std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
}

// Whether the file at path is this user's and was left by an earlier run: changed before
// `before`, or, without that moment, before `cutoff` and only when it is an interrupted write.
bool leftBehind(const QString &path, FileTime cutoff, std::optional<FileTime> before)
{
    const std::optional<FileTime> changed = modifiedBy(path, S_IFREG);
    if (!changed)
        return false;
    if (before)
        return *changed < *before;
    return *changed < cutoff;
}

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

// Off the main thread while the program runs; at exit the pool may no longer run what it is
// given, so then at once.
void removeFilesSoon(const QStringList &paths)
{
    if (paths.isEmpty())
        return;
    if (QCoreApplication::instance() == nullptr || QCoreApplication::closingDown()) {
        removeFiles(paths);
        return;
    }
    platform::runInBackground([paths] { removeFiles(paths); });
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

// What an earlier run left in one drag folder, by the rule of the captures folder around it,
// and the folder once it is empty and was last changed by that run. Answers how many went.
int removeLeftDragFolder(const QString &folder, FileTime cutoff, std::optional<FileTime> before)
{
    const std::optional<FileTime> changed = modifiedBy(folder, S_IFDIR);
    if (!changed)
        return 0;
    int removed = 0;
    const QDir dir(folder);
    for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        const QString path = dir.filePath(name);
        if ((before || platform::TemporaryName::matches(name)) &&
            leftBehind(path, cutoff, before) && QFile::remove(path))
            ++removed;
    }
    if (*changed < before.value_or(cutoff) && ::rmdir(QFile::encodeName(folder).constData()) == 0)
        ++removed;
    return removed;
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

QString dragFolder(const QString &capturesFolder, const QString &fileName)
{
    return capturesFolder + QStringLiteral("/Drag_") + fileName;
}

bool claimDragFolder(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    // An older drag copy, or anything else, under the folder's name goes; a link is removed
    // itself, never followed.
    struct stat info {};
    if (::lstat(name.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
        ::unlink(name.constData());
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return fail(error, QString::fromLocal8Bit(std::strerror(errno)));
    if (const QString refusal = platform::PrivateFolder::refusal(path); !refusal.isEmpty())
        return fail(error, refusal);
    return true;
}

bool copyIntoPlace(const QString &source, const QString &target, bool replace, QString *error)
{
    QFile input;
    QString refused;
    if (!platform::openRegularFile(input, source, &refused))
        return fail(error, refused);
    return copyIntoPlace(input, target, replace, error);
}

bool copyIntoPlace(QFile &input, const QString &target, bool replace, QString *error)
{
    QTemporaryFile output(platform::TemporaryName::templateFor(target));
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
    addPending(paths);
    // The timer waits on the main thread; the deletion itself runs on the
    // pool so that a slow file system never stalls the interface.
    QTimer::singleShot(cleanupDelay(), app, [paths] {
        // A held file stays pending: its release deletes it, and so does the end of the program.
        removeFilesSoon(takePending(notHeld(paths)));
    });
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
        removeFilesSoon(takePending({path}));
}

void deleteAtQuit(const QStringList &paths)
{
    addPending(paths);
}

void deletePendingNow()
{
    QStringList all;
    {
        QMutexLocker lock(&pending().mutex);
        all = QStringList(pending().paths.cbegin(), pending().paths.cend());
        pending().paths.clear();
    }
    removeFiles(all);
}

FileTime fileClockNow()
{
    // File systems stamp files with the coarse clock, which may lag the precise one by a
    // tick: a file written right after a precise reading could seem older than it.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return FileTime(std::chrono::duration_cast<FileTime::duration>(
        std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec)));
}

bool isRecordingFileName(const QString &fileName)
{
    // As ScreenRecordingService names them: a UUID in capitals.
    static const QRegularExpression pattern(
        QStringLiteral("^\\.?Recording-[0-9A-F]{8}(-[0-9A-F]{4}){3}-[0-9A-F]{12}"
                       "\\.(mp4|mov|gif|gif\\.part)(\\.[A-Za-z0-9]{6})?$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    // A leading dot and a six-letter ending go together: the temporary name of a write.
    return match.hasMatch() && fileName.startsWith(u'.') == !match.captured(3).isEmpty();
}

int removeLeftovers(std::chrono::seconds minimumAge, std::optional<FileTime> aloneSince)
{
    const std::optional<QString> current = capturesFolder();
    const QString tempDir = platform::TemporaryDirectory::path();
    const FileTime cutoff = std::chrono::system_clock::now() - minimumAge;
    QStringList folders{tempDir + QLatin1Char('/') + platform::CaptureFolder::name};
    for (const QString &name :
         QDir(tempDir).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot)) {
        if (platform::PrivateFolder::isFreshFolderName(name, platform::CaptureFolder::name))
            folders << tempDir + QLatin1Char('/') + name;
    }

    int removed = 0;
    for (const QString &folder : std::as_const(folders)) {
        // Only folders of this user's that nobody else can write to: what they hold is ours.
        if (!platform::PrivateFolder::refusal(folder).isEmpty())
            continue;
        const std::optional<FileTime> folderChanged = modifiedBy(folder, S_IFDIR);
        const QDir dir(folder);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            // With another instance perhaps running, only what is plainly interrupted; a write
            // still going on there keeps changing its file.
            if (!aloneSince && !platform::TemporaryName::matches(name))
                continue;
            const QString path = dir.filePath(name);
            if (leftBehind(path, cutoff, aloneSince) && QFile::remove(path))
                ++removed;
        }
        for (const QString &name :
             dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot)) {
            if (name.startsWith(QLatin1String("Drag_")))
                removed += removeLeftDragFolder(dir.filePath(name), cutoff, aloneSince);
        }
        const bool fresh = QFileInfo(folder).fileName() != platform::CaptureFolder::name;
        // rmdir leaves a folder that holds anything; a folder in use by an instance running
        // now is either not empty or was changed lately.
        if (fresh && folder != current && folderChanged &&
            (aloneSince || *folderChanged < cutoff) &&
            ::rmdir(QFile::encodeName(folder).constData()) == 0)
            ++removed;
    }
    // Recordings are written straight into the temporary directory, which everyone shares:
    // only names of ours, of this user's, and only when no instance of ours may be writing.
    if (aloneSince) {
        const QDir dir(tempDir);
        for (const QString &name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
            const QString path = dir.filePath(name);
            if (isRecordingFileName(name) && leftBehind(path, cutoff, aloneSince) &&
                QFile::remove(path))
                ++removed;
        }
    }
    if (removed > 0)
        qCInfo(Log::capture, "Removed %d temporary files left behind by an earlier run", removed);
    return removed;
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
