// Costs of the actions on a staged capture: copying a 4K screenshot to the clipboard (how long
// the interface is held up, how long until the clipboard offers it, what one paste costs; and,
// on an X server, from the copy request until another program has read the whole PNG, beside
// peers that pipe a PNG into xclip) and reading the text of a 1080p screen (time and accuracy
// against the drawn text). Every row carries the 1-minute load average it was measured under.
//
// harness-screen: 1920x1080x24
//
// Runs on the harness's X server, offscreen elsewhere (the copy-to-paste rows then skip).

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "model/CaptureItem.h"
#include "platform/Background.h"
#include "platform/CaptureFolder.h"
#include "platform/Haptics.h"
#include "platform/PngEncoder.h"
#include "platform/Sounds.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/qt/QtPasteboard.h"

#include <QBuffer>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <benchmark/benchmark.h>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr double megabyte = 1024.0 * 1024.0;

// The 1-minute load average, printed beside each figure: the machine may be busy.
double loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().split(' ').value(0).toDouble();
}

// A desktop: a photo-like wallpaper with noise, windows of text over it.
QImage makeDesktopImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(11);
    for (int y = 0; y < height; ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int grain = int(random.bounded(17u)) - 8;
            row[x] = qRgb(qBound(0, 40 + x * 150 / width + grain, 255),
                          qBound(0, 70 + y * 120 / height + grain, 255),
                          qBound(0, 160 - x * 60 / width + grain, 255));
        }
    }
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    painter.setFont(font);
    const QRect windows[] = {{width / 2, 80, width / 2 - 80, height - 200},
                             {120, height / 3, width / 3, height / 2}};
    for (const QRect &window : windows) {
        painter.fillRect(window, QColor(250, 250, 250));
        painter.fillRect(window.x(), window.y(), window.width(), 36, QColor(50, 50, 56));
        for (int y = window.y() + 70, line = 0; y < window.bottom() - 10; y += 24, ++line) {
            painter.setPen(line % 5 == 0 ? QColor(20, 80, 190) : QColor(25, 25, 25));
            painter.drawText(window.x() + 20, y,
                             QStringLiteral("%1  Staged captures wait in the tray until they are "
                                            "saved, copied or deleted.")
                                 .arg(line, 4));
        }
    }
    return image;
}

// The main thread's own CPU time, which leaves out the time the scheduler gave other threads.
double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The longest stretch the main thread went without running its event loop while the task ran
// (wall clock, and the CPU time the thread itself spent in it), and how long the task took.
struct MainThreadWatch {
    double longestBlockMs = 0;
    double longestBusyMs = 0;
    double totalMs = 0;
};

MainThreadWatch watchMainThread(const std::function<QCoro::Task<bool>()> &start)
{
    MainThreadWatch watch;
    QElapsedTimer clock;
    double lastTick = 0;
    double lastCpu = 0;
    auto tick = [&] {
        const double now = double(clock.nsecsElapsed()) / 1e6;
        const double cpu = threadCpuMs();
        watch.longestBlockMs = std::max(watch.longestBlockMs, now - lastTick);
        watch.longestBusyMs = std::max(watch.longestBusyMs, cpu - lastCpu);
        lastTick = now;
        lastCpu = cpu;
    };
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, tick);
    heartbeat.start();
    clock.start();
    lastCpu = threadCpuMs();
    // The part that runs before the task first waits blocks the thread as well.
    QCoro::Task<bool> task = start();
    tick();
    QCoro::waitFor(task);
    tick();
    watch.totalMs = double(clock.nsecsElapsed()) / 1e6;
    return watch;
}

const QImage &screen4k()
{
    static const QImage image = makeDesktopImage(3840, 2160);
    return image;
}

// Copy of a 4K screenshot. Arg 0: right after the capture, its image still in memory; arg 1:
// staged for a while, its image read back from the PNG on disk.
void BM_CopyScreenshot(benchmark::State &state)
{
    const bool fromDisk = state.range(0) == 1;
    ClipboardService service(std::make_shared<platform::QtPasteboard>());
    std::vector<double> blocks;
    std::vector<double> busy;
    double offeredMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const CaptureItem item(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                               CaptureMode::fullDisplay, screen4k().copy(), std::nullopt,
                               std::nullopt, CaptureItemState::pending());
        if (fromDisk) {
            platform::backgroundThreads()->waitForDone();
            // What the finished write hands back to this thread is not the copy's cost.
            QCoreApplication::processEvents();
        }
        state.ResumeTiming();
        const MainThreadWatch watch = watchMainThread([&] { return service.copy(item); });
        state.SetIterationTime(watch.totalMs / 1000.0);
        blocks.push_back(watch.longestBlockMs);
        busy.push_back(watch.longestBusyMs);
        offeredMs += watch.totalMs;
    }
    const QMimeData *offered = QGuiApplication::clipboard()->mimeData();
    state.counters["load_avg"] = loadAverage();
    state.counters["main_block_max_ms"] = *std::max_element(blocks.begin(), blocks.end());
    state.counters["main_busy_max_ms"] = *std::max_element(busy.begin(), busy.end());
    state.counters["offered_ms"] = offeredMs / double(state.iterations());
    state.counters["png_MB"] = double(offered->data(QStringLiteral("image/png")).size()) / megabyte;
    state.counters["tiff_MB"] =
        double(offered->data(QStringLiteral("image/tiff")).size()) / megabyte;
    platform::backgroundThreads()->waitForDone();
}
BENCHMARK(BM_CopyScreenshot)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(5);

// A whole PNG of the size asked for: the header names it and the end chunk is there.
bool isWholePng(const QByteArray &bytes, const QSize &size)
{
    static const QByteArray end = QByteArray::fromHex("0000000049454e44ae426082");
    return bytes.startsWith("\x89PNG\r\n\x1a\n") && bytes.size() > 24 && bytes.endsWith(end) &&
           qFromBigEndian<quint32>(bytes.constData() + 16) == quint32(size.width()) &&
           qFromBigEndian<quint32>(bytes.constData() + 20) == quint32(size.height());
}

// Runs a process to its end with the event loop running, so that this process can serve the
// clipboard meanwhile; stopped after the limit.
void runServing(QProcess &process, const QByteArray &input = {}, int limitMs = 30000)
{
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(limitMs, &loop, &QEventLoop::quit);
    if (!process.waitForStarted(limitMs))
        return;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    stopProcess(process, 1000);
}

// What another program pastes as PNG, asked again until the clipboard's owner serves the whole
// image (a peer's xclip may not own the clipboard yet when its parent process has gone).
QByteArray pasteWholePng(const QSize &size, int *attempts)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes;
    for (*attempts = 1; clock.elapsed() < 30000; ++*attempts) {
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"),
                    {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                     QStringLiteral("-t"), QStringLiteral("image/png"), QStringLiteral("-o")});
        runServing(xclip);
        bytes = xclip.readAllStandardOutput();
        if (isWholePng(bytes, size))
            return bytes;
    }
    return {};
}

// A peer's way: encode the PNG and pipe it into xclip, which takes the clipboard and serves it
// from a background process of its own.
void pipeIntoXclip(const QString &encoder, const QImage &image)
{
    QProcess pipeline;
    pipeline.setStandardOutputFile(QProcess::nullDevice());
    pipeline.setStandardErrorFile(QProcess::nullDevice());
    const QString xclip = QStringLiteral("xclip -selection clipboard -t image/png -i");
    if (encoder == QLatin1String("convert")) {
        // ImageMagick from raw pixels, as a shell pipeline of the screen grabbers does.
        pipeline.start(QStringLiteral("sh"),
                       {QStringLiteral("-c"), QStringLiteral("convert -size %1x%2 -depth 8 bgra:- "
                                                             "png:- | %3")
                                                  .arg(image.width())
                                                  .arg(image.height())
                                                  .arg(xclip)});
        const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
        runServing(pipeline, QByteArray(reinterpret_cast<const char *>(pixels.constBits()),
                                        qsizetype(pixels.sizeInBytes())));
        return;
    }
    QByteArray png;
    if (encoder == QLatin1String("qt")) {
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
    } else {
        png = platform::PngEncoder::encode(image);
    }
    pipeline.start(QStringLiteral("sh"), {QStringLiteral("-c"), xclip});
    runServing(pipeline, png);
}

// From the copy request (the key press or the click) until another program (xclip) has read
// the whole 4K PNG from the clipboard. Arg 0: our copy right after the capture, its PNG still
// being written; 1: our copy of a capture staged for a while, its PNG on disk; 2–4: peers that
// encode a PNG and pipe it into xclip: Qt's PNG writer, ImageMagick, our fast encoder.
void BM_CopyUntilPasted(benchmark::State &state)
{
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("needs an X server: run inside scripts/harness");
        return;
    }
    const int way = int(state.range(0));
    const char *const names[] = {"ours, just captured", "ours, staged", "peer: Qt PNG | xclip",
                                 "peer: ImageMagick | xclip", "peer: fast PNG | xclip"};
    state.SetLabel(names[way]);
    ClipboardService service(std::make_shared<platform::QtPasteboard>());
    const QSize size = screen4k().size();
    double load = 0;
    double worstMs = 0;
    int attempts = 0;
    qsizetype pngSize = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // Ours again, so that a stale paste never counts and a peer's xclip from the last
        // round lets go.
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));
        runEventLoop(50);
        load += loadAverage();
        // Made last, so that its PNG write starts just before the copy, as after a capture.
        std::optional<CaptureItem> item;
        if (way <= 1) {
            item.emplace(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                         CaptureMode::fullDisplay, screen4k().copy(), std::nullopt, std::nullopt,
                         CaptureItemState::pending());
        }
        if (way == 1) {
            platform::backgroundThreads()->waitForDone();
            QCoreApplication::processEvents();
        }
        state.ResumeTiming();

        QElapsedTimer clock;
        clock.start();
        if (item)
            QCoro::waitFor(service.copy(*item));
        else
            pipeIntoXclip(way == 2 ? "qt" : way == 3 ? "convert" : "fast", screen4k());
        const QByteArray pasted = pasteWholePng(size, &attempts);
        const double ms = double(clock.nsecsElapsed()) / 1e6;

        state.SetIterationTime(ms / 1000.0);
        worstMs = std::max(worstMs, ms);
        pngSize = pasted.size();
        if (pasted.isEmpty())
            state.SkipWithError("no whole PNG was pasted");
        platform::backgroundThreads()->waitForDone();
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("after"));
    runEventLoop(50);
    state.counters["load_avg"] = load / double(state.iterations());
    state.counters["worst_ms"] = worstMs;
    state.counters["png_MB"] = double(pngSize) / megabyte;
    state.counters["last_attempts"] = attempts;
    if (way <= 1)
        state.counters["target_100ms"] = worstMs <= 100 ? 1 : 0;
}
BENCHMARK(BM_CopyUntilPasted)
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// What one paste costs once the copy is done: the clipboard hands out the bytes it holds.
void BM_ServePaste(benchmark::State &state)
{
    ClipboardService service(std::make_shared<platform::QtPasteboard>());
    const CaptureItem item(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                           CaptureMode::fullDisplay, screen4k(), std::nullopt, std::nullopt,
                           CaptureItemState::pending());
    QCoro::waitFor(service.copy(item));
    const QString type =
        state.range(0) == 0 ? QStringLiteral("image/png") : QStringLiteral("image/tiff");
    for (auto _ : state) {
        const QByteArray bytes = QGuiApplication::clipboard()->mimeData()->data(type);
        benchmark::DoNotOptimize(bytes.constData());
        if (bytes.isEmpty())
            state.SkipWithError("nothing offered");
    }
    state.counters["load_avg"] = loadAverage();
    platform::backgroundThreads()->waitForDone();
}
BENCHMARK(BM_ServePaste)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// ~20 lines of ordinary text in ordinary sizes over a 1080p screen.
struct TextScreen {
    QImage image;
    QString text;
};

TextScreen makeTextScreen()
{
    const QStringList sentences = {
        "Open the settings window and choose where captures are saved.",
        "The quick brown fox jumps over the lazy dog near the river bank.",
        "Recording stopped after 12 minutes and 45 seconds of footage.",
        "Press Control and Option with the number keys to capture quickly.",
        "Your screenshot was copied to the clipboard as a PNG image.",
        "Delete the capture from the tray when you no longer need it.",
        "Meeting notes: review the quarterly budget before Friday.",
        "Invoice 20417 is due on the third of next month.",
    };
    const int sizes[] = {13, 14, 15, 16, 18, 20};
    TextScreen screen{QImage(1920, 1080, QImage::Format_RGB32), {}};
    screen.image.fill(QColor(252, 252, 250));
    QPainter painter(&screen.image);
    painter.setPen(QColor(30, 30, 30));
    QStringList lines;
    for (int i = 0; i < 20; ++i) {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(sizes[i % 6]);
        painter.setFont(font);
        const QString line = sentences[(i * 3) % sentences.size()];
        painter.drawText(i % 2 == 0 ? 90 : 520, 60 + i * 50, line);
        lines << line;
    }
    screen.text = lines.join(QLatin1Char('\n'));
    return screen;
}

qsizetype levenshtein(const QString &a, const QString &b)
{
    std::vector<qsizetype> previous(size_t(b.size() + 1));
    std::vector<qsizetype> current(previous.size());
    for (qsizetype j = 0; j <= b.size(); ++j)
        previous[size_t(j)] = j;
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const qsizetype substitution = previous[size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[size_t(j)] =
                std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    return previous[size_t(b.size())];
}

class SilentSounds : public platform::SoundPlayer {
public:
    Outcome play(const QString &, quint32) override { return Outcome::started; }
    void stop(quint32) override {}
};

class NoHaptics : public platform::Haptics {
public:
    bool isAvailable() const override { return false; }
    void perform(platform::HapticPattern) override {}
};

void BM_RecognizeText(benchmark::State &state)
{
    const TextScreen screen = makeTextScreen();
    FeedbackService feedback(std::make_shared<SilentSounds>(), std::make_shared<NoHaptics>());
    OCRService service(std::make_shared<platform::TesseractTextRecognizer>(),
                       std::make_shared<platform::QtPasteboard>(), feedback);
    QElapsedTimer cold;
    cold.start();
    QString text = QCoro::waitFor(service.recognizeTextInBackground(screen.image));
    const double coldMs = double(cold.nsecsElapsed()) / 1e6;
    for (auto _ : state)
        text = QCoro::waitFor(service.recognizeTextInBackground(screen.image));
    state.counters["load_avg"] = loadAverage();
    state.counters["first_run_ms"] = coldMs;
    state.counters["accuracy"] =
        1.0 - double(levenshtein(text, screen.text)) / double(screen.text.size());
    state.counters["lines"] = double(text.count(QLatin1Char('\n')) + 1);
}
BENCHMARK(BM_RecognizeText)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM",
                qEnvironmentVariableIsSet("CORVANTA_HARNESS") ? "xcb" : "offscreen");
    QGuiApplication app(argc, argv);
    const BenchEnvironment environment;
    screen4k();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    platform::backgroundThreads()->waitForDone();
    return 0;
}
