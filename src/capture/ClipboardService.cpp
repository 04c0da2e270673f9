#include "capture/ClipboardService.h"

#include "model/CaptureErrors.h"
#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "platform/PngReader.h"

#include <QFile>
#include <QFileInfo>
#include <QThreadPool>
#include <qcoro/qcorofuture.h>

namespace {

const QString pngType = QStringLiteral("image/png");
const QString tiffType = QStringLiteral("image/tiff");

// How long a copy right after the capture waits for the capture's own PNG write before it
// encodes the pixels itself.
constexpr std::chrono::milliseconds writeWaitLimit = std::chrono::seconds(5);

// What a screenshot's copy offers, both made before the clipboard is taken, so that a paste is
// answered at once whatever it asks for.
struct ImageOffer {
    QByteArray png;
    QByteArray tiff;
};

// The TIFF of `pixels`, queued on the background threads at once: behind a PNG being written,
// which keeps the threads it has, it starts on the first that comes free, and its strips on the
// next ones.
QFuture<QByteArray> queueTiff(const std::shared_ptr<const platform::PasteboardEncoder> &encoder,
                              const QImage &pixels)
{
    return platform::runInBackground([encoder, pixels] { return encoder->tiffData(pixels); });
}

// The queued TIFF's bytes, waited for on a background thread, its place in the pool lent
// meanwhile to the TIFF's own strips.
QByteArray waitForTiff(QFuture<QByteArray> tiff)
{
    QThreadPool *threads = platform::backgroundThreads();
    if (threads != nullptr)
        threads->releaseThread();
    tiff.waitForFinished();
    if (threads != nullptr)
        threads->reserveThread();
    return tiff.result();
}

// Offers the screenshot's PNG and, when there is one, its TIFF, in one change of the clipboard.
// Throws copyFailed when there are no PNG bytes or the clipboard takes neither.
void offerImage(const std::shared_ptr<platform::Pasteboard> &pasteboard, const ImageOffer &offer)
{
    if (offer.png.isEmpty()) {
        qCCritical(Log::exportLog, "Failed to generate PNG data for clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("Could not generate PNG data"));
    }
    QList<platform::Pasteboard::ProvidedData> types = {
        {pngType, [png = offer.png] { return png; }}};
    if (!offer.tiff.isEmpty())
        types.append({tiffType, [tiff = offer.tiff] { return tiff; }});
    // Offered in one go, never cleared first: the clipboard is never ours and empty meanwhile.
    if (!pasteboard->offerProvidedData(std::move(types))) {
        qCCritical(Log::exportLog, "NSPasteboard rejected image data");
        throw CaptureActionError::copyFailed(QStringLiteral("the clipboard did not take it"));
    }
    qCInfo(Log::exportLog, "Successfully copied capture to clipboard");
}

// Offers the file as its URL; throws copyFailed when it is not there or the clipboard refused it.
void offerFile(platform::Pasteboard &pasteboard, const QUrl &url)
{
    // A file URL to nothing would paste nothing: say so instead of claiming success.
    const QString path = url.toLocalFile();
    if (!QFileInfo(path).isFile()) {
        qCCritical(Log::exportLog, "Failed to copy video to clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("The recording file ") +
                                             unreadableFileState(path));
    }
    // The movie outlives the capture's clean-up for as long as a paste may still ask for it.
    // Held before the write, whose replacing the contents may release an earlier hold on the same
    // file. The write replaces everything at once: no clear before it.
    TemporaryFiles::holdFile(path);
    if (!pasteboard.writeFileURL(url, [path] { TemporaryFiles::releaseFile(path); })) {
        qCCritical(Log::exportLog, "Failed to copy video to clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("the clipboard did not take it"));
    }
}

} // namespace

ClipboardService::ClipboardService(std::shared_ptr<platform::Pasteboard> pasteboard)
    : m_pasteboard(std::move(pasteboard))
{
}

std::function<bool()> ClipboardService::request()
{
    return [isLatest = m_pasteboard->takeTurn()] {
        if (isLatest())
            return true;
        qCInfo(Log::exportLog, "Left the clipboard to a later copy");
        return false;
    };
}

QCoro::Task<bool> ClipboardService::copy(CaptureItem item)
{
    const std::function<bool()> isLatest = request();
    qCInfo(Log::exportLog, "Copying capture item %s to clipboard",
           qUtf8Printable(item.id().toString(QUuid::WithoutBraces).toUpper()));
    // Held here, so that the pasteboard outlives the file read even if the service goes first.
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_pasteboard;

    if (const std::optional<QUrl> videoURL = item.videoURL()) {
        // Judged away from the main thread, on the file opened: a movie cut short or put in its
        // place since it was recorded would paste as the recording.
        QFuture<bool> opening = platform::runInBackground([item] {
            QFile movie;
            return item.openMovie(movie);
        });
        const bool asRecorded = co_await opening;
        if (!isLatest())
            co_return false;
        if (!asRecorded) {
            qCCritical(Log::exportLog, "Failed to copy video to clipboard");
            throw CaptureActionError::copyFailed(QStringLiteral("The recording file ") +
                                                 unreadableFileState(videoURL->toLocalFile()));
        }
        offerFile(*pasteboard, *videoURL);
        co_return true;
    }

    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    // A whole PNG any program reads, made away from the main thread: right after the capture
    // its own PNG, whose write is waited for rather than made a second time beside it, and the
    // TIFF from the pixels still in memory (a 4K file decoded again for it takes a quarter
    // second), queued behind that write while it goes on, otherwise made after the PNG; later
    // that file, read as it is while it is known whole, and the TIFF from its bytes. Pixels
    // that have no file to go to (no captures folder) are encoded here. Started in a statement of
    // its own: GCC 12 may destroy temporaries of a co_await expression twice. Nothing: a file that
    // no longer gives the picture.
    QFuture<std::optional<ImageOffer>> making =
        platform::runInBackground([item, encoder]() -> std::optional<ImageOffer> {
            const QImage held = item.recentPixels();
            const QFuture<QByteArray> tiff = item.storedImage().pixels.isNull()
                                                 ? QFuture<QByteArray>()
                                                 : queueTiff(encoder, held);
            const CaptureItem::StoredImage stored =
                item.storedImage(QDeadlineTimer(writeWaitLimit));
            QByteArray png;
            if (!stored.pixels.isNull() || stored.pngPath.isEmpty()) {
                png = encoder->pngData(stored.pixels);
            } else {
                png = item.loadPng().result();
                if (png.isEmpty())
                    return std::nullopt;
            }
            if (png.isEmpty())
                return ImageOffer{};
            return ImageOffer{
                png, tiff.isValid() ? waitForTiff(tiff)
                                    : encoder->tiffData(
                                          held.isNull() ? platform::PngReader::decode(png) : held)};
        });
    std::optional<ImageOffer> offer = co_await making;
    if (!isLatest())
        co_return false;
    if (!offer) {
        qCCritical(Log::exportLog, "Could not copy the capture: its picture cannot be read");
        throw CaptureActionError::copyFailed(QStringLiteral("its picture can no longer be read"));
    }
    offerImage(pasteboard, *offer);
    co_return true;
}

QCoro::Task<bool> ClipboardService::copyImage(QImage image)
{
    const std::function<bool()> isLatest = request();
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_pasteboard;
    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    QFuture<ImageOffer> encoding = platform::runInBackground([encoder, image] {
        QByteArray png = encoder->pngData(image);
        return ImageOffer{png, png.isEmpty() ? QByteArray() : encoder->tiffData(image)};
    });
    const ImageOffer offer = co_await encoding;
    if (!isLatest())
        co_return false;
    offerImage(pasteboard, offer);
    co_return true;
}

QCoro::Task<bool> ClipboardService::copyFile(QUrl url)
{
    request();
    offerFile(*m_pasteboard, url);
    co_return true;
}
