#include "pins/PinActions.h"

#include "capture/FeedbackService.h"
#include "model/TemporaryFiles.h"
#include "platform/ImageWriter.h"
#include "platform/Pasteboard.h"
#include "platform/SavePanel.h"
#include "platform/UrlOpener.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString pngType = QStringLiteral("image/png");

} // namespace

bool PinActions::copy(const PinItem &item)
{
    platform::Pasteboard *pasteboard = m_services.pasteboard.get();
    if (!pasteboard)
        return false;
    pasteboard->clearContents();
    bool offered = false;
    if (item.isImage()) {
        const QImage image = item.bitmap();
        if (!image.isNull()) {
            const QByteArray png = pasteboard->pngData(image);
            offered = !png.isEmpty() && pasteboard->setData(png, pngType);
            const QByteArray tiff = pasteboard->tiffData(image);
            if (!tiff.isEmpty())
                offered = pasteboard->setData(tiff, QStringLiteral("image/tiff")) || offered;
        }
    } else if (const std::optional<QUrl> url = item.fileURL()) {
        offered = pasteboard->writeFileURL(*url);
    }
    if (m_services.feedback)
        m_services.feedback->playCopied(true, true);
    return offered;
}

QCoro::Task<void> PinActions::saveAs(PinItemPtr item, QWidget *window)
{
    if (!item || !m_services.savePanel)
        co_return;
    // The services outlive no caller that drops this task, so they are held here.
    const PinActionServices services = m_services;
    platform::SavePanelOptions options;
    options.nameFieldStringValue = item->exportFileName();
    std::optional<QUrl> destination;
    try {
        destination = co_await services.savePanel->run(options, window);
    } catch (...) {
        co_return;
    }
    if (!destination || !destination->isLocalFile())
        co_return;
    const QString path = destination->toLocalFile();
    if (item->isImage()) {
        const QImage image = item->bitmap();
        if (!image.isNull() && services.imageWriter)
            services.imageWriter->write(image, path, pngType);
        co_return;
    }
    if (const std::optional<QUrl> source = item->fileURL(); source && source->isLocalFile()) {
        if (QFileInfo(source->toLocalFile()).canonicalFilePath() !=
            QFileInfo(path).canonicalFilePath())
            TemporaryFiles::copyIntoPlace(source->toLocalFile(), path, true);
    }
}

bool PinActions::open(const PinItem &item)
{
    if (!m_services.urlOpener)
        return false;
    if (!item.isImage()) {
        const std::optional<QUrl> url = item.fileURL();
        return url && m_services.urlOpener->openUrl(*url);
    }
    const QImage image = item.bitmap();
    if (image.isNull() || !m_services.imageWriter)
        return false;
    const QString folder =
        m_services.openFolder.isEmpty() ? QDir::tempPath() : m_services.openFolder;
    const QString path = QDir(folder).filePath(item.exportFileName());
    if (!m_services.imageWriter->write(image, path, pngType).ok())
        return false;
    return m_services.urlOpener->openUrl(QUrl::fromLocalFile(path));
}

bool PinActions::reveal(const PinItem &item)
{
    const std::optional<QUrl> url = item.fileURL();
    if (!url || !url->isLocalFile() || !m_services.urlOpener)
        return false;
    return m_services.urlOpener->openUrl(
        QUrl::fromLocalFile(QFileInfo(url->toLocalFile()).absolutePath()));
}
