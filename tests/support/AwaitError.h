#pragma once

#include "support/BuildSlowdown.h"

#include <QEventLoop>
#include <QTimer>
#include <exception>
#include <memory>
#include <optional>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <stdexcept>
#include <string>
#include <type_traits>

// How long a test waits for a task before it fails: far beyond what any task of a working
// program takes, and far below ctest's limit for the whole test, so that a task that never ends
// fails its test with a message instead of hanging it.
inline constexpr int awaitLimitMs = 30000 * buildSlowdown;

// Thrown into the test when the task it waits for has not ended within the limit; the task goes
// on running, detached from the test.
class TaskDidNotEnd : public std::runtime_error {
public:
    explicit TaskDidNotEnd(int limitMs)
        : std::runtime_error("the awaited task did not end within " + std::to_string(limitMs) +
                             " ms")
    {
    }
};

namespace awaitDetail {

template <typename T> struct Outcome {
    bool ended = false;
    std::conditional_t<std::is_void_v<T>, bool, std::optional<T>> value{};
    std::exception_ptr error;
    QEventLoop *loop = nullptr;
};

// Runs the event loop until the task ends, for at most `limitMs`. Unlike QCoro::waitFor, an
// error the task ends with after it was suspended comes back here too.
template <typename T> std::shared_ptr<Outcome<T>> runUntilEnded(QCoro::Task<T> task, int limitMs)
{
    auto outcome = std::make_shared<Outcome<T>>();
    // Owns the outcome with the test, so that a task that ends after the test gave up on it
    // writes into memory that is still there.
    QCoro::Task<> watcher = [](QCoro::Task<T> task,
                               std::shared_ptr<Outcome<T>> outcome) -> QCoro::Task<> {
        try {
            if constexpr (std::is_void_v<T>)
                co_await std::move(task);
            else
                outcome->value.emplace(co_await std::move(task));
        } catch (...) {
            outcome->error = std::current_exception();
        }
        outcome->ended = true;
        if (outcome->loop)
            outcome->loop->quit();
    }(std::move(task), outcome);
    if (!outcome->ended) {
        QEventLoop loop;
        outcome->loop = &loop;
        QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
        loop.exec();
        outcome->loop = nullptr;
    }
    if (!outcome->ended)
        throw TaskDidNotEnd(limitMs);
    return outcome;
}

} // namespace awaitDetail

// The task's result, running the event loop meanwhile; its error is thrown here, and
// TaskDidNotEnd when it has not ended within the limit.
template <typename T> T awaited(QCoro::Task<T> task, int limitMs = awaitLimitMs)
{
    auto outcome = awaitDetail::runUntilEnded(std::move(task), limitMs);
    if (outcome->error)
        std::rethrow_exception(outcome->error);
    if constexpr (!std::is_void_v<T>)
        return std::move(*outcome->value);
}

// The future's result, as awaited() gives a task's.
template <typename T> T awaited(const QFuture<T> &future, int limitMs = awaitLimitMs)
{
    return awaited(qCoro(future).waitForFinished(), limitMs);
}

// The error of type E the task ended with, or nothing when it completed; any other error is
// thrown here, and TaskDidNotEnd when the task has not ended within the limit.
template <typename E, typename T>
std::optional<E> awaitError(QCoro::Task<T> task, int limitMs = awaitLimitMs)
{
    auto outcome = awaitDetail::runUntilEnded(std::move(task), limitMs);
    if (!outcome->error)
        return std::nullopt;
    try {
        std::rethrow_exception(outcome->error);
    } catch (const E &error) {
        return error;
    }
}
