#include "model/CapturedImageStorage.h"

#include "model/FreedMemory.h"
#include "model/PosterFile.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/PngReader.h"
#include "platform/PngWriter.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QThread>
#include <QtEndian>
#include <climits>

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
        QThread::currentThread()->setPriority(QThread::LowPriority);
        QMutexLocker writing(&slot->writing);
        QString failure;
        if (isSuperseded(*slot, generation)) {
            // A newer storage writes this file; this one keeps its copy.
        } else if (storage->m_format == FileFormat::poster
                       ? PosterFile::write(pending, path, &failure)
                       : platform::PngWriter::write(pending, path, &failure)) {
            {
                QMutexLocker lock(&storage->m_lock);
                storage->m_image = QImage();
            }
            pending = QImage();
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
        QThread::currentThread()->setPriority(QThread::NormalPriority);
    });
    return storage;
}

QImage CapturedImageStorage::image() const
{
    {
        QMutexLocker lock(&m_lock);
        if (!m_image.isNull())
            return m_image;
    }
    // Read without the lock: the file is complete once the pixels are dropped, and a decode on
    // a background thread must not hold up the main thread asking for the held pixels meanwhile.
    if (!m_url)
        return {};
    // Not kept: the point of the storage is that the pixels live on disk. Read without Qt's
    // size limit, which the capture of a very large display exceeds: the file is our own.
    if (m_format == FileFormat::poster)
        return PosterFile::read(m_url->toLocalFile());
    return platform::PngReader::read(m_url->toLocalFile());
}

std::optional<QSize> CapturedImageStorage::fileImageSize() const
{
    if (!m_url)
        return std::nullopt;
    QFile file(m_url->toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray header = file.read(24);
    if (m_format == FileFormat::poster)
        return PosterFile::imageSize(header);
    // The signature, then the first chunk, which must be the header with the width and height.
    static const QByteArray pngStart("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    if (header.size() < 24 || !header.startsWith(pngStart))
        return std::nullopt;
    const auto number = [&header](int at) {
        return qFromBigEndian<quint32>(header.constData() + at);
    };
    const quint32 width = number(16);
    const quint32 height = number(20);
    if (width == 0 || height == 0 || width > quint32(INT_MAX) || height > quint32(INT_MAX))
        return std::nullopt;
    return QSize(int(width), int(height));
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
