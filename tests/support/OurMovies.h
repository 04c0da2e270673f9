#pragma once

#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "support/EveryFrameWritten.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <vector>

// A writer set up as the recorder sets it up: H.264 in MP4 with sound.
inline std::unique_ptr<platform::MovieWriter> ourMovieWriter(const QString &path, QSize size,
                                                             int frameRate, QString *error)
{
    platform::MovieSettings settings;
    settings.filePath = path;
    settings.frameSize = size;
    settings.frameRate = frameRate;
    settings.withAudio = true;
    return platform::FfmpegMovieWriters().create(settings, error);
}

// Writes a movie the way the recorder does: H.264 in MP4 with silent sound, every frame a
// different picture (a bar crossing a gradient), so that decoding it costs what a real
// recording costs. False, with the reason in `error`, when writing failed.
inline bool writeOurMovie(const QString &path, QSize size, int frameRate, int frames,
                          QString *error)
{
    std::unique_ptr<platform::MovieWriter> writer = ourMovieWriter(path, size, frameRate, error);
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

// `seconds` of black pictures and silence, with white pictures and a 1 kHz tone from each of
// `flashes` (seconds, rounded to a frame) for `flashSeconds`, written the way the recorder
// writes. False, with the reason in `error`, when writing failed.
inline bool writeFlashes(const QString &path, QSize size, int frameRate, double seconds,
                         const std::vector<double> &flashes, double flashSeconds, QString *error)
{
    std::unique_ptr<platform::MovieWriter> writer = ourMovieWriter(path, size, frameRate, error);
    if (!writer)
        return false;
    QImage black(size, QImage::Format_RGB32);
    black.fill(Qt::black);
    QImage white(size, QImage::Format_RGB32);
    white.fill(Qt::white);
    const auto lit = [&](double t) {
        return std::any_of(flashes.begin(), flashes.end(), [&](double flash) {
            const double start = std::round(flash * frameRate) / frameRate;
            return t >= start - 1e-9 && t < start + flashSeconds - 1e-9;
        });
    };
    const int samplesPerFrame = 44100 / frameRate;
    std::vector<float> samples(2 * samplesPerFrame);
    for (int i = 0; i < int(std::lround(seconds * frameRate)); ++i) {
        const qint64 time = qint64(i) * 1'000'000 / frameRate;
        if (!addEveryFrame(*writer, lit(double(i) / frameRate) ? white : black, time)) {
            if (error)
                *error = QStringLiteral("the encoder refused a frame");
            return false;
        }
        for (int k = 0; k < samplesPerFrame; ++k) {
            const double t = double(i * samplesPerFrame + k) / 44100;
            samples[2 * k] = samples[2 * k + 1] =
                lit(t) ? float(0.5 * std::sin(2 * M_PI * 1000 * t)) : 0.0f;
        }
        writer->addAudio(samples.data(), samplesPerFrame, time);
    }
    return writer->finish(error);
}

// Two seconds: black pictures and silence for the first, then white pictures and a 1 kHz tone
// from the same moment.
inline bool writeFlashAndBeep(const QString &path, QSize size, int frameRate, QString *error)
{
    return writeFlashes(path, size, frameRate, 2.0, {1.0}, 1.0, error);
}
