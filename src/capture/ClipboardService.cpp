#include "capture/ClipboardService.h"

#include "model/CaptureErrors.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/PngReader.h"

#include <QFile>
#include <QFileInfo>
#include <qcoro/qcorofuture.h>

namespace {

const QString pngType = QStringLiteral("image/png");
const QString tiffType = QStringLiteral("image/tiff");

// How long a copy right after the capture waits for the capture's own PNG write before it
// encodes the pixels itself.
constexpr std::chrono::milliseconds writeWaitLimit = std::chrono::seconds(5);

// Offers the screenshot: PNG bytes made before the offer, so a paste is served at once, and
// TIFF made on the background threads meanwhile from `pixels` (or, without them, from the PNG),
// which a paste that asks before it is done waits for. Throws copyFailed when there are no PNG
// bytes or the clipboard takes neither.
void offerImage(const std::shared_ptr<platform::Pasteboard> &pasteboard, QByteArray png,
                QImage pixels)
{
    if (png.isEmpty()) {
        qCCritical(Log::exportLog, "Failed to generate PNG data for clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("Could not generate PNG data"));
    }
    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    // Made from what the clipboard holds, never from the capture's file, which may go first.
    const QFuture<QByteArray> tiff = platform::runInBackground([encoder, png, pixels] {
        const platform::LowPriority lowered;
        return encoder->tiffData(pixels.isNull() ? platform::PngReader::decode(png) : pixels);
    });
    // Offered in one go, never cleared first: the clipboard is never ours and empty meanwhile.
    if (!pasteboard->offerProvidedData(
            {{pngType, [png] { return png; }}, {tiffType, [tiff] { return tiff.result(); }}})) {
        qCCritical(Log::exportLog, "NSPasteboard rejected image data");
        throw CaptureActionError::copyFailed(QStringLiteral("NSPasteboard write failed"));
    }
    qCInfo(Log::exportLog, "Successfully copied capture to clipboard");
}

// Offers the file as its URL; throws copyFailed when it is not there.
void offerFile(platform::Pasteboard &pasteboard, const QUrl &url)
{
    // A file URL to nothing would paste nothing: say so instead of claiming success.
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile()) {
        qCCritical(Log::exportLog, "Failed to copy video to clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("The recording file is missing"));
    }
    // The movie outlives the capture's clean-up for as long as a paste may still ask for it.
    // Held before the write, whose replacing the contents may release an earlier hold on the same
    // file. The write replaces everything at once: no clear before it.
    TemporaryFiles::holdFile(path);
    if (!pasteboard.writeFileURL(url, [path] { TemporaryFiles::releaseFile(path); }))
        qCCritical(Log::exportLog, "Failed to copy video to clipboard");
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
    // Held here, so that the pasteboard outlives the file read even if the service goes first.
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_pasteboard;

    if (const std::optional<QUrl> videoURL = item.videoURL()) {
        offerFile(*pasteboard, *videoURL);
        co_return;
    }

    // Pixels still in memory (right after the capture) make the TIFF without a decode.
    const QImage held = item.storedImage().pixels;
    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    // A whole PNG any program reads, made away from the main thread: right after the capture
    // its own PNG, whose write is waited for rather than made a second time beside it; later
    // that file, read as it is while it is known whole. Pixels that have no file to go to (no
    // captures folder) are encoded here. Started in a statement of its own: GCC 12 may destroy
    // temporaries of a co_await expression twice.
    // Nothing: a file that no longer gives the picture.
    QFuture<std::optional<QByteArray>> making =
        platform::runInBackground([item, encoder]() -> std::optional<QByteArray> {
            const CaptureItem::StoredImage stored =
                item.storedImage(QDeadlineTimer(writeWaitLimit));
            if (!stored.pixels.isNull() || stored.pngPath.isEmpty())
                return encoder->pngData(stored.pixels);
            QByteArray png = item.loadPng().result();
            if (png.isEmpty())
                return std::nullopt;
            return png;
        });
    std::optional<QByteArray> png = co_await making;
    if (!png) {
        qCCritical(Log::exportLog, "Could not copy the capture: its picture cannot be read");
        throw CaptureActionError::copyFailed(QStringLiteral("its picture can no longer be read"));
    }
    offerImage(pasteboard, std::move(*png), held);
}

QCoro::Task<void> ClipboardService::copyImage(QImage image)
{
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_pasteboard;
    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    QFuture<QByteArray> encoding =
        platform::runInBackground([encoder, image] { return encoder->pngData(image); });
    QByteArray png = co_await encoding;
    offerImage(pasteboard, std::move(png), image);
}

QCoro::Task<void> ClipboardService::copyFile(QUrl url)
{
    offerFile(*m_pasteboard, url);
    co_return;
}
