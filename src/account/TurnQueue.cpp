#include "account/TurnQueue.h"

#include <algorithm>
#include <utility>

TurnQueue::Wait::~Wait()
{
    // Only a frame destroyed while it waits still has its place in the queue.
    if (m_waiter)
        std::erase(m_queue.m_waiting, this);
}

void TurnQueue::Wait::await_suspend(std::coroutine_handle<> waiter)
{
    m_waiter = waiter;
    m_queue.m_waiting.push_back(this);
}

TurnQueue::Turn TurnQueue::Wait::await_resume() noexcept
{
    m_queue.m_taken = true;
    return Turn(m_queue);
}

void TurnQueue::pass()
{
    m_taken = false;
    if (m_waiting.empty())
        return;
    Wait *next = m_waiting.front();
    m_waiting.pop_front();
    std::exchange(next->m_waiter, {}).resume();
}
