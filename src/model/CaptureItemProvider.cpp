#include "model/CaptureItemProvider.h"

#include "model/CaptureItem.h"
#include "model/CapturedImageStorage.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/PngWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

CaptureItemProvider::CaptureItemProvider(const QUrl &fileURL)
{
    setUrls({fileURL});
}

void CaptureItemProvider::setOnConsumed(std::function<void()> onConsumed)
{
    QMutexLocker lock(&m_consumption->lock);
    m_consumption->onConsumed = std::move(onConsumed);
}

bool CaptureItemProvider::hasConsumed() const
{
    QMutexLocker lock(&m_consumption->lock);
    return m_consumption->hasConsumed;
}

QVariant CaptureItemProvider::retrieveData(const QString &mimeType, QMetaType preferredType) const
{
    markConsumed();
    return QMimeData::retrieveData(mimeType, preferredType);
}

void CaptureItemProvider::markConsumed() const
{
    {
        QMutexLocker lock(&m_consumption->lock);
        if (m_consumption->hasConsumed)
            return;
        m_consumption->hasConsumed = true;
    }
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr)
        return;
    QMetaObject::invokeMethod(
        app,
        [consumption = m_consumption] {
            std::function<void()> onConsumed;
            {
                QMutexLocker lock(&consumption->lock);
                onConsumed = consumption->onConsumed;
            }
            if (onConsumed)
                onConsumed();
        },
        Qt::QueuedConnection);
}

namespace {

// Puts a fresh copy of the capture at dragPath, in its drag folder: the movie, or a whole PNG of
// the picture (CapturedImageStorage::wholePng), so a receiver never gets a file it cannot read.
bool writeDragFile(const CaptureItem &item, const CapturedImageStorage *storage, QSize size,
                   const QString &dragPath, QString *error)
{
    if (!TemporaryFiles::claimDragFolder(QFileInfo(dragPath).path(), error))
        return false;
    // Never hand out the previous drag's file as if it were this one.
    QFile::remove(dragPath);
    if (item.isVideo()) {
        QFile movie;
        return item.openMovie(movie, error) &&
               TemporaryFiles::copyIntoPlace(movie, dragPath, true, error);
    }
    // Pixels still in memory (their PNG not yet written, or not writable) are encoded here, and
    // the PNG put in place if it is missing.
    if (const QImage held = storage ? storage->heldImage() : QImage(); !held.isNull()) {
        if (!platform::PngWriter::write(held, dragPath, error))
            return false;
        // Fails harmlessly when the background writer got there first.
        if (const std::optional<QUrl> png = storage->url())
            TemporaryFiles::copyIntoPlace(dragPath, png->toLocalFile(), false);
        return true;
    }
    const QByteArray png = storage ? storage->wholePng(size) : QByteArray();
    if (png.isEmpty()) {
        *error = QStringLiteral("its picture can no longer be read");
        return false;
    }
    QSaveFile file(dragPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(png) != png.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace

std::optional<QUrl> CaptureItem::makeDragFileURL() const
{
    QString error;
    const std::optional<QString> folder = TemporaryFiles::capturesFolder(&error);
    if (!folder) {
        qCCritical(Log::capture, "No drag file for %s: no captures folder (%s)",
                   qUtf8Printable(m_fileName), qUtf8Printable(error));
        return std::nullopt;
    }
    const QString dragPath =
        TemporaryFiles::dragFolder(*folder, m_fileName) + QLatin1Char('/') + m_fileName;
    if (!writeDragFile(*this, m_storage.get(), QSize(int(m_pixelWidth), int(m_pixelHeight)),
                       dragPath, &error)) {
        qCWarning(Log::capture, "Could not prepare the drag file of %s: %s",
                  qUtf8Printable(m_fileName), qUtf8Printable(error));
        QDir().rmdir(QFileInfo(dragPath).path());
        return std::nullopt;
    }
    return QUrl::fromLocalFile(dragPath);
}

QFuture<std::optional<QUrl>> CaptureItem::prepareDragFile() const
{
    return platform::runInBackground([item = *this] { return item.makeDragFileURL(); });
}

QMimeData *CaptureItem::makeItemProvider(const std::optional<QUrl> &dragFile,
                                         std::function<void()> onConsumed) const
{
    if (!dragFile)
        return new QMimeData;
    auto *provider = new CaptureItemProvider(*dragFile);
    provider->setSuggestedName(m_fileName);
    provider->setOnConsumed(std::move(onConsumed));
    return provider;
}
