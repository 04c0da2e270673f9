#pragma once

#include "platform/MovieWriter.h"

#include <QFile>
#include <QMutex>
#include <memory>

// Movie writers that create their file like the real one and keep what they were given in
// `last` (the most recent writer's record). A finish without a frame fails like the real
// one; `finishFailure` fails every finish, `createFailure` every creation.
class FakeMovieWriters : public platform::MovieWriters {
public:
    struct Record {
        mutable QMutex mutex;
        platform::MovieSettings settings;
        int videoFrames = 0;
        int audioFrames = 0;
        QList<qint64> frameTimes;
        bool finished = false;
        bool cancelled = false;
    };

    std::unique_ptr<platform::MovieWriter> create(const platform::MovieSettings &settings,
                                                  QString *error) override
    {
        ++createCount;
        if (!createFailure.isEmpty()) {
            if (error)
                *error = createFailure;
            return nullptr;
        }
        QFile file(settings.filePath);
        file.open(QIODevice::WriteOnly);
        last = std::make_shared<Record>();
        last->settings = settings;
        return std::make_unique<Writer>(last, finishFailure);
    }

    std::shared_ptr<Record> last;
    QString createFailure;
    QString finishFailure;
    int createCount = 0;

private:
    class Writer : public platform::MovieWriter {
    public:
        Writer(std::shared_ptr<Record> record, QString finishFailure)
            : m_record(std::move(record)), m_finishFailure(std::move(finishFailure))
        {
        }

        void addVideoFrame(const QImage &frame, qint64 steadyTimeUs) override
        {
            QMutexLocker locker(&m_record->mutex);
            ++m_record->videoFrames;
            m_record->frameTimes.append(steadyTimeUs);
        }
        void addAudio(const float *, int frames, qint64) override
        {
            QMutexLocker locker(&m_record->mutex);
            m_record->audioFrames += frames;
        }
        int droppedFrames() const override { return 0; }
        bool finish(QString *error) override
        {
            QMutexLocker locker(&m_record->mutex);
            QString failure = m_finishFailure;
            if (failure.isEmpty() && m_record->videoFrames == 0)
                failure = QStringLiteral("No video frames were recorded");
            if (!failure.isEmpty()) {
                if (error)
                    *error = failure;
                return false;
            }
            m_record->finished = true;
            return true;
        }
        void cancel() override
        {
            QMutexLocker locker(&m_record->mutex);
            m_record->cancelled = true;
        }

    private:
        std::shared_ptr<Record> m_record;
        QString m_finishFailure;
    };
};
