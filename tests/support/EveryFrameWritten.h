#pragma once

#include "platform/MovieWriter.h"

#include <QElapsedTimer>
#include <QImage>
#include <QThread>

// Hands a frame to a movie writer and, when the writer drops it because its encoder is behind,
// hands the same frame at the same time again once the encoder has caught up, so that a test's
// movie holds every frame it wrote however busy the machine is. A dropped frame takes no time
// stamp, so the retry lands exactly where the first try would have. False when the writer still
// refuses the frame after `limitMs`.
inline bool addEveryFrame(platform::MovieWriter &writer, const QImage &frame, qint64 steadyTimeUs,
                          int limitMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        const int dropped = writer.droppedFrames();
        writer.addVideoFrame(frame, steadyTimeUs);
        if (writer.droppedFrames() == dropped)
            return true;
        if (timer.elapsed() > limitMs)
            return false;
        QThread::msleep(2);
    }
}
