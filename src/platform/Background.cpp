#include "platform/Background.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <new>

namespace platform {
namespace {

// Long enough to keep a thread (and a recognition engine on it) between the requests of one
// sitting, short enough to give an idle program's memory back.
constexpr int idleThreadExpiryMs = 60 * 1000;

// Not an owner: the application object owns the pool.
std::atomic<QThreadPool *> pool{nullptr};

// The post routines run at the start of the application object's destruction, while what the
// jobs may still post to is there.
void finishBackgroundThreads()
{
    if (QThreadPool *threads = pool.exchange(nullptr)) {
        threads->waitForDone();
        delete threads;
    }
}

void makeBackgroundThreads()
{
    auto *threads = new QThreadPool(QCoreApplication::instance());
    threads->setObjectName(QStringLiteral("corvanta.background"));
    threads->setMaxThreadCount(QThread::idealThreadCount());
    threads->setExpiryTimeout(idleThreadExpiryMs);
    pool = threads;
    qAddPostRoutine(finishBackgroundThreads);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(makeBackgroundThreads)

QThreadPool *backgroundThreads()
{
    return pool.load();
}

int startOnIdleThreads(int most, const std::function<void()> &work)
{
    QThreadPool *threads = backgroundThreads();
    int started = 0;
    try {
        while (threads != nullptr && started < most && threads->tryStart(work))
            ++started;
    } catch (const std::bad_alloc &) {
        // Fewer helpers: the caller does what they would have done.
    }
    return started;
}

void runInBands(int count, const std::function<void(int band)> &work)
{
    std::atomic<int> next{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
    const auto takeBands = [&] {
        for (int band = next++; band < count; band = next++) {
            try {
                work(band);
            } catch (...) {
                const std::lock_guard lock(failureMutex);
                if (!failure)
                    failure = std::current_exception();
            }
        }
    };
    // The helpers use this frame: it is left only once each has taken its last band.
    QSemaphore helpersDone;
    const int helpers = startOnIdleThreads(count - 1, [&] {
        takeBands();
        helpersDone.release();
    });
    takeBands();
    helpersDone.acquire(helpers);
    if (failure)
        std::rethrow_exception(failure);
}

BandRows bandRows(int rows, int bands, int band)
{
    const int perBand = (rows + bands - 1) / bands;
    const int first = std::min(rows, band * perBand);
    return {first, std::min(rows, first + perBand) - first};
}

} // namespace platform
