#pragma once

#include <qcoro/qcorotask.h>

// Starts a flow on the main thread and returns without waiting for it: the flow keeps running
// until it finishes on its own, and an exception that escapes it is logged instead of being
// lost. The one way the program starts work that nobody waits for (hot-key and menu actions,
// background account work, the coordinator's deferred flows).
void startTask(QCoro::Task<void> task);

// The same for a flow whose result nobody reads.
template <typename T> void startTask(QCoro::Task<T> task)
{
    startTask([](QCoro::Task<T> running) -> QCoro::Task<void> {
        co_await std::move(running);
    }(std::move(task)));
}
