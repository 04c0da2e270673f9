#pragma once

#include "model/CaptureItem.h"
#include "platform/Background.h"

#include <QColor>
#include <QDateTime>
#include <QImage>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThreadPool>

// Holds the background threads busy, so that background writes queue up
// until it is released: a screenshot's image then stays in memory.
class PoolBlocker {
public:
    PoolBlocker()
    {
        QThreadPool *pool = platform::backgroundThreads();
        pool->waitForDone(10000);
        m_maxThreads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        pool->start([this] { m_release.acquire(); });
    }
    ~PoolBlocker() { release(); }
    void release()
    {
        if (m_released)
            return;
        m_released = true;
        m_release.release();
        platform::backgroundThreads()->setMaxThreadCount(m_maxThreads);
        platform::backgroundThreads()->waitForDone(10000);
    }

private:
    QSemaphore m_release;
    int m_maxThreads = 0;
    bool m_released = false;
};

inline QImage filledImage(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Pixels of noise, the same for the same seed: its PNG is large enough to be damaged in its
// middle (spoilFile), and two seeds give pictures that differ everywhere.
inline QImage noisyImage(int width, int height, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return image;
}

// A distinct second for every call, so that names from different tests
// never collide.
inline QDateTime nextCaptureTime()
{
    static QDateTime next(QDate(2026, 12, 6), QTime(14, 5, 9));
    next = next.addSecs(60);
    return next;
}

inline CaptureItem makeScreenshot(const QImage &image,
                                  const QDateTime &createdAt = nextCaptureTime())
{
    return CaptureItem(QUuid::createUuid(), createdAt, std::nullopt, CaptureMode::area, image,
                       std::nullopt, std::nullopt, CaptureItemState::pending());
}

inline CaptureItem makeRecording(const QString &moviePath,
                                 const QDateTime &createdAt = nextCaptureTime())
{
    return CaptureItem(QUuid::createUuid(), createdAt, 1u, CaptureMode::recording,
                       filledImage(64, 36, Qt::blue), std::nullopt, QUrl::fromLocalFile(moviePath),
                       CaptureItemState::pending());
}

inline void waitForWrites()
{
    platform::backgroundThreads()->waitForDone(10000);
}
