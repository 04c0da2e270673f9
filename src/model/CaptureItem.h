#pragma once

#include "model/CaptureItemState.h"
#include "model/CaptureMode.h"
#include "platform/PrivateFiles.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QFuture>
#include <QImage>
#include <QMetaType>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class CapturedImageStorage;
class QFile;
class QMimeData;

// One staged capture, screenshot or screen recording, as a value. Copies
// share the disk-backed image: a screenshot's picture, a recording's poster
// frame. Only the state changes after creation; a new image means a new
// record (CaptureQueue::updateImage).
class CaptureItem {
public:
    // thumbnail: made from image (longer side 200) when absent. videoURL: the
    // recording's movie; absent for a screenshot. Either way the image goes
    // to disk in the background and only the thumbnail stays in memory (a
    // recording's poster frame as "Poster_" + fileName() + ".poster"). The file
    // name is fixed here, once.
    CaptureItem(const QUuid &id, const QDateTime &createdAt, std::optional<quint32> sourceDisplayID,
                CaptureMode mode, const QImage &image, const std::optional<QImage> &thumbnail,
                const std::optional<QUrl> &videoURL, const CaptureItemState &state);

    QUuid id() const { return m_id; }
    QDateTime createdAt() const { return m_createdAt; }
    std::optional<quint32> sourceDisplayID() const { return m_sourceDisplayID; }
    CaptureMode mode() const { return m_mode; }
    qint64 pixelWidth() const { return m_pixelWidth; }
    qint64 pixelHeight() const { return m_pixelHeight; }
    QSize pixelSize() const { return {int(m_pixelWidth), int(m_pixelHeight)}; }
    QImage thumbnail() const { return m_thumbnail; }
    std::optional<QUrl> videoURL() const { return m_videoURL; }
    CaptureItemState state() const { return m_state; }
    void setState(const CaptureItemState &state) { m_state = state; }

    // The full image (a recording's poster frame); a null image when no copy is left in memory
    // and its file is gone or does not decode whole to a picture of this size. Reads and decodes
    // the disk's file here: for painting away from the main thread only.
    QImage image() const;
    // The picture for an action that hands it on (a copy, a save, a pin, a share): pixels held
    // in memory at once, otherwise the file decoded on the background threads, one decode shared
    // by every action that asks while it runs. Null as image() is.
    QFuture<QImage> loadImage() const;
    // The full image as it is kept, decoding and reading nothing: the pixels while they are
    // held in memory, otherwise the path of the finished PNG they went to (which may have gone
    // since; for a recording, its poster file, which is no PNG). A write still going on is
    // first waited for, until writeDeadline at the latest (by default not at all). Any thread.
    struct StoredImage {
        QImage pixels;
        QString pngPath;
    };
    StoredImage storedImage(QDeadlineTimer writeDeadline = QDeadlineTimer(0)) const;
    // The pixels still in memory, held or for a moment after their file was written; null
    // otherwise. Reads nothing. Any thread.
    QImage recentPixels() const;
    // A screenshot's picture as a whole PNG that any program reads, for what leaves the program
    // as it is: the capture's own file while it is the one written (or found whole) and
    // unchanged, decoding nothing, else a new encoding of its decoded picture; empty when the
    // picture can no longer be read. On the background threads.
    QFuture<QByteArray> loadPng() const;
    bool isVideo() const { return m_videoURL.has_value(); }
    // A recording's movie, opened for reading (as platform::openRegularFile opens it) only while
    // it is still the file staged: the same file, of the size and modification time it had when
    // the capture was made. One cut short or put in its place since is refused, false with the
    // reason in `error`. Blocks on the file: background threads only.
    bool openMovie(QFile &file, QString *error = nullptr) const;
    // "Corvanta yyyy-MM-dd at HH.mm.ss.<ext>", the extension "png" for a
    // screenshot, else the movie's (or "mp4"). Unique within the process: a
    // second capture in the same second is named "… (2).png".
    QString fileName() const { return m_fileName; }

    // Whether the capture's picture can still be handed on (copied, dragged): at once for a
    // recording and for pixels held in memory, at once too (on a background thread) while the
    // file is known whole, otherwise once the file decoded (the decode shared with loadImage).
    // Started at the press that may begin a drag, so that the drag's file is ready soon after
    // its first move.
    QFuture<bool> checkPicture() const;
    // Drag out: a fresh copy named fileName(), in the capture's own drag folder (see
    // TemporaryFiles::dragFolder): the movie, or a whole PNG of the picture (loadPng). Absent
    // when no such file could be made. Blocks on the files: background threads only.
    std::optional<QUrl> makeDragFileURL() const;
    // makeDragFileURL() on the background threads.
    QFuture<std::optional<QUrl>> prepareDragFile() const;
    // The data a drag of this capture carries: a CaptureItemProvider for the drag file made by
    // prepareDragFile(), or an empty QMimeData when there is none (onConsumed is then dropped).
    // The caller owns it.
    QMimeData *makeItemProvider(const std::optional<QUrl> &dragFile,
                                std::function<void()> onConsumed) const;
    // Deletes the movie, the PNG and the drag file 180 s from now, or when the
    // program ends if that is sooner; returns at once.
    void scheduleTemporaryFileCleanup() const;

private:
    friend class CaptureQueue;
    struct KeepFileName {};
    CaptureItem(KeepFileName, const CaptureItem &original, const QImage &image);

    // The same capture with an edited image; it keeps the file name.
    CaptureItem withImage(const QImage &image) const { return {KeepFileName{}, *this, image}; }
    QString pngPath() const;

    QUuid m_id;
    QDateTime m_createdAt;
    std::optional<quint32> m_sourceDisplayID;
    CaptureMode m_mode;
    qint64 m_pixelWidth;
    qint64 m_pixelHeight;
    QString m_fileName;
    std::shared_ptr<CapturedImageStorage> m_storage;
    QImage m_thumbnail;
    std::optional<QUrl> m_videoURL;
    // What the movie was when staged; absent when there was none to read.
    std::optional<platform::FileVersion> m_movieStamp;
    CaptureItemState m_state;
};

Q_DECLARE_METATYPE(CaptureItem)
