#pragma once

#include "platform/TextRecognizer.h"

#include <QMutex>
#include <QThread>

// Answers every recognition with `result` and notes the threads it ran on.
class FakeTextRecognizer : public platform::TextRecognizer {
public:
    Result recognize(const QImage &) override
    {
        QMutexLocker lock(&m_mutex);
        m_threads << QThread::currentThread();
        return result;
    }

    QList<QThread *> threads() const
    {
        QMutexLocker lock(&m_mutex);
        return m_threads;
    }

    // Regions that all have a reading.
    static Result lines(const QStringList &readings)
    {
        Result result;
        for (const QString &reading : readings)
            result.regions << reading;
        return result;
    }

    Result result;

private:
    mutable QMutex m_mutex;
    QList<QThread *> m_threads;
};
