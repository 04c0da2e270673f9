// Recordings of ours played in the preview on a real X server, from the Play button to the end:
// a 1920x1080 movie at 60 frames a second and a 3840x2160 one at 30. For each: the frames that
// reached the picture late (more than one frame time behind the steady pace) or never, the longest
// time the main thread was busy at a stretch while playing, and the resident memory while
// playing above that of the preview open and idle. Prints figures; run by scripts/bench.
//
// harness-screen: 1920x1080x24
//
// By hand: CORVANTA_SCREEN=1920x1080x24 scripts/harness -- build/bench/PlaybackBench
// With a sound server (scripts/harness --pulse) the movie's sound plays too, as on a desktop with a
// sound card.

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "desktop/DesktopPreview.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/FreedMemory.h"
#include "platform/ffmpeg/FfmpegMoviePlayer.h"
#include "platform/x11/X11Platform.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "support/OurMovies.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <ctime>

namespace {

constexpr int seconds = 10;
// The main thread is asked to run something this often; a longer gap is time it was busy.
constexpr int heartbeatMs = 2;

struct Movie {
    QSize size;
    int frameRate = 30;
};

struct Figures {
    int frames = 0;
    int shown = 0;
    int late = 0;
    double longestBusyMs = 0;
    // The same counted in the main thread's own CPU time: what it worked, not what it waited
    // for a CPU on a busy machine.
    double longestWorkMs = 0;
    double idleMb = 0;
    double peakMb = 0;
    double playedMs = 0;
    bool ended = false;
};

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

Figures play(const CaptureItem &recording, CaptureQueue &queue, platform::Displays &displays,
             int frames, int frameRate)
{
    const std::unique_ptr<QuickLookPreviewController> shown = makeDesktopPreview(displays, queue);
    QuickLookPreviewController &preview = *shown;
    preview.show(recording, queue, {}, {}, {});
    auto *window = static_cast<QtPreviewWindow *>(preview.window());
    auto *view = window->widget()->findChild<QuickLookPreviewView *>();
    waitFor([&] { return window->widget()->windowHandle()->isExposed() && view->player(); });
    runEventLoop(1000);
    returnFreedMemory();
    Figures figures;
    figures.frames = frames;
    figures.idleMb = residentMegabytes();
    figures.peakMb = figures.idleMb;

    platform::MoviePlayer *player = view->player();
    const qint64 frameUs = 1'000'000 / frameRate;
    QElapsedTimer clock;
    // How long after its place in the movie each frame reached the picture.
    QHash<qint64, qint64> delays;
    QObject::connect(player, &platform::MoviePlayer::frameChanged, [&] {
        const qint64 time = player->currentFrameTime();
        if (player->isPlaying() && !delays.contains(time))
            delays.insert(time, clock.nsecsElapsed() / 1000 - time);
    });
    QObject::connect(player, &platform::MoviePlayer::reachedEnd, [&] { figures.ended = true; });

    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    QElapsedTimer sinceBeat;
    double lastCpuMs = 0;
    QElapsedTimer sinceSample;
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const double gap = sinceBeat.nsecsElapsed() / 1e6;
        sinceBeat.restart();
        figures.longestBusyMs = std::max(figures.longestBusyMs, gap - heartbeatMs);
        const double worked = threadCpuMs();
        figures.longestWorkMs = std::max(figures.longestWorkMs, worked - lastCpuMs);
        lastCpuMs = worked;
        if (sinceSample.elapsed() >= 100) {
            sinceSample.restart();
            figures.peakMb = std::max(figures.peakMb, residentMegabytes());
        }
    });
    clock.start();
    sinceBeat.start();
    lastCpuMs = threadCpuMs();
    sinceSample.start();
    heartbeat.start(heartbeatMs);
    view->togglePlayback();
    waitFor([&] { return figures.ended; }, seconds * 1000 * 4);
    figures.playedMs = clock.nsecsElapsed() / 1e6;
    heartbeat.stop();
    figures.shown = int(delays.size());
    // Late: shown more than a frame time behind the steady pace, the median delay (starting
    // takes what it takes; a movie that falls behind as it plays has its later frames late).
    if (!delays.isEmpty()) {
        QList<qint64> sorted = delays.values();
        std::sort(sorted.begin(), sorted.end());
        const qint64 pace = sorted[sorted.size() / 2];
        for (qint64 delay : std::as_const(sorted))
            figures.late += delay - pace > frameUs ? 1 : 0;
    }
    preview.close();
    runEventLoop(500);
    return figures;
}

void report(const char *name, const Movie &movie, const Figures &f)
{
    const int missing = std::max(f.frames - f.shown, 0);
    const double badShare = 100.0 * (f.late + missing) / std::max(f.frames, 1);
    std::printf("%s, %d s at %d fps (%d frames), Play to the end in the preview%s: "
                "%.1f s; %d frames shown, %d late, %d dropped = %.1f %% "
                "(target <= 2 %%: %s) [%s]\n",
                name, seconds, movie.frameRate, f.frames, f.ended ? "" : " (NOT REACHED)",
                f.playedMs / 1000, f.shown, f.late, missing, badShare,
                verdict(f.ended && badShare <= 2), loadNote().c_str());
    std::printf("  main thread busy at most %.1f ms at a stretch while playing (target <= 50 ms: "
                "%s); of that, working at most %.1f ms of its own CPU time [%s]\n",
                f.longestBusyMs, verdict(f.longestBusyMs <= 50), f.longestWorkMs,
                loadNote().c_str());
    std::printf("  resident memory: %.1f MB open and idle, %.1f MB at most while playing "
                "(+%.1f MB, target <= 150: %s) [%s]\n",
                f.idleMb, f.peakMb, f.peakMb - f.idleMb, verdict(f.peakMb - f.idleMb <= 150),
                loadNote().c_str());
}

} // namespace

int main(int argc, char **argv)
{
    platform::selectMovieBackend();
    QApplication app(argc, argv);
    BenchEnvironment environment;
    platform::ScreenshotPlatform desktop = platform::makeX11ScreenshotPlatform();
    QTemporaryDir folder;
    CaptureQueue queue(10);
    const std::pair<const char *, Movie> movies[] = {
        {"1920x1080 recording", {QSize(1920, 1080), 60}},
        {"3840x2160 recording", {QSize(3840, 2160), 30}},
    };
    for (const auto &[name, movie] : movies) {
        const QString path = folder.filePath(QStringLiteral("%1.mp4").arg(movie.size.width()));
        const int frames = seconds * movie.frameRate;
        QString error;
        if (!writeOurMovie(path, movie.size, movie.frameRate, frames, &error)) {
            std::printf("%s: could not write the movie: %s\n", name, qPrintable(error));
            return 1;
        }
        QImage poster(160, 90, QImage::Format_RGB32);
        poster.fill(Qt::darkBlue);
        const CaptureItem recording(QUuid::createUuid(), QDateTime::currentDateTime(), 1u,
                                    CaptureMode::recording, poster, std::nullopt,
                                    QUrl::fromLocalFile(path), CaptureItemState::pending());
        queue.enqueue(recording);
        report(name, movie, play(recording, queue, *desktop.displays, frames, movie.frameRate));
        queue.remove(recording.id());
    }
    return 0;
}
