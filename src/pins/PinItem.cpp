#include "pins/PinItem.h"

#include "model/CaptureItemProvider.h"
#include "model/TemporaryFiles.h"
#include "pins/PinCardDrawing.h"
#include "platform/Background.h"
#include "platform/FileIcons.h"
#include "platform/PngEncoder.h"
#include "platform/PngWriter.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QMimeData>
#include <QMimeDatabase>

namespace {

QString defaultTitle(const PinContent &content)
{
    if (content.kind == PinContent::Kind::image)
        return QStringLiteral("Pinned Image");
    // A folder's URL may end in "/": its name is the part before.
    const QStringList parts = content.url.path().split(u'/', Qt::SkipEmptyParts);
    return parts.isEmpty() ? content.url.path() : parts.last();
}

} // namespace

PinItem::PinItem(PinContent content, std::optional<QString> title, const QUuid &id)
    : m_id(id), m_content(std::move(content))
{
    m_title = title ? *title : defaultTitle(m_content);
}

PinItem::PinItem(FromCapture, const CaptureItem &capture, PinContent content)
    : m_id(capture.id()), m_content(std::move(content)), m_title(capture.fileName()),
      m_capture(capture)
{
}

std::shared_ptr<const PinItem> PinItem::fromCapture(const CaptureItem &capture,
                                                    const QImage &cardPicture)
{
    PinContent content = capture.videoURL()
                             ? PinContent::makeVideo(*capture.videoURL(), std::nullopt)
                             : PinContent::makeImage([capture] { return capture.image(); });
    if (capture.videoURL())
        content.imageSource = [capture] { return capture.image(); };
    std::shared_ptr<const PinItem> item(new PinItem(FromCapture{}, capture, std::move(content)));
    item->m_cardPicture = cardPicture;
    return item;
}

std::optional<QUrl> PinItem::fileURL() const
{
    if (isImage())
        return std::nullopt;
    return m_content.url;
}

QImage PinItem::bitmap() const
{
    if (!isImage())
        return {};
    if (!m_content.image.isNull() || !m_content.imageSource)
        return m_content.image;
    return m_content.imageSource();
}

QFuture<QImage> PinItem::loadBitmap() const
{
    if (isImage() && m_capture)
        return m_capture->loadImage();
    return QtFuture::makeReadyFuture(bitmap());
}

QFuture<bool> PinItem::checkPicture() const
{
    return m_capture ? m_capture->checkPicture() : QtFuture::makeReadyFuture(true);
}

bool PinItem::hasPicture() const
{
    if (!isImage() || !m_content.image.isNull())
        return true;
    // A pinned capture's file is judged by the action that needs it, away from this thread.
    return m_capture || !bitmap().isNull();
}

namespace {

bool covers(const QImage &picture, QSize pixels)
{
    return !picture.isNull() && picture.width() >= pixels.width() &&
           picture.height() >= pixels.height();
}

} // namespace

bool PinItem::needsCardPicture(QSize pixels) const
{
    // Only a pinned capture's picture (a recording's poster) lives on disk; its pixels are held
    // in memory only until its file is written. One that could not be read is not asked again.
    return needsPreviewImage() && !m_cardPictureFailed && !covers(m_cardPicture, pixels);
}

bool PinItem::needsPreviewImage() const
{
    return m_capture && m_capture->storedImage().pixels.isNull();
}

QImage PinItem::thumbnailStandIn() const
{
    QImage shown = m_capture ? m_capture->thumbnail() : QImage();
    if (shown.isNull() && isVideo())
        shown = platform::mimeTypeIcon(QStringLiteral("video/mp4"), 256);
    return shown;
}

QImage PinItem::cardPicture(QSize pixels) const
{
    if (!m_capture) {
        if (!covers(m_cardPicture, pixels)) {
            if (const QImage picture = previewImage(); !picture.isNull())
                m_cardPicture = PinCardDrawing::coverImage(picture, pixels);
        }
        return PinCardDrawing::coverImage(m_cardPicture, pixels);
    }
    // A pinned capture's file is never read here: the pixels still held, else what is kept, else
    // the thumbnail stand in until loadCardPicture's picture is kept.
    if (!covers(m_cardPicture, pixels)) {
        if (const QImage held = m_capture->storedImage().pixels; !held.isNull())
            m_cardPicture = PinCardDrawing::coverImage(held, pixels);
    }
    return PinCardDrawing::coverImage(m_cardPicture.isNull() ? thumbnailStandIn() : m_cardPicture,
                                      pixels);
}

QFuture<QImage> PinItem::loadPicture(std::function<QImage(const QImage &)> shape) const
{
    if (!m_capture)
        return QtFuture::makeReadyFuture(QImage());
    return platform::runInBackground([capture = *m_capture, shape = std::move(shape)] {
        const QImage picture = capture.loadImage().result();
        return picture.isNull() || !shape ? picture : shape(picture);
    });
}

QFuture<QImage> PinItem::loadCardPicture(QSize pixels) const
{
    return loadPicture(
        [pixels](const QImage &picture) { return PinCardDrawing::coverImage(picture, pixels); });
}

QFuture<QImage> PinItem::loadPreviewImage() const
{
    return loadPicture({});
}

QImage PinItem::previewStandIn() const
{
    if (!m_capture)
        return previewImage();
    const QImage held = m_capture->storedImage().pixels;
    return held.isNull() ? thumbnailStandIn() : held;
}

void PinItem::keepCardPicture(const QImage &picture) const
{
    if (picture.isNull())
        m_cardPictureFailed = true;
    else
        m_cardPicture = picture;
}

QImage PinItem::previewImage(int iconSize) const
{
    switch (m_content.kind) {
    case PinContent::Kind::image:
        return bitmap();
    case PinContent::Kind::file:
        return platform::fileIcon(m_content.url.toLocalFile(), iconSize);
    case PinContent::Kind::video:
        if (m_content.thumbnail && !m_content.thumbnail->isNull())
            return *m_content.thumbnail;
        if (m_content.imageSource) {
            if (QImage poster = m_content.imageSource(); !poster.isNull())
                return poster;
        }
        return platform::mimeTypeIcon(QStringLiteral("video/mp4"), iconSize);
    }
    return {};
}

QString PinItem::exportFileName(const QDateTime &now) const
{
    if (!isImage())
        return m_content.url.fileName();
    return QStringLiteral("Corvanta %1.png")
        .arg(now.toString(QStringLiteral("yyyy-MM-dd HH.mm.ss")));
}

QString PinItem::kindText() const
{
    switch (m_content.kind) {
    case PinContent::Kind::image:
        return QStringLiteral("Image");
    case PinContent::Kind::video:
        return QStringLiteral("Video");
    case PinContent::Kind::file:
        break;
    }
    const QString name = m_content.url.fileName();
    const QMimeType type = QMimeDatabase().mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault() && !type.comment().isEmpty())
        return type.comment();
    return QFileInfo(name).suffix().toUpper();
}

std::optional<QString> PinItem::fileSizeText() const
{
    if (m_content.kind != PinContent::Kind::file)
        return std::nullopt;
    const QFileInfo info(m_content.url.toLocalFile());
    if (!info.exists() || !info.isFile())
        return std::nullopt;
    return QLocale().formattedDataSize(info.size(), 1, QLocale::DataSizeSIFormat);
}

QMimeData *PinItem::dragProvider(const std::optional<QUrl> &dragFile,
                                 std::function<void()> onConsumed) const
{
    // A pinned capture is dragged as the tray drags it: its own file, copied under its name.
    if (m_capture) {
        std::unique_ptr<QMimeData> data(m_capture->makeItemProvider(dragFile, onConsumed));
        // A picture on disk that makes no drag file does not decode: it is not decoded again
        // below, only to fail. One still in memory (no captures folder) is offered below.
        if (data->hasUrls() || (isImage() && m_capture->storedImage().pixels.isNull()))
            return data.release();
    }
    std::optional<QString> folder;
    if (isImage())
        folder = TemporaryFiles::capturesFolder();
    return itemProvider(folder, std::move(onConsumed));
}

QMimeData *PinItem::itemProvider(std::function<void()> onConsumed) const
{
    return dragProvider(m_capture ? m_capture->makeDragFileURL() : std::nullopt,
                        std::move(onConsumed));
}

QMimeData *PinItem::itemProvider(const std::optional<QString> &folder,
                                 std::function<void()> onConsumed) const
{
    const QString name = exportFileName();
    std::optional<QUrl> file;
    if (!isImage()) {
        if (m_content.url.isLocalFile() && QFileInfo::exists(m_content.url.toLocalFile()))
            file = m_content.url;
        else if (!m_content.url.isLocalFile() && m_content.url.isValid())
            file = m_content.url;
    }
    const QImage image = bitmap();
    if (isImage() && folder && !image.isNull()) {
        const QString path = QDir(*folder).filePath(name);
        if (platform::PngWriter::write(image, path))
            file = QUrl::fromLocalFile(path);
    }
    if (file) {
        auto *provider = new CaptureItemProvider(*file);
        provider->setSuggestedName(exportFileName());
        provider->setOnConsumed(std::move(onConsumed));
        return provider;
    }
    auto *data = new QMimeData;
    if (!image.isNull()) {
        const QByteArray png = platform::PngEncoder::encode(image);
        if (!png.isEmpty())
            data->setData(QStringLiteral("image/png"), png);
    }
    return data;
}
