#pragma once

#include "platform/ImageWriter.h"

namespace platform {

// PNG and JPEG through Qt's image writers with their default settings; HEIC through libheif at
// its default quality. Files are written with QSaveFile: under a temporary name beside the
// destination, renamed over it once complete.
class QtImageWriter final : public ImageWriter {
public:
    ImageWriteResult write(const QImage &image, const QString &path, const QString &type) override;
};

} // namespace platform
