#pragma once

#include <QImage>
#include <QString>

namespace platform {

struct ImageWriteResult {
    enum class Status {
        written,
        // No file could be made at the destination (missing or read-only folder, a name the
        // file system refuses, an unknown type).
        cannotCreate,
        // The image could not be encoded or the file not finished (encoder limits, a full
        // disk).
        cannotEncode,
    };
    Status status = Status::written;
    // Why it failed, for the log.
    QString reason;

    bool ok() const { return status == Status::written; }
};

// Writes one image to a file with the encoder's default settings.
class ImageWriter {
public:
    virtual ~ImageWriter() = default;
    // type: a MIME type name, "image/png", "image/jpeg" or "image/heic". The file is written
    // under a temporary name beside path and renamed over it when complete, so a failed write
    // leaves whatever was at path untouched. Any thread.
    virtual ImageWriteResult write(const QImage &image, const QString &path,
                                   const QString &type) = 0;
};

} // namespace platform
