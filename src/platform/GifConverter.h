#pragma once

#include <QString>

namespace platform {

// Animated GIFs made from finished movies. Safe from any thread.
class GifConverter {
public:
    virtual ~GifConverter() = default;
    // Writes the movie at `moviePath` as an animated GIF at `gifPath`, a new file that only the
    // user can read: the movie's frames at its own rate but at most `maxFrameRate` a second, in
    // one palette made from the movie, looping for ever. Blocks until the file is written. False,
    // with the reason in `error` when given, and no file at `gifPath` when that fails; the movie
    // is left as it is either way.
    virtual bool convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                         QString *error = nullptr) = 0;
};

} // namespace platform
