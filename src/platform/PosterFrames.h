#pragma once

#include <QImage>
#include <QString>

namespace platform {

// Still frames of movie files. Safe from any thread.
class PosterFrames {
public:
    virtual ~PosterFrames() = default;
    // The frame shown `seconds` into the movie (the last one when the movie is shorter), at the
    // movie's own size; a null image, with the reason in `error` when given, when there is none.
    virtual QImage frameAt(const QString &filePath, double seconds, QString *error = nullptr) = 0;
};

} // namespace platform
