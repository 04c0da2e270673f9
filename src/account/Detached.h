#pragma once

#include <qcoro/qcorotask.h>

// Runs a task that nobody waits for. It must handle its own failures; anything that still
// escapes is dropped, since nobody is there to be told.
inline QCoro::Task<void> detached(QCoro::Task<void> task)
{
    try {
        co_await std::move(task);
    } catch (...) {
    }
}
