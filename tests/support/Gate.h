#pragma once

#include <chrono>
#include <qcoro/qcorotask.h>
#include <qcoro/qcorotimer.h>

// Holds a double's coroutine until the test opens it, so that a test can act
// while a flow is suspended inside a selection or a capture. Open lets every
// waiter through, now and later.
class Gate {
public:
    void close() { m_open = false; }
    void open() { m_open = true; }
    bool isOpen() const { return m_open; }
    // How many coroutines are waiting right now.
    int waiting() const { return m_waiting; }

    QCoro::Task<void> pass()
    {
        ++m_waiting;
        while (!m_open)
            co_await QCoro::sleepFor(std::chrono::milliseconds(5));
        --m_waiting;
    }

private:
    bool m_open = true;
    int m_waiting = 0;
};
