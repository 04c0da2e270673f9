#include "platform/Background.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <atomic>
#include <gtest/gtest.h>
#include <qcoro/qcorofuture.h>
#include <qcoro/qcorotask.h>
#include <stdexcept>
#include <vector>

namespace {

using platform::backgroundThreads;
using platform::bandRows;
using platform::runInBackground;
using platform::runInBands;

// Keeps every background thread busy until it goes.
class BusyPool {
public:
    BusyPool()
    {
        QThreadPool &threads = *backgroundThreads();
        for (int i = 0; i < threads.maxThreadCount(); ++i) {
            threads.start([this] {
                m_started.release();
                m_release.acquire();
            });
        }
        m_started.acquire(threads.maxThreadCount());
    }
    ~BusyPool()
    {
        m_release.release(backgroundThreads()->maxThreadCount());
        backgroundThreads()->waitForDone();
    }

private:
    QSemaphore m_started;
    QSemaphore m_release;
};

TEST(Background, OnePoolComesWithTheApplicationObject)
{
    QThreadPool *threads = backgroundThreads();
    ASSERT_NE(threads, nullptr);
    EXPECT_EQ(threads->parent(), QCoreApplication::instance());
    EXPECT_EQ(threads->maxThreadCount(), QThread::idealThreadCount());
    EXPECT_NE(threads, QThreadPool::globalInstance());
}

TEST(Background, WorkRunsOnThePoolAndItsResultIsAwaited)
{
    const auto awaited = []() -> QCoro::Task<QThread *> {
        QFuture<QThread *> running = runInBackground([] { return QThread::currentThread(); });
        co_return co_await running;
    };
    QThread *const worker = QCoro::waitFor(awaited());
    EXPECT_NE(worker, QThread::currentThread());
    EXPECT_TRUE(backgroundThreads()->contains(worker));

    QFuture<void> failing = runInBackground([] { throw std::runtime_error("no"); });
    EXPECT_ANY_THROW(failing.waitForFinished());
}

TEST(Background, EveryBandRunsOnce)
{
    constexpr int count = 200;
    std::vector<std::atomic<int>> runs(count);
    runInBands(count, [&](int band) { ++runs[size_t(band)]; });
    for (int band = 0; band < count; ++band)
        EXPECT_EQ(runs[size_t(band)].load(), 1) << band;
}

TEST(Background, BandsNeverWaitForABusyPool)
{
    const BusyPool busy;
    std::vector<QThread *> ranOn(8);
    runInBands(8, [&](int band) { ranOn[size_t(band)] = QThread::currentThread(); });
    EXPECT_EQ(ranOn, std::vector<QThread *>(8, QThread::currentThread()));
}

TEST(Background, BandsOnABackgroundThreadFinishWithTheRestOfThePoolBusy)
{
    // One thread left free, for a job that splits its own work into bands.
    QThreadPool &threads = *backgroundThreads();
    QSemaphore started;
    QSemaphore release;
    const int others = threads.maxThreadCount() - 1;
    for (int i = 0; i < others; ++i) {
        threads.start([&] {
            started.release();
            release.acquire();
        });
    }
    started.acquire(others);
    QFuture<int> job = runInBackground([] {
        std::atomic<int> sum = 0;
        runInBands(16, [&](int band) { sum += band; });
        return sum.load();
    });
    job.waitForFinished();
    release.release(others);
    threads.waitForDone();
    EXPECT_EQ(job.result(), 120);
}

TEST(Background, ABandsFailureReachesTheCallerAfterTheOtherBands)
{
    std::atomic<int> finished = 0;
    EXPECT_THROW(runInBands(12,
                            [&](int band) {
                                if (band == 3)
                                    throw std::runtime_error("band 3");
                                ++finished;
                            }),
                 std::runtime_error);
    EXPECT_EQ(finished.load(), 11);
}

TEST(Background, RowsAreCutIntoEqualBands)
{
    const auto cut = [](int rows, int bands) {
        std::vector<std::pair<int, int>> result;
        for (int band = 0; band < bands; ++band) {
            const platform::BandRows part = bandRows(rows, bands, band);
            result.emplace_back(part.first, part.count);
        }
        return result;
    };
    using Rows = std::vector<std::pair<int, int>>;
    EXPECT_EQ(cut(10, 4), (Rows{{0, 3}, {3, 3}, {6, 3}, {9, 1}}));
    EXPECT_EQ(cut(2, 4), (Rows{{0, 1}, {1, 1}, {2, 0}, {2, 0}}));
    EXPECT_EQ(cut(2160, 1), (Rows{{0, 2160}}));
}

} // namespace
