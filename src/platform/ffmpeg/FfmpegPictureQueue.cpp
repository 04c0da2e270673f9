#include "platform/ffmpeg/FfmpegPictureQueue.h"

#include <algorithm>
#include <cmath>

namespace platform::ffmpeg {

size_t pictureBytes(QSize frameSize)
{
    return size_t(std::max(frameSize.width(), 0)) * size_t(std::max(frameSize.height(), 0)) * 3 / 2;
}

size_t pictureQueueLength(QSize frameSize, int frameRate)
{
    const size_t forTime = size_t(std::ceil(std::max(frameRate, 1) * pictureQueueSeconds));
    const size_t forBytes = pictureQueueBytes / std::max<size_t>(pictureBytes(frameSize), 1);
    return std::max<size_t>(std::min(forTime, forBytes), 1);
}

PictureQueue::PictureQueue(size_t buffers) : m_capacity(std::max<size_t>(buffers, 1)) {}

FramePtr PictureQueue::acquire()
{
    std::lock_guard lock(m_mutex);
    if (m_closed)
        return nullptr;
    if (m_out >= m_capacity) {
        ++m_dropped;
        return nullptr;
    }
    ++m_out;
    if (!m_spare.empty()) {
        FramePtr picture = std::move(m_spare.back());
        m_spare.pop_back();
        return picture;
    }
    return FramePtr(av_frame_alloc());
}

void PictureQueue::push(FramePtr picture)
{
    {
        std::lock_guard lock(m_mutex);
        if (!m_abandoned) {
            m_waiting.push_back(std::move(picture));
        } else {
            --m_out;
            return;
        }
    }
    m_changed.notify_one();
}

void PictureQueue::discard(FramePtr picture)
{
    ++m_dropped;
    giveBack(std::move(picture));
}

FramePtr PictureQueue::pop()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_waiting.empty() || m_closed; });
    if (m_abandoned || m_waiting.empty())
        return nullptr;
    FramePtr picture = std::move(m_waiting.front());
    m_waiting.pop_front();
    return picture;
}

void PictureQueue::recycle(FramePtr picture)
{
    giveBack(std::move(picture));
}

void PictureQueue::giveBack(FramePtr picture)
{
    std::lock_guard lock(m_mutex);
    --m_out;
    if (picture && !m_closed)
        m_spare.push_back(std::move(picture));
}

void PictureQueue::close(bool abandon)
{
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        if (abandon) {
            m_abandoned = true;
            m_out -= m_waiting.size();
            m_waiting.clear();
        }
        // Nothing converts into them any more.
        m_spare.clear();
    }
    m_changed.notify_all();
}

bool PictureQueue::abandoned() const
{
    std::lock_guard lock(m_mutex);
    return m_abandoned;
}

} // namespace platform::ffmpeg
