#include "capture/RecordingGif.h"

#include "platform/GifConverter.h"
#include "platform/Log.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

QString recordingMoviePath(const QString &outputPath, VideoExportFormat format)
{
    if (format != VideoExportFormat::gif)
        return outputPath;
    const QFileInfo gif(outputPath);
    return gif.path() + u'/' + gif.completeBaseName() + QStringLiteral(".mp4");
}

std::optional<QString> convertRecordingToGif(platform::GifConverter *converter,
                                             const QString &moviePath, const QString &gifPath)
{
    if (!converter)
        return QStringLiteral("GIFs cannot be made here");
    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!converter->convert(moviePath, gifPath, gifMaxFrameRate, &error))
        return error.isEmpty() ? QStringLiteral("Unknown conversion error") : error;
    qCInfo(Log::capture, "GIF made in %lld ms", clock.elapsed());
    QFile::remove(moviePath);
    return std::nullopt;
}
