#pragma once

#include <coroutine>
#include <deque>

// Lets coroutines use one thing one after another, in the order they asked. A coroutine holds
// its turn as long as it keeps the Turn; the next one waiting goes on when it is dropped. A
// coroutine whose frame is destroyed while it waits leaves the queue with it, so that no turn is
// ever handed to a frame that is gone.
class TurnQueue {
public:
    class Turn {
    public:
        explicit Turn(TurnQueue &queue) : m_queue(queue) {}
        Turn(const Turn &) = delete;
        Turn &operator=(const Turn &) = delete;
        ~Turn() { m_queue.pass(); }

    private:
        TurnQueue &m_queue;
    };

    // Awaited where it is made (`const Turn turn = co_await queue.waitForTurn();`): the queue
    // keeps its address while its coroutine waits. Moved only before that (some compilers move
    // the awaiter into the frame).
    class Wait {
    public:
        explicit Wait(TurnQueue &queue) : m_queue(queue) {}
        Wait(Wait &&before) noexcept : m_queue(before.m_queue) {}
        Wait &operator=(const Wait &) = delete;
        ~Wait();

        bool await_ready() const noexcept { return !m_queue.m_taken; }
        void await_suspend(std::coroutine_handle<> waiter);
        Turn await_resume() noexcept;

    private:
        friend class TurnQueue;
        TurnQueue &m_queue;
        // Set while the coroutine waits in the queue.
        std::coroutine_handle<> m_waiter;
    };

    TurnQueue() = default;
    TurnQueue(const TurnQueue &) = delete;
    TurnQueue &operator=(const TurnQueue &) = delete;

    Wait waitForTurn() { return Wait(*this); }

private:
    void pass();

    bool m_taken = false;
    std::deque<Wait *> m_waiting;
};
