// How long a recording stopped as a GIF takes to become the GIF: a 10 s 1920x1080 movie at
// 30 fps (written by the recorder's own movie writer from painted frames that look like a busy
// desktop: windows, text, a moving gradient and a moving pointer) converted by our converter,
// against `ffmpeg -i in.mp4 -vf "fps=30,split[a][b];[a]palettegen[p];[b][p]paletteuse" out.gif`
// on the same movie in the same run, alternately, three times each. Prints the medians, their
// ratio against the target and the load average beside each figure; run by scripts/bench.

#include "BenchFigures.h"
#include "platform/ffmpeg/FfmpegGifConverter.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int seconds = 10;
constexpr int frameRate = 30;
constexpr int runs = 3;
constexpr double ratioTarget = 1.2;
const QSize movieSize(1920, 1080);

QImage desktopFrame(int index)
{
    QImage frame(movieSize, QImage::Format_RGB32);
    const double t = double(index) / frameRate;
    QPainter painter(&frame);
    QLinearGradient background(0, 0, movieSize.width(), movieSize.height());
    background.setColorAt(0, QColor::fromHsv(int(t * 12) % 360, 120, 180));
    background.setColorAt(1, QColor::fromHsv(int(200 + t * 12) % 360, 160, 90));
    painter.fillRect(frame.rect(), background);
    for (int w = 0; w < 4; ++w) {
        const QRect window(100 + w * 380 + int(std::sin(t + w) * 40), 120 + w * 140, 700, 520);
        painter.fillRect(window, QColor(245, 245, 245));
        painter.fillRect(window.adjusted(0, 0, 0, -490), QColor(60 + w * 40, 90, 160));
        painter.setPen(Qt::black);
        for (int line = 0; line < 20; ++line)
            painter.drawText(window.left() + 12, window.top() + 50 + line * 22,
                             QStringLiteral("Line %1 of window %2: the quick brown fox %3")
                                 .arg(line)
                                 .arg(w)
                                 .arg((index / 5 + line) % 97));
    }
    painter.setBrush(Qt::white);
    painter.setPen(Qt::black);
    const QPointF pointer(960 + 700 * std::cos(t), 540 + 400 * std::sin(t * 1.3));
    painter.drawPolygon(QPolygonF({pointer, pointer + QPointF(0, 22), pointer + QPointF(15, 15)}));
    return frame;
}

bool writeMovie(const QString &path)
{
    platform::FfmpegMovieWriters writers;
    platform::MovieSettings settings;
    settings.filePath = path;
    settings.frameSize = movieSize;
    settings.frameRate = frameRate;
    QString error;
    std::unique_ptr<platform::MovieWriter> writer = writers.create(settings, &error);
    if (!writer) {
        std::printf("the movie could not be made: %s\n", qPrintable(error));
        return false;
    }
    // Handed over at the pace of a recording, so that the encoder keeps every frame.
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < seconds * frameRate; ++i) {
        const qint64 at = qint64(i) * 1'000'000 / frameRate;
        const QImage frame = desktopFrame(i);
        QThread::usleep(std::max<qint64>(0, at - clock.nsecsElapsed() / 1000));
        writer->addVideoFrame(frame, at);
    }
    if (writer->droppedFrames() > 0)
        std::printf("  (the movie writer dropped %d frames)\n", writer->droppedFrames());
    if (!writer->finish(&error)) {
        std::printf("the movie could not be made: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

struct Run {
    double seconds = 0;
    QString load;
    qint64 bytes = 0;
};

std::optional<Run> timeOurs(const QString &movie, const QString &gif)
{
    QFile::remove(gif);
    platform::FfmpegGifConverter converter;
    Run run;
    run.load = QString::number(loadAverage(), 'f', 2);
    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!converter.convert(movie, gif, frameRate, &error)) {
        std::printf("our conversion failed: %s\n", qPrintable(error));
        return std::nullopt;
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.bytes = QFileInfo(gif).size();
    return run;
}

std::optional<Run> timeFfmpeg(const QString &movie, const QString &gif)
{
    QFile::remove(gif);
    Run run;
    run.load = QString::number(loadAverage(), 'f', 2);
    QElapsedTimer clock;
    clock.start();
    QProcess ffmpeg;
    ffmpeg.start(
        QStringLiteral("ffmpeg"),
        {"-v", "error", "-y", "-i", movie, "-vf",
         QStringLiteral("fps=%1,split[a][b];[a]palettegen[p];[b][p]paletteuse").arg(frameRate),
         gif});
    if (!ffmpeg.waitForFinished(600'000) || ffmpeg.exitCode() != 0) {
        stopProcess(ffmpeg, 5000);
        std::printf("ffmpeg failed: %s\n", ffmpeg.readAllStandardError().constData());
        return std::nullopt;
    }
    run.seconds = clock.nsecsElapsed() / 1e9;
    run.bytes = QFileInfo(gif).size();
    return run;
}

Run median(std::vector<Run> all)
{
    std::sort(all.begin(), all.end(),
              [](const Run &a, const Run &b) { return a.seconds < b.seconds; });
    return all[all.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    // Painting the frames needs no display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()) {
        std::printf("GifBench needs the ffmpeg program to compare with\n");
        return 0;
    }
    QTemporaryDir folder;
    const QString movie = folder.filePath(QStringLiteral("in.mp4"));
    if (!writeMovie(movie))
        return 1;

    std::vector<Run> ours;
    std::vector<Run> theirs;
    for (int i = 0; i < runs; ++i) {
        const std::optional<Run> a = timeOurs(movie, folder.filePath(QStringLiteral("ours.gif")));
        const std::optional<Run> b =
            timeFfmpeg(movie, folder.filePath(QStringLiteral("ffmpeg.gif")));
        if (!a || !b)
            return 1;
        ours.push_back(*a);
        theirs.push_back(*b);
        std::printf("  run %d: Corvanta %.2f s (load %s), ffmpeg %.2f s (load %s)\n", i + 1,
                    a->seconds, qPrintable(a->load), b->seconds, qPrintable(b->load));
    }
    const Run a = median(ours);
    const Run b = median(theirs);
    const double ratio = a.seconds / b.seconds;
    std::printf("GIF from a %d s %dx%d movie at %d fps: Corvanta %.2f s (load %s, %.1f MB), ffmpeg "
                "%.2f s (load %s, %.1f MB): %.2fx (target <= %.1fx) %s\n",
                seconds, movieSize.width(), movieSize.height(), frameRate, a.seconds,
                qPrintable(a.load), a.bytes / 1e6, b.seconds, qPrintable(b.load), b.bytes / 1e6,
                ratio, ratioTarget, verdict(ratio <= ratioTarget));
    return 0;
}
