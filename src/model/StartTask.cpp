#include "model/StartTask.h"

#include "platform/Log.h"

#include <exception>

namespace {

// The frame of this coroutine owns the task until it has finished; dropping the outer task
// does not end it (the frame frees itself at the end).
QCoro::Task<void> runToEnd(QCoro::Task<void> task)
{
    try {
        co_await std::move(task);
    } catch (const std::exception &error) {
        qCCritical(Log::general, "A background task failed: %s", error.what());
    } catch (...) {
        qCCritical(Log::general, "A background task failed");
    }
}

} // namespace

void startTask(QCoro::Task<void> task)
{
    runToEnd(std::move(task));
}
