#pragma once

#include "platform/TextRecognizer.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>

// Answers every recognition with `result`; counts the recognitions run on the main thread.
class FakeTextRecognizer : public platform::TextRecognizer {
public:
    Result recognize(const QImage &) override
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++onMainThread;
        return result;
    }

    // Regions that all have a reading.
    void answer(const QStringList &readings)
    {
        result = {};
        for (const QString &reading : readings)
            result.regions << reading;
    }

    Result result;
    std::atomic<int> onMainThread = 0;
};
