#pragma once

#include <QCoreApplication>
#include <QFuture>
#include <QPointer>
#include <QPromise>
#include <QThread>
#include <QtConcurrent/QtConcurrentRun>
#include <functional>
#include <type_traits>
#include <utility>

class QThreadPool;

namespace platform {

// The program's one pool of threads for one-off work: as many as the machine has cores, each
// kept a minute after its last job (with whatever it keeps for the next, a text recognition
// engine say). It belongs to the application object: made when that is, on its thread, and
// waited for and deleted first thing when that goes. Null while there is no application object.
QThreadPool *backgroundThreads();

// Runs work() on a background thread; the future (which a coroutine co_awaits) gives its result
// on the thread that awaits it. Without an application object the work runs at once, here.
template <typename Work> auto runInBackground(Work work) -> QFuture<std::invoke_result_t<Work>>
{
    using Result = std::invoke_result_t<Work>;
    if (QThreadPool *threads = backgroundThreads())
        return QtConcurrent::run(threads, std::move(work));
    QPromise<Result> promise;
    promise.start();
    if constexpr (std::is_void_v<Result>)
        work();
    else
        promise.addResult(work());
    promise.finish();
    return promise.future();
}

// Hands the future's result to deliver() on the main thread once it is in, unless `receiver`
// (of the main thread) is gone by then: a widget closed before its picture loaded drops the
// picture. Unlike a continuation with the receiver as its context, which must still be there
// when the result comes, the application object outlives every background job.
template <typename Result, typename Deliver>
void deliverTo(QObject *receiver, QFuture<Result> future, Deliver deliver)
{
    QPointer<QObject> alive(receiver);
    QCoreApplication *app = QCoreApplication::instance();
    if (app == nullptr) {
        // Without an application object the work ran at once, here.
        if (alive)
            deliver(future.result());
        return;
    }
    future.then(app, [alive, deliver = std::move(deliver)](const Result &result) mutable {
        if (alive)
            deliver(result);
    });
}

// Starts work() on up to `most` background threads that are idle right now, never queued behind
// busy ones, and says on how many. For work shared out between the caller and helpers, where
// the caller goes on with whatever no helper took: it never waits for a busy pool.
int startOnIdleThreads(int most, const std::function<void()> &work);

// Runs work(band) for every band in [0, count) side by side, on the calling thread and on the
// background threads idle at the start, and returns once all are done. What no idle thread
// takes, the calling thread does, so it is safe on a background thread too. The first exception
// a band throws is thrown here once every band has ended.
void runInBands(int count, const std::function<void(int band)> &work);

// The rows [first, first + count) of band `band` when `rows` rows are cut into `bands` bands of
// equal height (the last may be lower, or empty).
struct BandRows {
    int first = 0;
    int count = 0;
};
BandRows bandRows(int rows, int bands, int band);

} // namespace platform
