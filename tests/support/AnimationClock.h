#pragma once

#include <QAnimationDriver>
#include <QCoreApplication>
#include <algorithm>

// Drives every Qt animation of the main thread (window fades, hover and blink animations) from a
// clock the test moves on, instead of the screen's refresh. Active for its lifetime.
class AnimationClock : public QAnimationDriver {
public:
    AnimationClock()
    {
        install();
        // Animations left running took over the driver with the time since Qt's last step on the
        // wall clock: a step at once leaves it to them, not to the test's first step.
        if (isRunning())
            advance();
    }
    ~AnimationClock() override { uninstall(); }

    qint64 elapsed() const override { return m_elapsedMs; }

    // Lets animations started since the last call join, then moves the clock on by `ms` in
    // frame-sized steps, so that an animation sees its values in between as on a screen.
    void advanceBy(int ms)
    {
        // Qt registers a started animation in two queued steps.
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        while (ms > 0) {
            const int step = std::min(ms, frameMs);
            ms -= step;
            m_elapsedMs += step;
            // Qt stops the driver once nothing runs and counts the next animation from the
            // driver's next start. A step taken meanwhile would start it again on the wall
            // clock, and the next animation would begin by the time the test spent in between.
            if (isRunning())
                advance();
            QCoreApplication::processEvents();
        }
    }

protected:
    // Qt adds the driver's time to the moment it started it.
    void start() override
    {
        m_elapsedMs = 0;
        QAnimationDriver::start();
    }

private:
    static constexpr int frameMs = 16;
    qint64 m_elapsedMs = 0;
};
