#pragma once

#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "support/EveryFrameWritten.h"

#include <QImage>
#include <QPainter>
#include <vector>

// Writes a movie the way the recorder does: H.264 in MP4 with silent sound, every frame a
// different picture (a bar crossing a gradient), so that decoding it costs what a real
// recording costs. False, with the reason in `error`, when writing failed.
inline bool writeOurMovie(const QString &path, QSize size, int frameRate, int frames,
                          QString *error)
{
    platform::MovieSettings settings;
    settings.filePath = path;
    settings.frameSize = size;
    settings.frameRate = frameRate;
    settings.withAudio = true;
    platform::FfmpegMovieWriters writers;
    std::unique_ptr<platform::MovieWriter> writer = writers.create(settings, error);
    if (!writer)
        return false;
    QImage background(size, QImage::Format_RGB32);
    {
        QPainter painter(&background);
        QLinearGradient gradient(0, 0, size.width(), size.height());
        gradient.setColorAt(0, QColor(20, 40, 90));
        gradient.setColorAt(1, QColor(200, 120, 40));
        painter.fillRect(background.rect(), gradient);
    }
    const int samplesPerFrame = 44100 / frameRate;
    const std::vector<float> silence(2 * samplesPerFrame, 0.0f);
    for (int i = 0; i < frames; ++i) {
        QImage frame = background.copy();
        QPainter painter(&frame);
        painter.fillRect(QRect(i * size.width() / frames, 0, size.width() / 20, size.height()),
                         QColor::fromHsv(i * 7 % 360, 255, 255));
        painter.end();
        const qint64 time = qint64(i) * 1'000'000 / frameRate;
        if (!addEveryFrame(*writer, frame, time)) {
            if (error)
                *error = QStringLiteral("the encoder refused a frame");
            return false;
        }
        writer->addAudio(silence.data(), samplesPerFrame, time);
    }
    return writer->finish(error);
}
