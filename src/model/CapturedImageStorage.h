#pragma once

#include <QDeadlineTimer>
#include <QImage>
#include <QMutex>
#include <QString>
#include <QUrl>
#include <QWaitCondition>
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
class CapturedImageStorage {
public:
    // How the file holds the image: an ordinary PNG, or a recording's poster
    // frame in bands that read back quickly (PosterFile).
    enum class FileFormat { png, poster };

    // Starts the background write and returns at once. Without a captures
    // folder (logged as an error) the image simply stays in memory.
    static std::shared_ptr<CapturedImageStorage>
    create(const QImage &image, const QString &fileName, FileFormat format = FileFormat::png);

    // The image: the in-memory copy while there is one, otherwise the file
    // decoded afresh on every call. A null image when the file is gone or
    // unreadable.
    QImage image() const;

    // The in-memory copy, or a null image once the PNG is safely on disk.
    QImage heldImage() const;

    // The pixel size the file says it holds, read from its header alone; nothing when the file
    // is gone or its header is not one of ours (overwritten with anything else). Any thread.
    std::optional<QSize> fileImageSize() const;

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

    void write(quint64 generation) noexcept;

    mutable QMutex m_lock; // guards m_image and m_writing against the background writer
    mutable QWaitCondition m_writeEnded;
    QImage m_image;
    bool m_writing = false;
    FileFormat m_format;
    std::optional<QUrl> m_url;
};
