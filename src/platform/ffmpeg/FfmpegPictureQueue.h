#pragma once

#include "platform/ffmpeg/FfmpegSupport.h"

#include <QSize>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <vector>

namespace platform::ffmpeg {

// Converted pictures may wait for the encoder this long: its start-up, while x264's threads and
// lookahead fill, takes up to half a second more than real time on a busy machine.
constexpr double pictureQueueSeconds = 0.5;
// ...and may hold at most this much: at 4K and above a few pictures already reach it.
constexpr size_t pictureQueueBytes = size_t(80) << 20;

// Bytes of one YUV 4:2:0 picture of the size.
size_t pictureBytes(QSize frameSize);
// How many pictures of the size may wait for the encoder at the rate: those of
// pictureQueueSeconds, no more than fit in pictureQueueBytes, and at least one (at 8K, where
// one is half the budget, conversion and encoding take turns).
size_t pictureQueueLength(QSize frameSize, int frameRate);

// Pictures converted on the frame thread for the encoder's thread, in a fixed number of
// buffers that are reused: a frame that finds every buffer converting, waiting or being
// encoded is dropped and counted, so that an encoder that cannot keep up costs frames, never
// memory.
class PictureQueue {
public:
    explicit PictureQueue(size_t buffers);

    // A buffer to convert the next frame into: an empty frame the first time, a reused one
    // (which may still hold an old picture) later. None when every buffer is out, which counts
    // the frame as dropped, and none once the queue is closed.
    FramePtr acquire();
    // Queues a converted picture for the encoder.
    void push(FramePtr picture);
    // Returns a buffer whose frame could not be converted; the frame counts as dropped.
    void discard(FramePtr picture);

    // The next picture, in the order pushed, waiting for one. None once the queue is closed and
    // drained, or at once when it was abandoned.
    FramePtr pop();
    // Returns the buffer of a picture the encoder took.
    void recycle(FramePtr picture);

    // No more pictures come: pop hands out what waits, then nothing. With `abandon`, what waits
    // is thrown away.
    void close(bool abandon);
    bool abandoned() const;

    size_t capacity() const { return m_capacity; }
    int dropped() const { return m_dropped.load(); }

private:
    void giveBack(FramePtr picture);

    const size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<FramePtr> m_waiting;
    std::vector<FramePtr> m_spare;
    size_t m_out = 0; // buffers converting, waiting or being encoded
    bool m_closed = false;
    bool m_abandoned = false;
    std::atomic<int> m_dropped = 0;
};

} // namespace platform::ffmpeg
