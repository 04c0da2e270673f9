#pragma once

#include "platform/ImageWriter.h"

#include <QCoreApplication>
#include <QList>
#include <QMutex>
#include <QThread>

// Keeps what it was asked to write (without writing) and answers `result`.
class FakeImageWriter : public platform::ImageWriter {
public:
    struct Call {
        QSize size;
        QString path;
        QString type;
        bool onMainThread = false;
    };

    platform::ImageWriteResult write(const QImage &image, const QString &path,
                                     const QString &type) override
    {
        QMutexLocker lock(&m_mutex);
        m_calls << Call{image.size(), path, type,
                        QThread::currentThread() == QCoreApplication::instance()->thread()};
        return result;
    }
    QList<Call> calls() const
    {
        QMutexLocker lock(&m_mutex);
        return m_calls;
    }

    platform::ImageWriteResult result;

private:
    mutable QMutex m_mutex;
    QList<Call> m_calls;
};
