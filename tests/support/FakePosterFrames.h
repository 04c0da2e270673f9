#pragma once

#include "platform/PosterFrames.h"

#include <QColor>
#include <QMap>
#include <QMutex>
#include <QStringList>

// Poster frames from a table: the frame for a time is frames[seconds], or fails with
// "no frame at <seconds>" when the table has none. Calls are recorded as
// "frameAt(<file name>, <seconds>)".
class FakePosterFrames : public platform::PosterFrames {
public:
    FakePosterFrames()
    {
        QImage frame(64, 48, QImage::Format_RGB32);
        frame.fill(QColor(200, 40, 40));
        frames.insert(0.1, frame);
    }

    QImage frameAt(const QString &filePath, double seconds, QString *error) override
    {
        QMutexLocker locker(&m_mutex);
        calls.append(
            QStringLiteral("frameAt(%1, %2)").arg(filePath.section(u'/', -1)).arg(seconds));
        if (frames.contains(seconds))
            return frames.value(seconds);
        if (error)
            *error = QStringLiteral("no frame at %1").arg(seconds);
        return {};
    }

    QMap<double, QImage> frames;
    QStringList calls;

private:
    QMutex m_mutex;
};
