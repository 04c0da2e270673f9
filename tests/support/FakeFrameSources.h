#pragma once

#include "platform/FrameSource.h"

#include <QColor>
#include <QImage>
#include <QMutex>
#include <memory>

// Frame sources that deliver only when the test says so, on the test's thread: deliverFrame()
// hands a frame of the requested size to the running stream, end() reports the source gone.
// `failure` makes starts fail with that reason.
class FakeFrameSources : public platform::FrameSources {
public:
    std::unique_ptr<platform::FrameStream> start(const platform::FrameSourceRequest &request,
                                                 FrameSink frames, EndSink ended,
                                                 QString *error) override
    {
        QMutexLocker locker(&m_state->mutex);
        ++startCount;
        lastRequest = request;
        if (!failure.isEmpty()) {
            if (error)
                *error = failure;
            return nullptr;
        }
        m_state->frames = std::move(frames);
        m_state->ended = std::move(ended);
        m_state->frameSize = request.frameSize;
        m_state->running = true;
        return std::make_unique<Stream>(m_state);
    }

    bool isRunning() const
    {
        QMutexLocker locker(&m_state->mutex);
        return m_state->running;
    }

    void deliverFrame(qint64 steadyTimeUs, QColor colour = Qt::darkCyan)
    {
        QMutexLocker locker(&m_state->mutex);
        if (!m_state->running)
            return;
        QImage frame(m_state->frameSize, QImage::Format_RGB32);
        frame.fill(colour);
        m_state->frames(frame, steadyTimeUs);
    }

    void end(const QString &reason)
    {
        QMutexLocker locker(&m_state->mutex);
        if (m_state->running)
            m_state->ended(reason);
    }

    std::optional<platform::FrameSourceRequest> lastRequest;
    QString failure;
    int startCount = 0;

private:
    struct State {
        mutable QMutex mutex;
        FrameSink frames;
        EndSink ended;
        QSize frameSize;
        bool running = false;
    };

    class Stream : public platform::FrameStream {
    public:
        explicit Stream(std::shared_ptr<State> state) : m_state(std::move(state)) {}
        ~Stream() override { stop(); }
        void stop() override
        {
            QMutexLocker locker(&m_state->mutex);
            m_state->running = false;
        }

    private:
        std::shared_ptr<State> m_state;
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
};
