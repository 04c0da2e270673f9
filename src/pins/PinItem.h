#pragma once

#include "model/CaptureItem.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class QMimeData;

// What one pin shows: a still image in memory (at its pixel size), any file on disk, or a
// recording with its poster frame when there is one.
struct PinContent {
    enum class Kind : quint8 { image, file, video };

    Kind kind = Kind::image;
    QImage image; // image
    // image, in place of `image`, and video, in place of `thumbnail`: reads the picture when it
    // is needed, so that a pinned capture whose picture lives on disk is not held in memory by
    // its pin.
    std::function<QImage()> imageSource;
    QUrl url;                        // file, video
    std::optional<QImage> thumbnail; // video

    static PinContent makeImage(const QImage &image) { return {Kind::image, image, {}, {}, {}}; }
    static PinContent makeImage(std::function<QImage()> source)
    {
        return {Kind::image, {}, std::move(source), {}, {}};
    }
    static PinContent makeFile(const QUrl &url) { return {Kind::file, {}, {}, url, {}}; }
    static PinContent makeVideo(const QUrl &url, std::optional<QImage> thumbnail)
    {
        return {Kind::video, {}, {}, url, std::move(thumbnail)};
    }
};

// One pinned thing. A pin made from a staged capture keeps the capture's identifier, so that
// removing the pin can name the capture. What it shows is set once and never changed; main
// thread only.
class PinItem {
public:
    // Without a title: "Pinned Image" for an image, the URL's last path component otherwise.
    explicit PinItem(PinContent content, std::optional<QString> title = std::nullopt,
                     const QUuid &id = QUuid::createUuid());

    // The capture's identifier and file name; a recording becomes video content with its full
    // image as the poster, a screenshot image content with its full image. `cardPicture`, when
    // given, is what the cards show until they need a larger one (see keepCardPicture).
    static std::shared_ptr<const PinItem> fromCapture(const CaptureItem &capture,
                                                      const QImage &cardPicture = {});

    QUuid id() const { return m_id; }
    const PinContent &content() const { return m_content; }
    // The staged capture the pin was made from, as it was then; absent for other pins.
    const std::optional<CaptureItem> &capture() const { return m_capture; }
    QString title() const { return m_title; }

    bool isImage() const { return m_content.kind == PinContent::Kind::image; }
    bool isVideo() const { return m_content.kind == PinContent::Kind::video; }
    std::optional<QUrl> fileURL() const;
    // An image pin's picture at its pixel size; null for other pins and when the picture is gone.
    QImage bitmap() const;
    // bitmap() for an action that hands the picture on: a pinned capture's picture decoded on a
    // background thread (CaptureItem::loadImage), any other at once.
    QFuture<QImage> loadBitmap() const;
    // Whether a drag of the pin would carry a pinned capture's picture
    // (CaptureItem::checkPicture); true at once for any other pin.
    QFuture<bool> checkPicture() const;
    // Whether an image pin's picture can still be had. A pinned capture counts until an action
    // finds its file does not decode: its file is never read here. True for other pins.
    bool hasPicture() const;
    // The pin's picture cut to cover a card of `pixels`, reading no file: scaled from the picture
    // kept from the last call (or keepCardPicture) while that is large enough, else made afresh
    // and kept; a pinned capture whose picture (or poster) lives on disk shows its thumbnail
    // meanwhile (needsCardPicture, loadCardPicture), a recording without one the movie icon.
    // Once kept, a picture that can no longer be read (a pinned capture whose file went) still
    // shows, scaled from what is kept. Null when there never was a picture. Main thread only.
    QImage cardPicture(QSize pixels) const;
    // Whether cardPicture(pixels) is a stand-in until loadCardPicture(pixels) is kept; never
    // again once a load found nothing.
    bool needsCardPicture(QSize pixels) const;
    // The picture for a card of `pixels`, decoded and cut on the background threads; null when
    // the picture can no longer be read.
    QFuture<QImage> loadCardPicture(QSize pixels) const;
    // Keeps a card picture made by loadCardPicture; a null one is remembered as a failed load.
    // Main thread only.
    void keepCardPicture(const QImage &picture) const;

    // What views draw: the image or poster at its pixel size, the icon theme's icon of a file
    // (iconSize pixels), a film icon for a recording without a poster. Null when there is
    // nothing to draw.
    QImage previewImage(int iconSize = 256) const;
    // previewImage() reading no file: a pinned capture whose picture (or poster) lives on disk
    // shows its thumbnail, a recording without one the film icon, until loadPreviewImage()'s
    // picture is in (needsPreviewImage). Main thread only.
    QImage previewStandIn() const;
    bool needsPreviewImage() const;
    // A pinned capture's picture (or poster) at its pixel size, decoded on the background
    // threads; null when it can no longer be read.
    QFuture<QImage> loadPreviewImage() const;
    // The name the pin is saved, opened or dragged out under: an image is named by the moment
    // of the call ("Corvanta yyyy-MM-dd HH.mm.ss.png"), a file or recording by its own name.
    QString exportFileName(const QDateTime &now = QDateTime::currentDateTime()) const;
    // "Image", "Video", or the file type's description (the upper-case extension when the type
    // is unknown).
    QString kindText() const;
    // The file's size for people ("1.2 MB"); files only, absent when it cannot be read.
    std::optional<QString> fileSizeText() const;

    // The data a drag of the pin carries. A pinned capture offers its drag file, as the tray
    // does (CaptureItem::makeItemProvider with `dragFile`, made by
    // CaptureItem::prepareDragFile); otherwise, or when that could not be made, a file or
    // recording offers its file (nothing when it is gone). An image is written as a PNG into the
    // captures folder and offered as that file; when that write fails the PNG bytes are offered
    // instead, so a receiver never gets a path that holds an older picture or nothing. The caller
    // owns the result.
    QMimeData *dragProvider(const std::optional<QUrl> &dragFile,
                            std::function<void()> onConsumed) const;
    // The same, a pinned capture's drag file made here and now, blocking on the files.
    QMimeData *itemProvider(std::function<void()> onConsumed = {}) const;
    // The same with the folder for an image's file given (absent: no folder could be had).
    QMimeData *itemProvider(const std::optional<QString> &folder,
                            std::function<void()> onConsumed) const;

private:
    struct FromCapture {};
    PinItem(FromCapture, const CaptureItem &capture, PinContent content);
    // A pinned capture's picture made into what `shape` makes of it, on the background threads.
    QFuture<QImage> loadPicture(std::function<QImage(const QImage &)> shape) const;
    QImage thumbnailStandIn() const;

    QUuid m_id;
    PinContent m_content;
    QString m_title;
    std::optional<CaptureItem> m_capture;
    // What cards last showed of the pin; all that is kept of a picture that lives on disk.
    mutable QImage m_cardPicture;
    mutable bool m_cardPictureFailed = false;
};

using PinItemPtr = std::shared_ptr<const PinItem>;
