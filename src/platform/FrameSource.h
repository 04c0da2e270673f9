#pragma once

#include "platform/WindowList.h"

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace platform {

// What a recording reads, at a steady rate.
struct FrameSourceRequest {
    // A rectangle of the desktop in root pixels (a display or an area of one).
    QRect rootRect;
    // A window instead of the rectangle, followed as it moves; its frame with decorations.
    std::optional<WindowId> window;
    // Every frame has this pixel size: a read that is smaller is padded with black to the right
    // and bottom, a larger one is cut.
    QSize frameSize;
    int frameRate = 30;
    bool showsCursor = true;
};

// One running source of frames. Stopping (or destroying) it joins its thread; the callbacks
// are never called afterwards.
class FrameStream {
public:
    virtual ~FrameStream() = default;
    virtual void stop() = 0;
};

// Sources of screen frames for recordings.
class FrameSources {
public:
    // Called on the stream's own thread with a QImage::Format_RGB32 frame of the requested
    // size, whose pixels stay valid only during the call, and the std::chrono::steady_clock
    // time, in microseconds, at which it was read.
    using FrameSink = std::function<void(const QImage &frame, qint64 steadyTimeUs)>;
    // Called once, on the stream's own thread, when the source stopped by itself (the window
    // closed, the display went away); no frame follows.
    using EndSink = std::function<void(const QString &reason)>;

    virtual ~FrameSources() = default;

    // Starts reading, frames arriving from the stream's thread; nothing, with the reason in
    // `error` when given, when the source cannot be read at all.
    virtual std::unique_ptr<FrameStream> start(const FrameSourceRequest &request, FrameSink frames,
                                               EndSink ended, QString *error = nullptr) = 0;
};

} // namespace platform
