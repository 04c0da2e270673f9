#pragma once

#include "platform/GifConverter.h"

#include <QFile>
#include <QMutex>
#include <QStringList>

// A converter that writes "GIF89a" and the movie's bytes to the GIF's path, or with `failure`
// set fails and writes nothing. Calls are recorded as
// "convert(<movie file name>, <GIF file name>, <max frame rate>)".
class FakeGifConverter : public platform::GifConverter {
public:
    bool convert(const QString &moviePath, const QString &gifPath, int maxFrameRate,
                 QString *error) override
    {
        QMutexLocker locker(&m_mutex);
        calls.append(QStringLiteral("convert(%1, %2, %3)")
                         .arg(moviePath.section(u'/', -1), gifPath.section(u'/', -1))
                         .arg(maxFrameRate));
        if (!failure.isEmpty()) {
            if (error)
                *error = failure;
            return false;
        }
        QFile movie(moviePath);
        QFile gif(gifPath);
        if (!movie.open(QIODevice::ReadOnly) || !gif.open(QIODevice::WriteOnly)) {
            if (error)
                *error = QStringLiteral("cannot open");
            return false;
        }
        gif.write("GIF89a" + movie.readAll());
        return true;
    }

    QString failure;
    QStringList calls;

private:
    QMutex m_mutex;
};
