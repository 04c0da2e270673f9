#include "model/CapturedImageStorage.h"

#include "model/FreedMemory.h"
#include "model/PosterFile.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/PngEncoder.h"
#include "platform/PngReader.h"
#include "platform/PngWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <atomic>

namespace {

// The writes to one path land in the order their storages were made. An
// edited capture's storage replaces the file of the storage it supersedes;
// were the older write to finish last, the edit would be lost on disk.
struct PathSlot {
    QMutex writing;
    quint64 latest = 0;
};

QMutex &slotsMutex()
{
    static QMutex mutex;
    return mutex;
}

std::pair<std::shared_ptr<PathSlot>, quint64> claimPath(const QString &path)
{
    static QHash<QString, std::shared_ptr<PathSlot>> pathSlots;
    QMutexLocker lock(&slotsMutex());
    std::shared_ptr<PathSlot> &slot = pathSlots[path];
    if (!slot)
        slot = std::make_shared<PathSlot>();
    return {slot, ++slot->latest};
}

bool isSuperseded(const PathSlot &slot, quint64 generation)
{
    QMutexLocker lock(&slotsMutex());
    return slot.latest != generation;
}

// How long the pixels stay in memory after their file is written, for an action begun with the
// capture (the automatic copy) that would otherwise decode the file it just missed.
std::atomic<std::chrono::milliseconds::rep> recentPixelsKept = 1500;

} // namespace

// The storage belongs to the main thread; when the background writer holds
// the last reference, the deletion is handed back there.
struct CapturedImageStorage::Deleter {
    void operator()(CapturedImageStorage *storage) const
    {
        QCoreApplication *app = QCoreApplication::instance();
        if (app == nullptr || QThread::currentThread() == app->thread()) {
            delete storage;
            return;
        }
        QMetaObject::invokeMethod(
            app, [storage] { delete storage; }, Qt::QueuedConnection);
    }
};

std::shared_ptr<CapturedImageStorage>
CapturedImageStorage::create(const QImage &image, const QString &fileName, FileFormat format)
{
    keepLargeBuffersMapped();
    std::shared_ptr<CapturedImageStorage> storage(new CapturedImageStorage(image, format),
                                                  Deleter());
    QString error;
    const std::optional<QString> folder = TemporaryFiles::capturesFolder(&error);
    if (!folder) {
        qCCritical(Log::capture, "No captures folder (%s); keeping the image of %s in memory",
                   qUtf8Printable(error), qUtf8Printable(fileName));
        return storage;
    }
    const QString path = *folder + QLatin1Char('/') + fileName;
    storage->m_url = QUrl::fromLocalFile(path);
    if (image.isNull())
        return storage;

    const auto [slot, generation] = claimPath(path);
    storage->m_writing = true;
    platform::runInBackground([storage, pending = image, path, slot, generation]() mutable {
        QMutexLocker writing(&slot->writing);
        QString failure;
        if (isSuperseded(*slot, generation)) {
            // A newer storage writes this file; this one keeps its copy.
        } else if (storage->m_format == FileFormat::poster
                       ? PosterFile::write(pending, path, &failure)
                       : platform::PngWriter::write(pending, path, &failure)) {
            // Taken before the pixels go: whoever finds them gone finds the file known whole.
            const std::optional<FileVersion> written =
                storage->m_format == FileFormat::png ? FileVersion::of(path) : std::nullopt;
            {
                QMutexLocker lock(&storage->m_lock);
                storage->m_recent = storage->m_image;
                storage->m_image = QImage();
                storage->m_judgedVersion = written;
                storage->m_judged = written ? Verdict::whole : Verdict::unknown;
            }
            pending = QImage();
            forgetRecentPixelsSoon(storage);
        } else {
            qCWarning(Log::capture, "Could not write %s (%s); keeping the image in memory",
                      qUtf8Printable(path), qUtf8Printable(failure));
        }
        {
            QMutexLocker lock(&storage->m_lock);
            storage->m_writing = false;
        }
        storage->m_writeEnded.wakeAll();
        // After the wake: whoever waits for the file (a paste) need not wait for the trim.
        returnFreedMemory();
    });
    return storage;
}

QImage CapturedImageStorage::image(QSize size) const
{
    {
        QMutexLocker lock(&m_lock);
        if (!m_image.isNull())
            return m_image.size() == size ? m_image : QImage();
    }
    // Read without the lock: the file is complete once the pixels are dropped, and a decode on
    // a background thread must not hold up the main thread asking for the held pixels meanwhile.
    if (!m_url)
        return {};
    // Not kept: the point of the storage is that the pixels live on disk. Read without Qt's
    // size limit, which the capture of a very large display exceeds: the file is our own.
    if (m_format == FileFormat::poster)
        return PosterFile::read(m_url->toLocalFile(), size);
    return platform::PngReader::read(m_url->toLocalFile(), size);
}

std::chrono::milliseconds CapturedImageStorage::setRecentPixelsKept(std::chrono::milliseconds kept)
{
    return std::chrono::milliseconds(recentPixelsKept.exchange(kept.count()));
}

void CapturedImageStorage::forgetRecentPixelsSoon(
    const std::shared_ptr<CapturedImageStorage> &storage)
{
    const std::chrono::milliseconds keptFor(recentPixelsKept.load());
    const auto forget = [weak = std::weak_ptr(storage)] {
        if (const std::shared_ptr<CapturedImageStorage> kept = weak.lock()) {
            QMutexLocker lock(&kept->m_lock);
            kept->m_recent = QImage();
        }
    };
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) {
        forget();
        return;
    }
    QMetaObject::invokeMethod(
        app, [app, forget, keptFor] { QTimer::singleShot(keptFor, app, forget); },
        Qt::QueuedConnection);
}

QImage CapturedImageStorage::recentPixels() const
{
    QMutexLocker lock(&m_lock);
    return m_image.isNull() ? m_recent : m_image;
}

QImage CapturedImageStorage::heldImage() const
{
    QMutexLocker lock(&m_lock);
    return m_image;
}

bool CapturedImageStorage::waitForWrite(QDeadlineTimer deadline) const
{
    QMutexLocker lock(&m_lock);
    while (m_writing) {
        if (!m_writeEnded.wait(&m_lock, deadline))
            return !m_writing;
    }
    return true;
}

void CapturedImageStorage::noteVerdict(const std::optional<FileVersion> &version,
                                       Verdict verdict) const
{
    if (!version || m_format != FileFormat::png)
        return;
    QMutexLocker lock(&m_lock);
    m_judgedVersion = version;
    m_judged = verdict;
}

CapturedImageStorage::Verdict CapturedImageStorage::verdict() const
{
    if (!m_url || m_format != FileFormat::png)
        return Verdict::unknown;
    const std::optional<FileVersion> now = FileVersion::of(m_url->toLocalFile());
    if (!now)
        return Verdict::broken;
    QMutexLocker lock(&m_lock);
    return m_judgedVersion == now ? m_judged : Verdict::unknown;
}

bool CapturedImageStorage::knownBroken(const std::optional<FileVersion> &version) const
{
    QMutexLocker lock(&m_lock);
    return !version || (m_judgedVersion == version && m_judged == Verdict::broken);
}

QImage CapturedImageStorage::decodeFile(QSize size) const
{
    if (!m_url)
        return {};
    const QString path = m_url->toLocalFile();
    if (m_format == FileFormat::poster)
        return PosterFile::read(path, size);
    const std::optional<FileVersion> before = FileVersion::of(path);
    // A version already found broken is not decoded again: a damaged pin's card asks often.
    if (knownBroken(before))
        return {};
    // Decoded without Qt's size limit, which the capture of a very large display exceeds: the
    // file is our own; one whose header claims another size is refused before its pixels are
    // made, one larger than a PNG of that size can be before it is read.
    const QByteArray bytes = platform::PngReader::fileBytes(path, size);
    const QImage image = platform::PngReader::decode(bytes, size);
    const Verdict found = image.isNull()                        ? Verdict::broken
                          : platform::PngReader::isWhole(bytes) ? Verdict::whole
                                                                : Verdict::decodesNotWhole;
    // A file changed while it was read says nothing of either version.
    if (FileVersion::of(path) == before)
        noteVerdict(before, found);
    return image;
}

QFuture<QImage> CapturedImageStorage::decodedImage(QSize size) const
{
    QThreadPool *threads = platform::backgroundThreads();
    QMutexLocker lock(&m_lock);
    if (!m_image.isNull())
        return QtFuture::makeReadyFuture(m_image.size() == size ? m_image : QImage());
    if (m_decoding.isValid() && m_decodingSize == size)
        return m_decoding;
    if (!m_url)
        return QtFuture::makeReadyFuture(QImage());
    if (threads == nullptr) {
        lock.unlock();
        return QtFuture::makeReadyFuture(decodeFile(size));
    }
    // A job of the pool, not a promise: a background job that waits for it (a paste's PNG, a
    // drag's file) runs it itself when no thread has taken it yet, so a pool of waiters cannot
    // stall. Started under the lock, which the job needs at its end, after the future is kept.
    const quint64 generation = ++m_decodeGeneration;
    m_decodingSize = size;
    m_decoding = QtConcurrent::run(threads, [self = shared_from_this(), generation, size] {
        QImage image = self->decodeFile(size);
        // The pixels live on only in the futures of those who asked for them.
        QMutexLocker lock(&self->m_lock);
        if (self->m_decodeGeneration == generation)
            self->m_decoding = QFuture<QImage>();
        return image;
    });
    return m_decoding;
}

QByteArray CapturedImageStorage::wholePng(QSize size) const
{
    // Right after a capture its PNG is being written: that is this very encoding, already under
    // way, so it is waited for rather than made a second time beside it; a write held up behind
    // other work is not waited for without end.
    waitForWrite(QDeadlineTimer(std::chrono::seconds(5)));
    if (const QImage held = heldImage(); !held.isNull())
        return held.size() == size ? platform::PngEncoder::encode(held) : QByteArray();
    if (!m_url || m_format != FileFormat::png)
        return {};
    const QString path = m_url->toLocalFile();
    const auto readWhole = [&path, size]() -> std::optional<QByteArray> {
        const std::optional<FileVersion> before = FileVersion::of(path);
        if (!before)
            return std::nullopt;
        QByteArray bytes = platform::PngReader::fileBytes(path, size);
        if (FileVersion::of(path) != before)
            return std::nullopt;
        return bytes;
    };
    // The file this storage wrote, or one found whole since, is passed on without a decode. The
    // verdict is asked after the read too: the bytes are of the version it speaks of.
    const auto knownWhole = [&]() -> std::optional<QByteArray> {
        if (verdict() != Verdict::whole)
            return std::nullopt;
        std::optional<QByteArray> bytes = readWhole();
        if (!bytes || bytes->isEmpty() || verdict() != Verdict::whole)
            return std::nullopt;
        return bytes;
    };
    if (std::optional<QByteArray> bytes = knownWhole())
        return *bytes;
    const QImage image = decodedImage(size).result();
    if (image.isNull())
        return {};
    if (std::optional<QByteArray> bytes = knownWhole())
        return *bytes;
    // Decodes here but other readers would refuse it (its end cut, say): what leaves is made anew.
    return platform::PngEncoder::encode(image);
}
