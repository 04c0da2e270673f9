#pragma once

#include "platform/TextRecognizer.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <mutex>

// Answers every recognition with `result`; counts the recognitions run on the main thread.
// Between hold() and release() recognitions wait, so that a test sees what shows meanwhile.
class FakeTextRecognizer : public platform::TextRecognizer {
public:
    Result recognize(const QImage &) override
    {
        if (QThread::currentThread() == QCoreApplication::instance()->thread())
            ++onMainThread;
        std::unique_lock lock(m_mutex);
        m_released.wait(lock, [this] { return !m_held; });
        return result;
    }

    void hold()
    {
        const std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_held = false;
        }
        m_released.notify_all();
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

private:
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
};
