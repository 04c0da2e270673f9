#include "capture/ClipboardService.h"

#include "model/CaptureErrors.h"
#include "model/Log.h"
#include "platform/Pasteboard.h"

#include <QFileInfo>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <qcoro/qcorofuture.h>

namespace {

struct ImageData {
    QByteArray png;
    QByteArray tiff;
};

const QString pngType = QStringLiteral("image/png");
const QString tiffType = QStringLiteral("image/tiff");

// Reading the image may decode the capture's PNG from disk, so it happens here too, away from
// the interface.
ImageData encode(const CaptureItem &item, const platform::Pasteboard &pasteboard)
{
    ImageData data;
    const QImage image = item.image();
    if (image.isNull())
        return data;
    data.png = pasteboard.pngData(image);
    if (!data.png.isEmpty())
        data.tiff = pasteboard.tiffData(image);
    return data;
}

} // namespace

ClipboardService::ClipboardService(std::shared_ptr<platform::Pasteboard> pasteboard)
    : m_pasteboard(std::move(pasteboard))
{
}

QCoro::Task<void> ClipboardService::copy(CaptureItem item)
{
    qCInfo(Log::exportLog, "Copying capture item %s to clipboard",
           qUtf8Printable(item.id().toString(QUuid::WithoutBraces).toUpper()));
    // Held here, so that the pasteboard outlives the encoding even if the service goes first.
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_pasteboard;

    if (const std::optional<QUrl> videoURL = item.videoURL()) {
        // A file URL to nothing would paste nothing: say so instead of claiming success.
        if (!QFileInfo(videoURL->toLocalFile()).isFile()) {
            qCCritical(Log::exportLog, "Failed to copy video to clipboard");
            throw CaptureActionError::copyFailed(QStringLiteral("The recording file is missing"));
        }
        pasteboard->clearContents();
        if (!pasteboard->writeFileURL(*videoURL))
            qCCritical(Log::exportLog, "Failed to copy video to clipboard");
        co_return;
    }

    // Started in a statement of its own: GCC 12 may destroy temporaries of a co_await
    // expression twice.
    QFuture<ImageData> encoding = QtConcurrent::run(
        QThreadPool::globalInstance(), [item, pasteboard] { return encode(item, *pasteboard); });
    const ImageData data = co_await encoding;
    if (data.png.isEmpty()) {
        qCCritical(Log::exportLog, "Failed to generate PNG data for clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("Could not generate PNG data"));
    }

    pasteboard->clearContents();
    const bool pngAccepted = pasteboard->setData(data.png, pngType);
    const bool tiffAccepted = !data.tiff.isEmpty() && pasteboard->setData(data.tiff, tiffType);
    if (!pngAccepted && !tiffAccepted) {
        qCCritical(Log::exportLog, "NSPasteboard rejected image data");
        throw CaptureActionError::copyFailed(QStringLiteral("NSPasteboard write failed"));
    }
    qCInfo(Log::exportLog, "Successfully copied capture to clipboard");
}
