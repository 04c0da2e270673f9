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

// How long a paste waits for the capture's own PNG write before it encodes the pixels itself.
constexpr std::chrono::milliseconds writeWaitLimit = std::chrono::seconds(1);

// What a paste of the screenshot is made from, fixed at the copy: the pixels, or the bytes of
// the capture's finished PNG. Either stays valid when the capture leaves the tray and its file
// is deleted. Never changed after it is made, so any thread may read it.
struct ClipboardImage {
    QImage pixels;
    QByteArray png;
    // With the pixels: the capture, whose PNG write may still be going on.
    std::optional<CaptureItem> capture{};

    bool isEmpty() const { return pixels.isNull() && png.isEmpty(); }
};

// The PNG on disk is the very encoding the clipboard would make, so its bytes are taken as
// they are, once they decoded to the capture's picture (`size`): a file whose header is intact
// but whose body was cut or overwritten would paste as nothing. The storage drops its pixels only
// once the file is completely in place, so a file still being written is never read here.
// Decodes: off the main thread.
ClipboardImage readPng(const QString &path, QSize size)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray png = file.readAll();
    if (platform::PngReader::decode(png).size() != size)
        return {};
    return {{}, png};
}

QByteArray pngFor(const ClipboardImage &image, const platform::PasteboardEncoder &encoder)
{
    if (!image.png.isEmpty())
        return image.png;
    // Right after a capture its PNG is being written: that is this very encoding, already under
    // way, so it is waited for rather than made a second time beside it.
    if (image.capture) {
        const CaptureItem::StoredImage stored =
            image.capture->storedImage(QDeadlineTimer(writeWaitLimit));
        if (stored.pixels.isNull()) {
            const QSize size(int(image.capture->pixelWidth()), int(image.capture->pixelHeight()));
            if (ClipboardImage written = readPng(stored.pngPath, size); !written.png.isEmpty())
                return written.png;
        }
    }
    return encoder.pngData(image.pixels);
}

QByteArray tiffFor(const ClipboardImage &image, const platform::PasteboardEncoder &encoder)
{
    if (!image.pixels.isNull())
        return encoder.tiffData(image.pixels);
    return encoder.tiffData(platform::PngReader::decode(image.png));
}

// Offers the screenshot, its encodings made when a paste asks for them; throws copyFailed when
// there is no picture or the clipboard takes neither.
void offerImage(const std::shared_ptr<platform::Pasteboard> &pasteboard, ClipboardImage made)
{
    const auto image = std::make_shared<const ClipboardImage>(std::move(made));
    if (image->isEmpty()) {
        qCCritical(Log::exportLog, "Failed to generate PNG data for clipboard");
        throw CaptureActionError::copyFailed(QStringLiteral("Could not generate PNG data"));
    }

    // The encodings wait for a paste that asks for them, which may come as late as the program's
    // end (a clipboard manager taking the contents over): the encoder is held until then. Not
    // the pasteboard, which holds what it offers.
    const std::shared_ptr<const platform::PasteboardEncoder> encoder = pasteboard->encoder();
    // Offered in one go, never cleared first: the clipboard is never ours and empty meanwhile.
    if (!pasteboard->offerProvidedData(
            {{pngType, [image, encoder] { return pngFor(*image, *encoder); }},
             {tiffType, [image, encoder] { return tiffFor(*image, *encoder); }}})) {
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

    CaptureItem::StoredImage stored = item.storedImage();
    ClipboardImage made{stored.pixels, {}, {}};
    if (!made.pixels.isNull())
        made.capture = item;
    if (made.isEmpty()) {
        // Off the main thread, since the PNG may have to come from a slow disk. Started in a
        // statement of its own: GCC 12 may destroy temporaries of a co_await expression twice.
        QFuture<ClipboardImage> reading = platform::runInBackground(
            [path = stored.pngPath, size = QSize(int(item.pixelWidth()), int(item.pixelHeight()))] {
                return readPng(path, size);
            });
        made = co_await reading;
    }
    offerImage(pasteboard, std::move(made));
}

QCoro::Task<void> ClipboardService::copyImage(QImage image)
{
    offerImage(m_pasteboard, ClipboardImage{std::move(image), {}, {}});
    co_return;
}

QCoro::Task<void> ClipboardService::copyFile(QUrl url)
{
    offerFile(*m_pasteboard, url);
    co_return;
}
