#include "model/CaptureItemProvider.h"

#include "model/CaptureItem.h"
#include "model/CapturedImageStorage.h"
#include "model/TemporaryFiles.h"
#include "platform/Log.h"
#include "platform/PngWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// Puts a fresh copy of the capture at dragPath, in its drag folder. A screenshot whose image is
// still in memory (its PNG not yet written, or not writable) is encoded from
// that image, and the PNG put in place if it is missing; otherwise the PNG
// written earlier is copied, when it still decodes to the picture (pngIsPicture).
bool prepareDragFile(const std::optional<QUrl> &videoURL, const QImage &heldImage,
                     const QString &pngPath, bool pngIsPicture, const QString &dragPath,
                     QString *error)
{
    if (!TemporaryFiles::claimDragFolder(QFileInfo(dragPath).path(), error))
        return false;
    // Never hand out the previous drag's file as if it were this one.
    QFile::remove(dragPath);
    if (videoURL)
        return TemporaryFiles::copyIntoPlace(videoURL->toLocalFile(), dragPath, true, error);
    if (!heldImage.isNull()) {
        if (!platform::PngWriter::write(heldImage, dragPath, error))
            return false;
        // Fails harmlessly when the background writer got there first.
        if (!pngPath.isEmpty())
            TemporaryFiles::copyIntoPlace(dragPath, pngPath, false);
        return true;
    }
    if (!pngPath.isEmpty() && pngIsPicture)
        return TemporaryFiles::copyIntoPlace(pngPath, dragPath, true, error);
    *error = QStringLiteral("its picture can no longer be read");
    return false;
}

} // namespace

std::optional<QUrl> CaptureItem::makeDragFileURL(QFuture<bool> pictureCheck) const
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
    const QImage heldImage = m_storage ? m_storage->heldImage() : QImage();
    // Known before the drag starts, since it must carry its file from its first moment: a file
    // damaged after its header would drop as nothing. Waited for only when the PNG is copied.
    const bool pngIsPicture = !m_videoURL && heldImage.isNull() && pictureCheck.result();
    if (!prepareDragFile(m_videoURL, heldImage, pngPath(), pngIsPicture, dragPath, &error)) {
        qCWarning(Log::capture, "Could not prepare the drag file of %s: %s",
                  qUtf8Printable(m_fileName), qUtf8Printable(error));
        QDir().rmdir(QFileInfo(dragPath).path());
        return std::nullopt;
    }
    return QUrl::fromLocalFile(dragPath);
}

QMimeData *CaptureItem::makeItemProvider(QFuture<bool> pictureCheck,
                                         std::function<void()> onConsumed) const
{
    const std::optional<QUrl> dragURL = makeDragFileURL(std::move(pictureCheck));
    if (!dragURL)
        return new QMimeData;
    auto *provider = new CaptureItemProvider(*dragURL);
    provider->setSuggestedName(m_fileName);
    provider->setOnConsumed(std::move(onConsumed));
    return provider;
}
