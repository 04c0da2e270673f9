#pragma once

#include "platform/ffmpeg/FfmpegSupport.h"

#include <QImage>
#include <QSize>

class QVideoFrame;

namespace platform {

// Turns decoded video frames into images of the size they are shown at, converting and scaling
// in one pass of swscale on a few threads: a 4K frame becomes a window-sized image in a few
// milliseconds, where converting it whole and scaling it afterwards takes several frame times.
// Any thread, one at a time.
class VideoFrameScaler {
public:
    // The frame fitted into `box` with its aspect kept, never larger than the frame itself;
    // the whole frame when `box` is empty. Null when the frame cannot be read.
    QImage scale(const QVideoFrame &frame, const QSize &box);

private:
    ffmpeg::ScaleContextPtr m_context;
    struct Key {
        QSize from;
        int format = -1;
        QSize to;
        int colorspace = 0;
        bool fullRange = false;
        bool operator==(const Key &) const = default;
    } m_key;
};

} // namespace platform
