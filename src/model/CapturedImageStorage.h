#pragma once

#include "platform/PrivateFiles.h"

#include <QDeadlineTimer>
#include <QFuture>
#include <QImage>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QWaitCondition>
#include <chrono>
#include <memory>
#include <optional>

// The full image of one screenshot, kept on disk rather than in memory: a
// background task writes it as a PNG into the captures folder and then drops
// the in-memory copy; later reads decode the file. Shared by every copy of
// the screenshot's record.
//
// The file is always written, never adopted: a file already at the path (a
// leftover of an earlier run, or the previous version of an edited capture)
// is replaced.
class CapturedImageStorage : public std::enable_shared_from_this<CapturedImageStorage> {
public:
    // How the file holds the image: an ordinary PNG, or a recording's poster
    // frame in bands that read back quickly (PosterFile).
    enum class FileFormat { png, poster };

    // Starts the background write and returns at once. Without a captures
    // folder (logged as an error) the image simply stays in memory.
    static std::shared_ptr<CapturedImageStorage>
    create(const QImage &image, const QString &fileName, FileFormat format = FileFormat::png);

    // The image of `size`: the in-memory copy while there is one, otherwise the file decoded
    // afresh on every call. A null image when the file is gone, unreadable or of another size.
    QImage image(QSize size) const;

    // The in-memory copy, or a null image once the PNG is safely on disk.
    QImage heldImage() const;
    // The in-memory copy, or for a moment after its file is written the pixels that went to it:
    // what a copy begun with the capture makes its other formats from. Any thread.
    QImage recentPixels() const;
    // How long recentPixels() keeps them after the write (1.5 s), for writes that end from now
    // on; returns the time it replaces.
    static std::chrono::milliseconds setRecentPixelsKept(std::chrono::milliseconds kept);

    // The picture for an action: the in-memory copy at once, otherwise the file decoded on the
    // background threads, once for every action that asks while that decode runs. Null when the
    // file is gone or does not decode whole to `size`. What the decode finds of the file is kept
    // (verdict()); the pixels are not. Any thread.
    QFuture<QImage> decodedImage(QSize size) const;

    // What is known of the file as it is now on disk, without decoding it: a whole PNG of the
    // picture (the very file this storage wrote, or one a decode found whole since its last
    // change), one that no longer decodes, or nothing known yet. Asks the file system for the
    // file's version: off the main thread. Not for a poster file, which is never handed on.
    enum class Verdict { unknown, whole, decodesNotWhole, broken };
    Verdict verdict() const;

    // The bytes of a whole PNG of the picture, for what leaves the program as it is (a paste, a
    // dragged file): the file's own bytes while they are known whole, else a new encoding of
    // its decoded picture; empty when there is no picture of `size`. A write still going on is
    // waited for. Blocks: background threads only.
    QByteArray wholePng(QSize size) const;

    // Waits until the background write has ended, whichever way, or the deadline has passed;
    // false in the second case. Any thread.
    bool waitForWrite(QDeadlineTimer deadline) const;

    // The image's file; absent when there was no captures folder.
    std::optional<QUrl> url() const { return m_url; }

    CapturedImageStorage(const CapturedImageStorage &) = delete;
    CapturedImageStorage &operator=(const CapturedImageStorage &) = delete;

private:
    CapturedImageStorage(const QImage &image, FileFormat format) : m_image(image), m_format(format)
    {
    }
    ~CapturedImageStorage() = default;
    struct Deleter;

    using FileVersion = platform::FileVersion;
    static void forgetRecentPixelsSoon(const std::shared_ptr<CapturedImageStorage> &storage);
    void noteVerdict(const std::optional<FileVersion> &version, Verdict verdict) const;
    bool knownBroken(const std::optional<FileVersion> &version) const;
    QImage decodeFile(QSize size) const;

    mutable QMutex m_lock; // guards the members below against the background threads
    mutable QWaitCondition m_writeEnded;
    QImage m_image;
    QImage m_recent;
    bool m_writing = false;
    // The last version of the file whose verdict is known, and that verdict.
    mutable std::optional<FileVersion> m_judgedVersion;
    mutable Verdict m_judged = Verdict::unknown;
    // The decode under way, which every action asking meanwhile shares.
    mutable QFuture<QImage> m_decoding;
    mutable QSize m_decodingSize;
    mutable quint64 m_decodeGeneration = 0;
    FileFormat m_format;
    std::optional<QUrl> m_url;
};
