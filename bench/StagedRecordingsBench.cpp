// What staged recordings keep, on a real X server: ten recordings in a row at 1920×1080 and ten
// at 3840×2160, each stopped, staged as the coordinator stages it and left in a queue of 16; the
// resident memory once idle after each (what a further staged recording adds), the peak of each
// recording from its start to its staging, and how soon the preview of a staged 4K recording
// shows its full poster frame after the hover delay. A child process (this program again, with
// --animate) repaints a moving pattern over what is recorded. Every figure is printed with the
// load average at the time. Prints figures; run by scripts/bench.
//
// harness-screen: 3840x2160x24
//
// By hand: CORVANTA_SCREEN=3840x2160x24 scripts/harness -- build/bench/StagedRecordingsBench

#include "BenchAnimation.h"
#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "BenchPreview.h"
#include "app/DesktopPlatform.h"
#include "capture/ScreenRecordingService.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/FreedMemory.h"
#include "platform/Background.h"
#include "platform/RecordingPlatform.h"
#include "platform/x11/X11Platform.h"
#include "preview/PreviewMediaView.h"
#include "preview/QtPreviewWindow.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"

#include <QApplication>
#include <QThreadPool>
#include <QWindow>

#include <cstdio>
#include <optional>
#include <qcoro/qcorotask.h>

namespace {

constexpr int runs = 10;
constexpr int queueCapacity = 16;
constexpr int recordSeconds = 5;
constexpr int frameRate = 60;
// After a recording is staged and its poster written, the program sits idle this long before its
// memory is read.
constexpr int settleMs = 1500;
constexpr double growthPerRecordingTargetMb = 1.0;
constexpr double peakSpreadTargetPercent = 5.0;
constexpr double largePeakTargetMb = 600;
constexpr int previewRuns = 5;
constexpr double posterShownTargetMs = 100;
const QSize smallSize(1920, 1080);
const QSize largeSize(3840, 2160);

// The high-water mark of the resident memory starts again from what is resident now.
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

QCoro::Task<std::optional<RecordingResult>> stopped(ScreenRecordingService &recorder,
                                                    QString *error)
{
    try {
        RecordingResult result = co_await recorder.stopRecording();
        co_return result;
    } catch (const CaptureError &caught) {
        *error = caught.errorDescription();
    }
    co_return std::nullopt;
}

QCoro::Task<bool> started(ScreenRecordingService &recorder, const platform::Display &display,
                          std::optional<QRectF> area, QString *error)
{
    try {
        co_await recorder.startRecording(display.id, area, std::nullopt, VideoExportFormat::mp4,
                                         frameRate, false);
        co_return true;
    } catch (const CaptureError &caught) {
        *error = caught.errorDescription();
    }
    co_return false;
}

struct Run {
    double idleMb = 0;
    double peakMb = 0;
};

// One recording of the display's top-left `size`, staged into the queue; nothing when it failed.
std::optional<Run> recordAndStage(ScreenRecordingService &recorder, CaptureQueue &queue,
                                  const platform::Display &display, QSize size)
{
    const std::optional<QRectF> area = size == display.rootRect.size()
                                           ? std::nullopt
                                           : std::optional<QRectF>(QRectF(QPointF(0, 0), size));
    QString error;
    resetPeak();
    if (!QCoro::waitFor(started(recorder, display, area, &error))) {
        std::printf("the recording did not start: %s\n", qPrintable(error));
        return std::nullopt;
    }
    runEventLoop(recordSeconds * 1000);
    const std::optional<RecordingResult> result = QCoro::waitFor(stopped(recorder, &error));
    if (!result) {
        std::printf("the recording did not stop: %s\n", qPrintable(error));
        return std::nullopt;
    }
    queue.enqueue(makeRecordingCapture(*result));
    platform::backgroundThreads()->waitForDone();
    Run run;
    run.peakMb = statusMegabytes(QStringLiteral("self"), "VmHWM");
    runEventLoop(settleMs);
    run.idleMb = residentMegabytes();
    return run;
}

// Ten recordings of one size in a row, all staged: the memory each further one adds, and the
// peaks. Answers the queue, whose last recording the preview is timed with.
QList<Run> recordingsInARow(ScreenRecordingService &recorder, CaptureQueue &queue,
                            const platform::Display &display, QSize size)
{
    QList<Run> done;
    for (int i = 1; i <= runs; ++i) {
        const std::optional<Run> run = recordAndStage(recorder, queue, display, size);
        if (!run)
            break;
        done << *run;
        std::printf("  %dx%d recording %d staged (%d in the queue): idle %.1f MB, peak %.1f MB "
                    "[%s]\n",
                    size.width(), size.height(), i, int(queue.items().size()), run->idleMb,
                    run->peakMb, loadNote().c_str());
        std::fflush(stdout);
    }
    if (done.size() < 2)
        return done;
    const double perRecording = (done.last().idleMb - done.first().idleMb) / (done.size() - 1);
    std::printf("Resident memory per further staged %dx%d recording: %.2f MB (%.1f MB after the "
                "first, %.1f MB after the %dth; target <= %.0f MB) %s [%s]\n",
                size.width(), size.height(), perRecording, done.first().idleMb, done.last().idleMb,
                int(done.size()), growthPerRecordingTargetMb,
                verdict(perRecording <= growthPerRecordingTargetMb), loadNote().c_str());
    double worstSpread = 0;
    double highest = 0;
    for (const Run &run : std::as_const(done)) {
        worstSpread =
            std::max(worstSpread, 100.0 * (run.peakMb - done.first().peakMb) / done.first().peakMb);
        highest = std::max(highest, run.peakMb);
    }
    if (size == largeSize) {
        std::printf("Peak of each 3840x2160 recording against the first's: first %.1f MB, "
                    "highest %.1f MB, at most %+.1f %% (target <= %.0f %% and <= %.0f MB) %s "
                    "[%s]\n",
                    done.first().peakMb, highest, worstSpread, peakSpreadTargetPercent,
                    largePeakTargetMb,
                    verdict(worstSpread <= peakSpreadTargetPercent && highest <= largePeakTargetMb),
                    loadNote().c_str());
    } else {
        std::printf("  peak of each 1920x1080 recording: first %.1f MB, highest %.1f MB (%+.1f "
                    "%%)\n",
                    done.first().peakMb, highest, worstSpread);
    }
    std::fflush(stdout);
    return done;
}

// The preview of a staged recording opened as the tray opens it when the hover delay ends: the
// time until the window is painted, and until the full poster frame (read back from disk) is.
void previewPoster(const char *what, const CaptureItem &recording, CaptureQueue &queue,
                   platform::Displays &displays)
{
    const std::unique_ptr<QuickLookPreviewController> previewOwner =
        makeBenchPreview(displays, queue);
    QuickLookPreviewController &preview = *previewOwner;
    QList<double> windowShown;
    QList<double> posterShown;
    for (int run = 0; run < previewRuns; ++run) {
        returnFreedMemory();
        runEventLoop(200);
        QElapsedTimer timer;
        timer.start();
        preview.show(recording, queue, {}, {}, {});
        QWidget *panel = static_cast<QtPreviewWindow *>(preview.window())->widget();
        waitUntilShownAndPainted(panel);
        windowShown << timer.nsecsElapsed() / 1e6;
        auto *media = panel->findChild<PreviewMediaView *>();
        if (!media || !waitFor([media] { return media->hasFullImage(); }, 10000)) {
            std::printf("the preview never showed the full poster\n");
            preview.close();
            return;
        }
        // Painted: the scaled poster is in the frame the X server shows.
        media->repaint();
        posterShown << timer.nsecsElapsed() / 1e6;
        preview.close();
        runEventLoop(300);
    }
    const Spread window = spread(windowShown);
    const Spread poster = spread(posterShown);
    std::printf("Preview of a staged 3840x2160 recording, %s, after the hover delay: full "
                "poster painted after median %.1f ms, max %.1f ms (target <= %.0f ms) %s; window "
                "painted after median %.1f ms [%s]\n",
                what, poster.median, poster.max, posterShownTargetMs,
                verdict(poster.median <= posterShownTargetMs), window.median, loadNote().c_str());
    std::fflush(stdout);
}

// The same recording with its poster kept in memory, as recordings were staged before: without a
// captures folder the poster has nowhere to go.
CaptureItem heldInMemory(const CaptureItem &recording)
{
    const QByteArray folder = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/proc/self");
    platform::CaptureFolder::reset();
    CaptureItem held(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                     CaptureMode::recording, recording.image(), recording.thumbnail(),
                     recording.videoURL(), CaptureItemState::pending());
    qputenv("TMPDIR", folder);
    platform::CaptureFolder::reset();
    return held;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--animate") == 0)
        return animate(argc, argv);

    QApplication application(argc, argv);
    if (!onXServer("StagedRecordingsBench", "CORVANTA_SCREEN=3840x2160x24 scripts/harness",
                   argv[0]))
        return 0;
    const BenchEnvironment environment;
    const platform::ScreenshotPlatform screenshots = platform::makeX11ScreenshotPlatform();
    const std::optional<platform::Display> display = screenshots.displays->mainDisplay();
    if (!display || display->rootRect.size() != largeSize) {
        std::printf("StagedRecordingsBench needs a 3840x2160 display "
                    "(CORVANTA_SCREEN=3840x2160x24)\n");
        return 0;
    }

    std::printf("Staging %d recordings of %d s at %d fps per size, queue capacity %d [%s]\n", runs,
                recordSeconds, frameRate, queueCapacity, loadNote().c_str());
    ScreenRecordingService recorder(desktop::makeRecordingPlatform(), *screenshots.displays);
    Animation animation;
    for (const QSize size : {smallSize, largeSize}) {
        if (!animation.start(size)) {
            std::printf("the animated window did not show\n");
            return 1;
        }
        runEventLoop(500);
        CaptureQueue queue(queueCapacity);
        recordingsInARow(recorder, queue, *display, size);
        if (size == largeSize && !queue.items().isEmpty()) {
            const CaptureItem staged = queue.items().first();
            previewPoster("poster read from its file", staged, queue, *screenshots.displays);
            const CaptureItem held = heldInMemory(staged);
            queue.enqueue(held);
            previewPoster("peer: the same poster held in memory", held, queue,
                          *screenshots.displays);
        }
        queue.clearAll();
    }
    return 0;
}
