// Costs of staging a 4K screenshot: making its record on the calling thread,
// writing its PNG in the background, and the memory the staged captures keep.

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "platform/Background.h"
#include "platform/CaptureFolder.h"
#include "platform/PngWriter.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>

#include <benchmark/benchmark.h>
#include <chrono>
#include <optional>

namespace {

constexpr int screenWidth = 3840;
constexpr int screenHeight = 2160;
constexpr double megabyte = 1024.0 * 1024.0;

// Left half photo-like (gradients with sensor-like noise), right half text
// and flat interface blocks: what a desktop screenshot usually holds.
QImage makeScreenImage()
{
    QImage image(screenWidth, screenHeight, QImage::Format_RGB32);
    QRandomGenerator random(7);
    const int half = screenWidth / 2;
    for (int y = 0; y < screenHeight; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < half; ++x) {
            const int noise = int(random.bounded(13u)) - 6;
            const int r = (x * 255 / half + noise) & 0xff;
            const int g = (y * 255 / screenHeight + noise) & 0xff;
            const int b = ((x + y) * 255 / (half + screenHeight) + noise) & 0xff;
            row[x] = qRgb(r, g, b);
        }
    }
    QPainter painter(&image);
    painter.fillRect(half, 0, half, screenHeight, Qt::white);
    painter.fillRect(half, 0, half, 60, QColor(45, 45, 48));
    painter.fillRect(half, 60, 280, screenHeight - 60, QColor(240, 240, 244));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    painter.setFont(font);
    const QString words = QStringLiteral(
        "The quick brown fox jumps over the lazy dog; staged captures wait in the tray "
        "until they are saved, copied, dragged out or deleted. 0123456789 ");
    for (int line = 0, y = 90; y < screenHeight; ++line, y += 22) {
        painter.setPen(line % 7 == 0 ? QColor(30, 90, 200) : QColor(20, 20, 20));
        painter.drawText(half + 300, y, words.mid(line % 40) + words.left(line % 40));
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(half + 20, y, QStringLiteral("Item %1").arg(line));
    }
    painter.end();
    return image;
}

const QImage &screenImage()
{
    static const QImage image = makeScreenImage();
    return image;
}

CaptureItem makeScreenshot(const QImage &image)
{
    return CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                       CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                       CaptureItemState::pending());
}

void waitForBackgroundWrites()
{
    platform::backgroundThreads()->waitForDone();
}

// (a) What the capture flow pays on its own thread: name, thumbnail, storage
// and the hand-off of the write.
void BM_MakeScreenshotItem(benchmark::State &state)
{
    std::optional<CaptureItem> item;
    for (auto _ : state) {
        state.PauseTiming();
        item.reset();
        waitForBackgroundWrites();
        const QImage shot = screenImage().copy();
        state.ResumeTiming();
        item.emplace(makeScreenshot(shot));
        benchmark::DoNotOptimize(*item);
    }
    recordLoad(state);
    item.reset();
    waitForBackgroundWrites();
}
BENCHMARK(BM_MakeScreenshotItem)->Unit(benchmark::kMillisecond)->Iterations(20);

// (b) The background PNG write against Qt's writer at its defaults, same
// image, same run. The iteration time is the fast writer's.
void BM_PngWriteVersusQtDefault(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    QTemporaryDir dir;
    const QString fastPath = dir.filePath(QStringLiteral("fast.png"));
    const QString qtPath = dir.filePath(QStringLiteral("qt.png"));
    const QImage &image = screenImage();
    double fastSeconds = 0;
    double qtSeconds = 0;
    for (auto _ : state) {
        const auto start = Clock::now();
        if (!platform::PngWriter::write(image, fastPath))
            state.SkipWithError("PngWriter failed");
        const auto middle = Clock::now();
        if (!image.save(qtPath, "PNG"))
            state.SkipWithError("QImage::save failed");
        const auto end = Clock::now();
        const double fast = std::chrono::duration<double>(middle - start).count();
        fastSeconds += fast;
        qtSeconds += std::chrono::duration<double>(end - middle).count();
        state.SetIterationTime(fast);
    }
    const double fastSize = double(QFileInfo(fastPath).size());
    const double qtSize = double(QFileInfo(qtPath).size());
    state.counters["qt_save_ms"] = qtSeconds * 1000.0 / double(state.iterations());
    state.counters["speedup"] = qtSeconds / fastSeconds;
    state.counters["file_MB"] = fastSize / megabyte;
    state.counters["qt_file_MB"] = qtSize / megabyte;
    state.counters["size_ratio"] = fastSize / qtSize;
    recordLoad(state);
}
BENCHMARK(BM_PngWriteVersusQtDefault)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// (c) Resident memory that eight staged 4K screenshots keep once their PNGs
// are written: thumbnails and file references only.
void BM_StagedScreenshotsMemory(benchmark::State &state)
{
    for (auto _ : state) {
        waitForBackgroundWrites();
        const double before = residentMegabytes();
        CaptureQueue queue(8);
        for (int i = 0; i < 8; ++i)
            queue.enqueue(makeScreenshot(screenImage().copy()));
        waitForBackgroundWrites();
        // Storages released by the writers are deleted on this thread.
        QCoreApplication::processEvents();
        state.counters["added_MB"] = residentMegabytes() - before;
        state.counters["staged"] = double(queue.items().size());
        recordLoad(state);
    }
}
BENCHMARK(BM_StagedScreenshotsMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const BenchEnvironment environment;
    screenImage();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    waitForBackgroundWrites();
    return 0;
}
