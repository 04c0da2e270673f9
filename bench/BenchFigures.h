#pragma once

#include "platform/Compositor.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QList>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

// Small helpers the benchmarks print their figures with.

inline const char *verdict(bool met)
{
    return met ? "met" : "MISSED";
}

// The one-minute load average; negative when the system does not tell it.
inline double loadAverage()
{
    double load = 0;
    return getloadavg(&load, 1) == 1 ? load : -1.0;
}

// Printed beside every figure ("load 3.42 on 8 cores"), so that a figure taken
// while other work kept the machine busy shows itself as such.
inline std::string loadNote()
{
    char text[64];
    std::snprintf(text, sizeof text, "load %.2f on %u cores", loadAverage(),
                  std::thread::hardware_concurrency());
    return text;
}

// The same for a Google Benchmark run: a "load" column beside its counters.
template <typename State> void recordLoad(State &state)
{
    state.counters["load"] = loadAverage();
}

// The median, smallest and largest of a series of timings.
struct Spread {
    double median = 0;
    double min = 0;
    double max = 0;
};

template <typename List> Spread spread(List values)
{
    if (values.isEmpty())
        return {};
    std::sort(values.begin(), values.end());
    return {values[values.size() / 2], values.front(), values.back()};
}

// Timings of one kind, each with the load average when it was taken, printed together.
struct Timings {
    QList<double> ms;
    QList<double> loads;
    qint64 bytes = 0; // the last file's size

    void add(double value, qint64 size = 0)
    {
        ms << value;
        loads << loadAverage();
        bytes = size;
    }
    double medianMs() const { return spread(ms).median; }
    double worstMs() const { return spread(ms).max; }
    // "median 150 ms (min 140, max 170; load 3.10 on 8 cores)"
    std::string text() const
    {
        const Spread times = spread(ms);
        char line[160];
        std::snprintf(line, sizeof line,
                      "median %4.0f ms (min %.0f, max %.0f; load %.2f on %u cores)", times.median,
                      times.min, times.max, spread(loads).median,
                      std::thread::hardware_concurrency());
        return line;
    }
};

// Keeps the event loop running for a while.
inline void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A memory figure of /proc/<process>/status ("VmRSS", "VmHWM") in MB; 0 when unreadable.
inline double statusMegabytes(const QString &process, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

inline double residentMegabytes()
{
    return statusMegabytes(QStringLiteral("self"), "VmRSS");
}

// Ends a helper process the benchmark started: politely, then by force.
inline void stopProcess(QProcess &process, int waitLimitMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(waitLimitMs))
        process.kill();
    process.waitForFinished(waitLimitMs);
}

// Runs the event loop until the condition holds; false when it did not within the limit.
template <typename Condition> bool waitFor(Condition condition, int limitMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// A compositing manager (xcompmgr) for the figures taken with one, stopped again by its own
// process.
class CompositingManager {
public:
    ~CompositingManager() { stopProcess(m_process, 10000); }
    bool start(const platform::Compositor &compositor)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
            return false;
        m_process.start(QStringLiteral("xcompmgr"), QStringList());
        return m_process.waitForStarted() && waitFor([&] { return compositor.isCompositing(); });
    }

private:
    QProcess m_process;
};
