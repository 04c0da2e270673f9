#pragma once

#include <optional>
#include <qcoro/qcorotask.h>

// The error of type E the task ended with, or nothing when it completed. QCoro::waitFor itself
// never returns from a task that throws, so the error is caught inside a coroutine.
template <typename E, typename T> std::optional<E> awaitError(QCoro::Task<T> task)
{
    std::optional<E> error;
    QCoro::waitFor([](QCoro::Task<T> task, std::optional<E> &error) -> QCoro::Task<> {
        try {
            co_await task;
        } catch (const E &caught) {
            error = caught;
        }
    }(std::move(task), error));
    return error;
}
