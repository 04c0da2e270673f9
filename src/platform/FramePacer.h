#pragma once

#include <algorithm>
#include <chrono>

namespace platform {

// When a frame source reads its frames: on the ticks of the frame rate counted from the start, at
// most one frame a tick. A tick that comes too late is skipped, never caught up: the movie shows
// the screen as it is now rather than a burst of frames. The times are handed in, so the rule
// holds whatever clock drives it.
class FramePacer {
public:
    using Clock = std::chrono::steady_clock;

    FramePacer(int frameRate, Clock::time_point start)
        // At least a microsecond: the pacing divides by it.
        : m_period(std::chrono::microseconds(std::max(1'000'000 / std::max(frameRate, 1), 1))),
          m_due(start)
    {
    }

    Clock::duration period() const { return m_period; }
    // When the next frame is to be read.
    Clock::time_point due() const { return m_due; }

    // Woken at `now` for the due tick, which is read now: the next one is the first tick after
    // `now`.
    void advance(Clock::time_point now) { m_due += m_period * (1 + (now - m_due) / m_period); }

private:
    Clock::duration m_period;
    Clock::time_point m_due;
};

} // namespace platform
