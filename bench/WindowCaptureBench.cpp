// What a window screenshot costs on a real X server, from the capture call: (a) the image of a
// 1920 × 1080 window, bare and with its drawn shadow, and the shadow alone; (b) until its PNG is
// complete on disk, with and without the shadow, side by side with ImageMagick's import
// writing the PNG of the same window in the same run. Each figure comes with the load average.
//
// harness-screen: 2560x1440x24
//
// It needs an X server: scripts/bench runs it inside scripts/harness with the screen above; by
// hand: CORVANTA_SCREEN=2560x1440x24 scripts/harness -- build/bench/WindowCaptureBench

#include "BenchDesktop.h"
#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "capture/ScreenCaptureService.h"
#include "capture/WindowShadow.h"
#include "platform/PngWriter.h"
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11WindowSystem.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <optional>
#include <qcoro/qcorotask.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr QSize windowSize(1920, 1080);

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

double median(const QList<double> &values)
{
    return spread(values).median;
}

// An application window: a title strip, text-like rows and a photo-like panel.
class ContentWindow : public QWidget {
public:
    ContentWindow()
    {
        setFixedSize(windowSize);
        m_picture = QImage(windowSize, QImage::Format_RGB32);
        m_picture.fill(QColor(250, 250, 250));
        QPainter painter(&m_picture);
        painter.fillRect(0, 0, windowSize.width(), 48, QColor(45, 45, 48));
        QRandomGenerator random(5);
        for (int y = 80; y < windowSize.height(); y += 22) {
            for (int x = 40; x < windowSize.width() / 2; x += 9)
                painter.fillRect(x, y, 6, 12, random.bounded(4u) ? QColor(30, 30, 30) : Qt::white);
        }
        for (int y = 80; y < windowSize.height() - 40; ++y) {
            auto *row = reinterpret_cast<QRgb *>(m_picture.scanLine(y));
            for (int x = windowSize.width() / 2 + 40; x < windowSize.width() - 40; ++x)
                row[x] = qRgb((x + int(random.bounded(9u))) & 0xff, (y * 3) & 0xff, 120);
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.drawImage(0, 0, m_picture);
    }

private:
    QImage m_picture;
};

struct Rig {
    platform::ScreenshotPlatform platform = platform::makeX11ScreenshotPlatform();
    ScreenCaptureService service{platform.screenCapture, platform.displays,
                                 platform::makeX11WindowSystem()};
    platform::WindowInfo window;
    QTemporaryDir files;
};

Rig *rig = nullptr;

void report(benchmark::State &state, const char *what, const QList<double> &times)
{
    state.counters["median_ms"] = median(times);
    state.counters["load"] = loadAverage();
    std::printf("%s (median of %lld): %.1f ms, load average %.2f\n", what,
                static_cast<long long>(times.size()), median(times), loadAverage());
}

// (a) Capture call until the image is in hand; argument 1 draws the shadow.
void BM_WindowImage(benchmark::State &state)
{
    const bool shadow = state.range(0) != 0;
    QList<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        const QImage image =
            QCoro::waitFor(rig->service.captureWindow(rig->window, false, !shadow));
        times << milliseconds(Clock::now() - start);
        state.SetIterationTime(times.last() / 1000.0);
        if (image.isNull()) {
            state.SkipWithError("the window could not be captured");
            return;
        }
    }
    report(state, shadow ? "1080p window image with its shadow" : "1080p window image, bare",
           times);
}
BENCHMARK(BM_WindowImage)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

// The shadow alone, on the pixels of a 1080p window at scales 1 and 2.
void BM_ShadowOnly(benchmark::State &state)
{
    const double scale = double(state.range(0));
    const QSize pixels = windowSize * int(scale);
    QImage window(pixels, QImage::Format_RGB32);
    window.fill(QColor(200, 210, 220));
    const QSize canvas = shadowedWindowSize(QSizeF(windowSize), scale);
    QList<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(withWindowShadow(window, canvas, scale));
        times << milliseconds(Clock::now() - start);
        state.SetIterationTime(times.last() / 1000.0);
    }
    report(state,
           scale > 1 ? "Shadow of a 1080-point window at scale 2 (3840x2160 pixels)"
                     : "Shadow of a 1080p window",
           times);
}
BENCHMARK(BM_ShadowOnly)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

// Wall time of import writing the window's PNG; nothing when it fails.
std::optional<double> runImport(const QString &output)
{
    QFile::remove(output);
    QProcess process;
    const auto start = Clock::now();
    process.start(QStringLiteral("import"),
                  {QStringLiteral("-window"), QString::number(rig->window.id), output});
    if (!process.waitForStarted() || !process.waitForFinished(60000) ||
        process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    const auto end = Clock::now();
    if (QFileInfo(output).size() <= 0)
        return std::nullopt;
    return milliseconds(end - start);
}

// (b) Capture call until the PNG is complete on disk, bare and shadowed, against import.
void BM_WindowPngOnDiskVersusImport(benchmark::State &state)
{
    const QString ours = rig->files.filePath(QStringLiteral("window.png"));
    const QString peer = rig->files.filePath(QStringLiteral("import.png"));
    QList<double> bare, shadowed, imported;
    for (auto _ : state) {
        for (const bool shadow : {false, true}) {
            const auto start = Clock::now();
            const QImage image =
                QCoro::waitFor(rig->service.captureWindow(rig->window, false, !shadow));
            if (!platform::PngWriter::write(image, ours)) {
                state.SkipWithError("the PNG was not written");
                return;
            }
            (shadow ? shadowed : bare) << milliseconds(Clock::now() - start);
        }
        state.SetIterationTime(shadowed.last() / 1000.0);
        state.PauseTiming();
        const std::optional<double> importMs = runImport(peer);
        state.ResumeTiming();
        if (!importMs) {
            state.SkipWithError("import failed (it is needed for the comparison)");
            return;
        }
        imported << *importMs;
    }
    state.counters["bare_ms"] = median(bare);
    state.counters["shadowed_ms"] = median(shadowed);
    state.counters["import_ms"] = median(imported);
    state.counters["load"] = loadAverage();
    std::printf("1080p window PNG complete on disk (median): Corvanta %.0f ms bare, %.0f ms with "
                "its shadow; import %.0f ms (no shadow); load average %.2f\n",
                median(bare), median(shadowed), median(imported), loadAverage());
}
BENCHMARK(BM_WindowPngOnDiskVersusImport)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> exitCode =
            prepareDesktopBenchmark(argc, argv, "WindowCaptureBench", "2560x1440x24"))
        return *exitCode;
    QApplication app(argc, argv);
    const BenchEnvironment environment;

    Rig setup;
    ContentWindow content;
    content.move(100, 100);
    content.show();
    const platform::WindowId id = platform::WindowId(content.winId());
    QElapsedTimer waited;
    waited.start();
    // Listed with the window manager's frame once it is decorated.
    while (waited.elapsed() < 10000) {
        QCoreApplication::processEvents();
        for (const platform::WindowInfo &info : setup.platform.windowList->windows()) {
            if (info.id == id && info.captureFrame.height() > windowSize.height())
                setup.window = info;
        }
        if (setup.window.id == id)
            break;
        QThread::msleep(20);
    }
    if (setup.window.id != id) {
        std::printf("WindowCaptureBench: the window was not listed with its frame\n");
        return 0;
    }
    QThread::msleep(300);
    QCoreApplication::processEvents();
    rig = &setup;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    rig = nullptr;
    return 0;
}
