// What recording the screen costs on a real X server, as the user meets it: the frames lost at
// 1920×1080 and 60 fps over ten recordings in a row (the first after launch included) and the
// resident memory left idle after each; the frames lost at 60 fps on all cores and at 30 fps on
// two, with the CPU time per recorded second against ffmpeg's own x11grab encoding the same
// screen with the writer's encoder settings in the same run; the resident memory over a minute
// of recording; and what a 3840×2160 recording at 60 fps holds and the frames it keeps, beside
// the frames ffmpeg's x11grab with libx264 ultrafast keeps of the same. ffmpeg writes each frame
// it read once, as the recorder does. The 1080p recordings are of the screen's top-left
// 1920×1080 area. While it records, a window of a child process (this program again, with
// --animate) repaints a moving pattern at 60 Hz over what is recorded, so that every frame
// differs and the drawing is not counted as ours. Every figure is printed with the load average
// at the time. Prints figures; run by scripts/bench.
//
// harness-screen: 3840x2160x24
//
// By hand: CORVANTA_SCREEN=3840x2160x24 scripts/harness -- build/bench/RecordingBench, with
// "--only large" for the 3840×2160 recording alone.

#include "BenchAnimation.h"
#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "app/DesktopPlatform.h"
#include "capture/ScreenRecordingService.h"
#include "model/CaptureErrors.h"
#include "platform/RecordingPlatform.h"
#include "platform/ffmpeg/FfmpegMovieWriter.h"
#include "platform/x11/X11Platform.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRasterWindow>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <type_traits>

extern char **environ;

namespace {

constexpr int recordSeconds = 10;
constexpr int runs = 10;
constexpr double idleGrowthTargetMb = 20;
constexpr double largeResidentTargetMb = 600;
// Recordings are stopped, their movie checked and removed; then the program sits idle this long
// before its memory is read.
constexpr int settleMs = 2000;
constexpr int memorySeconds = 60;
constexpr int memorySampleSeconds = 5;
constexpr int largeSampleMs = 250;
constexpr double dropTargetPercent = 1.0;
constexpr double cpuRatioTarget = 1.2;
constexpr double growthTargetMb = 50;
constexpr int waitLimitMs = 15000;
const QSize recordedSize(1920, 1080);
const QSize largeSize(3840, 2160);

// ---------------------------------------------------------------------------
// Counting what the recorder's parts do

struct FrameCounts {
    std::atomic<int> delivered = 0;
    std::atomic<qint64> firstUs = 0;
    std::atomic<qint64> lastUs = 0;
    std::atomic<int> dropped = 0;
    // Read times of the frames the writer dropped; written on the frame thread only, read once
    // the recording stopped (which joined that thread).
    QList<qint64> dropTimesUs;

    // Before the next recording of the same recorder.
    void reset()
    {
        delivered = 0;
        firstUs = 0;
        lastUs = 0;
        dropped = 0;
        dropTimesUs.clear();
    }
};

// What each counting wrapper holds: the part it passes everything on to and the counts.
template <typename Part> class Counting : public Part {
public:
    using Inner = std::conditional_t<std::is_same_v<Part, platform::MovieWriter>,
                                     std::unique_ptr<Part>, std::shared_ptr<Part>>;
    Counting(Inner inner, std::shared_ptr<FrameCounts> counts)
        : m_inner(std::move(inner)), m_counts(std::move(counts))
    {
    }

protected:
    Inner m_inner;
    std::shared_ptr<FrameCounts> m_counts;
};

class CountingFrameSources final : public Counting<platform::FrameSources> {
public:
    using Counting::Counting;

    std::unique_ptr<platform::FrameStream> start(const platform::FrameSourceRequest &request,
                                                 FrameSink frames, EndSink ended,
                                                 QString *error) override
    {
        return m_inner->start(
            request,
            [counts = m_counts, frames = std::move(frames)](const QImage &frame, qint64 timeUs) {
                if (counts->delivered.fetch_add(1) == 0)
                    counts->firstUs.store(timeUs);
                counts->lastUs.store(timeUs);
                frames(frame, timeUs);
            },
            std::move(ended), error);
    }
};

class CountingMovieWriter final : public Counting<platform::MovieWriter> {
public:
    using Counting::Counting;

    void addVideoFrame(const QImage &frame, qint64 steadyTimeUs) override
    {
        const int before = m_inner->droppedFrames();
        m_inner->addVideoFrame(frame, steadyTimeUs);
        if (m_inner->droppedFrames() > before)
            m_counts->dropTimesUs << steadyTimeUs;
    }
    void addAudio(const float *samples, int frames, qint64 steadyTimeUs) override
    {
        m_inner->addAudio(samples, frames, steadyTimeUs);
    }
    int droppedFrames() const override { return m_inner->droppedFrames(); }
    bool finish(QString *error) override
    {
        const bool finished = m_inner->finish(error);
        m_counts->dropped.store(m_inner->droppedFrames());
        return finished;
    }
    void cancel() override
    {
        m_inner->cancel();
        m_counts->dropped.store(m_inner->droppedFrames());
    }
};

class CountingMovieWriters final : public Counting<platform::MovieWriters> {
public:
    using Counting::Counting;

    std::unique_ptr<platform::MovieWriter> create(const platform::MovieSettings &settings,
                                                  QString *error) override
    {
        std::unique_ptr<platform::MovieWriter> writer = m_inner->create(settings, error);
        if (!writer)
            return nullptr;
        return std::make_unique<CountingMovieWriter>(std::move(writer), m_counts);
    }
};

// ---------------------------------------------------------------------------
// Measuring

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The video frames ffprobe finds in the movie (its packets, counted without decoding).
std::optional<int> probedFrames(const QString &path)
{
    QProcess ffprobe;
    ffprobe.start(QStringLiteral("ffprobe"),
                  {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                   QStringLiteral("v:0"), QStringLiteral("-count_packets"),
                   QStringLiteral("-show_entries"), QStringLiteral("stream=nb_read_packets"),
                   QStringLiteral("-of"), QStringLiteral("default=nokey=1:noprint_wrappers=1"),
                   path});
    if (!ffprobe.waitForFinished(60000) || ffprobe.exitCode() != 0)
        return std::nullopt;
    bool ok = false;
    const int frames = ffprobe.readAllStandardOutput().trimmed().toInt(&ok);
    return ok ? std::optional<int>(frames) : std::nullopt;
}

// Sets the CPUs of every thread of this process (those that Qt and the libraries started
// already included); threads and processes started afterwards inherit them.
void setProcessAffinity(const cpu_set_t &set)
{
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &task : tasks)
        sched_setaffinity(pid_t(task.toInt()), sizeof set, &set);
}

cpu_set_t firstCpus(const cpu_set_t &from, int count)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0, taken = 0; cpu < CPU_SETSIZE && taken < count; ++cpu) {
        if (CPU_ISSET(cpu, &from)) {
            CPU_SET(cpu, &set);
            ++taken;
        }
    }
    return set;
}

// QCoro::waitFor never returns from a task that throws after suspending: the error is caught
// inside a coroutine.
QCoro::Task<bool> guarded(QCoro::Task<void> task, QString *error)
{
    try {
        co_await task;
        co_return true;
    } catch (const CaptureError &caught) {
        *error = caught.errorDescription();
    }
    co_return false;
}

QCoro::Task<std::optional<RecordingResult>> guarded(QCoro::Task<RecordingResult> task,
                                                    QString *error)
{
    try {
        RecordingResult result = co_await task;
        co_return result;
    } catch (const CaptureError &caught) {
        *error = caught.errorDescription();
    }
    co_return std::nullopt;
}

struct Recorded {
    int fps = 0;
    unsigned cores = 0;
    QString preset;
    int delivered = 0;
    int dropped = 0;
    // When the writer dropped frames, in seconds after the first frame.
    QList<double> dropTimes;
    // The ticks of the frame rate between the first and the last frame the source read.
    int expected = 0;
    double seconds = 0;
    double cpuSeconds = 0;
    std::optional<int> probed;
    QList<double> residentMb;

    int written() const { return delivered - dropped; }
    double droppedPercent() const { return 100.0 * (expected - written()) / expected; }
};

// The recorder with the real frame source, writer and poster frames, counting what they do. Its
// writer's preset follows the CPUs this process may use when it is made.
struct CountingRecorder {
    CountingRecorder(platform::Displays &displays)
    {
        platform::RecordingPlatform parts = desktop::makeRecordingPlatform();
        parts.frameSources = std::make_shared<CountingFrameSources>(parts.frameSources, counts);
        parts.movieWriters = std::make_shared<CountingMovieWriters>(parts.movieWriters, counts);
        service = std::make_unique<ScreenRecordingService>(std::move(parts), displays);
    }

    std::shared_ptr<FrameCounts> counts = std::make_shared<FrameCounts>();
    std::unique_ptr<ScreenRecordingService> service;
    unsigned cores = platform::FfmpegMovieWriters::usableCores();
};

// One recording of the main display's top-left `size` (the whole display when that is its size).
// With `sampleEveryMs`, the resident memory is read that often while it records.
std::optional<Recorded> record(platform::Displays &displays, CountingRecorder &counting, int fps,
                               int seconds, QSize size, int sampleEveryMs = 0)
{
    const std::optional<platform::Display> display = displays.mainDisplay();
    if (!display)
        return std::nullopt;
    Recorded recorded;
    recorded.fps = fps;
    recorded.cores = counting.cores;
    recorded.preset =
        QLatin1String(platform::FfmpegMovieWriters::presetFor(size, fps, recorded.cores));
    counting.counts->reset();
    const std::shared_ptr<FrameCounts> counts = counting.counts;
    ScreenRecordingService &recorder = *counting.service;

    QString error;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    const std::optional<QRectF> area = size == display->rootRect.size()
                                           ? std::nullopt
                                           : std::optional<QRectF>(QRectF(QPointF(0, 0), size));
    QCoro::Task<void> starting = recorder.startRecording(display->id, area, std::nullopt,
                                                         VideoExportFormat::mp4, fps, false);
    if (!QCoro::waitFor(guarded(std::move(starting), &error))) {
        std::printf("recording at %d fps did not start: %s\n", fps, qPrintable(error));
        return std::nullopt;
    }
    if (sampleEveryMs > 0) {
        for (int at = sampleEveryMs; at <= seconds * 1000; at += sampleEveryMs) {
            runEventLoop(sampleEveryMs);
            recorded.residentMb << residentMegabytes();
        }
    } else {
        runEventLoop(seconds * 1000);
    }
    QCoro::Task<RecordingResult> stopping = recorder.stopRecording();
    const std::optional<RecordingResult> result =
        QCoro::waitFor(guarded(std::move(stopping), &error));
    recorded.cpuSeconds = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    if (!result) {
        std::printf("recording at %d fps failed: %s\n", fps, qPrintable(error));
        return std::nullopt;
    }
    recorded.delivered = counts->delivered.load();
    recorded.dropped = counts->dropped.load();
    recorded.expected =
        int(std::llround((counts->lastUs.load() - counts->firstUs.load()) / 1e6 * fps)) + 1;
    recorded.seconds = double(recorded.expected) / fps;
    for (qint64 at : std::as_const(counts->dropTimesUs))
        recorded.dropTimes << (at - counts->firstUs.load()) / 1e6;
    recorded.probed = probedFrames(result->filePath);
    QFile::remove(result->filePath);
    return recorded;
}

struct PeerRun {
    double cpuSeconds = 0;
    // From its start until it exited, its movie completed.
    double wallSeconds = 0;
    double peakResidentMb = 0;
    std::optional<int> probed;
};

// ffmpeg reading the same screen with x11grab and encoding it as the writer does: same preset,
// x264 options, bit rate, key-frame interval, colour tags and fragmented MP4. Its CPU time is
// what the waited-for child adds to this process's children's usage.
std::optional<PeerRun> runFfmpeg(int fps, int seconds, const QString &preset, QSize size)
{
    const QString output = QDir(QDir::tempPath()).filePath(QStringLiteral("ffmpeg-x11grab.mp4"));
    QStringList arguments = {
        "-hide_banner", "-loglevel",
        "error",        "-nostdin",
        "-f",           "x11grab",
        "-framerate",   QString::number(fps),
        "-video_size",  QStringLiteral("%1x%2").arg(size.width()).arg(size.height()),
        "-i",           qEnvironmentVariable("DISPLAY"),
        "-t",           QString::number(seconds),
        "-c:v",         "libx264",
        "-preset",      preset};
    // Each frame read is written once, as the recorder writes them: no copies to make up the
    // rate.
    arguments << "-fps_mode"
              << "passthrough";
    if (preset == QLatin1String("ultrafast"))
        arguments << "-x264-params"
                  << "8x8dct=1";
    arguments << "-b:v" << QString::number(qint64(size.width()) * size.height() * 4) << "-g"
              << QString::number(fps) << "-pix_fmt"
              << "yuv420p"
              << "-profile:v"
              << "high"
              << "-color_range"
              << "tv"
              << "-colorspace"
              << "bt709"
              << "-color_primaries"
              << "bt709"
              << "-color_trc"
              << "bt709"
              << "-movflags"
              << "frag_keyframe+empty_moov+default_base_moof"
              << "-y" << output;

    QList<QByteArray> storage{"ffmpeg"};
    for (const QString &argument : std::as_const(arguments))
        storage << argument.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const double before = cpuSeconds(RUSAGE_CHILDREN);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
        std::printf("ffmpeg could not be started\n");
        return std::nullopt;
    }
    int status = 0;
    PeerRun run;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        // Its own high-water mark, read while it runs: the children's ru_maxrss would also hold
        // this process's, which a spawned child shares until it executes ffmpeg.
        run.peakResidentMb =
            std::max(run.peakResidentMb, statusMegabytes(QString::number(pid), "VmHWM"));
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 || timer.elapsed() > (seconds + 30) * 1000) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            std::printf("ffmpeg did not finish\n");
            return std::nullopt;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        usleep(10000);
    }
    run.wallSeconds = timer.elapsed() / 1000.0;
    run.cpuSeconds = cpuSeconds(RUSAGE_CHILDREN) - before;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::printf("ffmpeg failed (status %d)\n", status);
        QFile::remove(output);
        return std::nullopt;
    }
    run.probed = probedFrames(output);
    QFile::remove(output);
    return run;
}

QString probedText(const std::optional<int> &frames)
{
    return frames ? QString::number(*frames) : QStringLiteral("unknown");
}

// When the writer dropped frames (seconds after the first frame), the first dozen of them.
QString dropTimesText(const QList<double> &times)
{
    if (times.isEmpty())
        return QStringLiteral("never");
    QStringList shown;
    for (qsizetype i = 0; i < std::min<qsizetype>(times.size(), 12); ++i)
        shown << QString::number(times[i], 'f', 2);
    if (times.size() > 12)
        shown << QStringLiteral("...");
    return QStringLiteral("at ") + shown.join(QStringLiteral(", ")) +
           QStringLiteral(" s after the first frame");
}

// The 1, 5 and 15 minute load averages, printed beside every figure: frames are lost to a busy
// machine as much as to the recorder.
QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("load unknown");
    const QList<QByteArray> fields = file.readAll().split(' ');
    return QStringLiteral("load %1 %2 %3")
        .arg(QString::fromLatin1(fields.value(0)), QString::fromLatin1(fields.value(1)),
             QString::fromLatin1(fields.value(2)));
}

// Without a target: frames a machine cannot encode in time are dropped and counted, not held.
void printDrops(const Recorded &ours, const QString &what, bool withTarget = true)
{
    const QString target =
        withTarget ? QStringLiteral("(target <= %1 %) %2")
                         .arg(dropTargetPercent)
                         .arg(QLatin1String(verdict(ours.droppedPercent() <= dropTargetPercent)))
                   : QStringLiteral("(no target: dropped and counted, not held)");
    std::printf("Frames dropped, %s at %d fps (%u cores, x264 %s): %.2f %% %s [%s]\n",
                qPrintable(what), ours.fps, ours.cores, qPrintable(ours.preset),
                ours.droppedPercent(), qPrintable(target), qPrintable(loadAverage()));
    std::printf("  %d frames delivered by the source, %d dropped by the writer, %d written of %d "
                "in %.2f s; ffprobe counts %s\n",
                ours.delivered, ours.dropped, ours.written(), ours.expected, ours.seconds,
                qPrintable(probedText(ours.probed)));
    std::printf("  the writer dropped frames %s\n", qPrintable(dropTimesText(ours.dropTimes)));
    std::fflush(stdout);
}

// Ten recordings in a row by the one recorder, as a user makes them, the first after launch
// included: the frames each lost, and the memory the program holds once idle after each.
void recordingsInARow(platform::Displays &displays)
{
    const double before = residentMegabytes();
    CountingRecorder recorder(displays);
    QList<double> percents;
    QList<double> idle;
    for (int run = 1; run <= runs; ++run) {
        const std::optional<Recorded> ours =
            record(displays, recorder, 60, recordSeconds, recordedSize);
        if (!ours)
            return;
        runEventLoop(settleMs);
        percents << ours->droppedPercent();
        idle << residentMegabytes();
        std::printf("  recording %d: %.2f %% dropped (%d written of %d; the writer dropped %d, "
                    "%s); idle afterwards %.1f MB [%s]\n",
                    run, ours->droppedPercent(), ours->written(), ours->expected, ours->dropped,
                    qPrintable(dropTimesText(ours->dropTimes)), idle.last(),
                    qPrintable(loadAverage()));
        std::fflush(stdout);
    }
    const double worst = *std::max_element(percents.begin(), percents.end());
    double mean = 0;
    for (double percent : std::as_const(percents))
        mean += percent / percents.size();
    std::printf("Frames dropped, 1920x1080 at 60 fps, %d recordings in a row, all cores: first "
                "%.2f %%, worst %.2f %%, mean %.2f %% (target <= %.0f %% each) %s [%s]\n",
                runs, percents.first(), worst, mean, dropTargetPercent,
                verdict(worst <= dropTargetPercent), qPrintable(loadAverage()));
    const double growth = idle.last() - idle.first();
    std::printf("Idle resident memory after %d recordings: %.1f MB after the first, %.1f MB after "
                "the last, growth %.1f MB (target <= %.0f MB) %s [%s]\n",
                runs, idle.first(), idle.last(), growth, idleGrowthTargetMb,
                verdict(growth <= idleGrowthTargetMb), qPrintable(loadAverage()));
    std::printf("  before the first recording %.1f MB\n", before);
    std::fflush(stdout);
}

// Frames lost and CPU per recorded second for one case, beside ffmpeg.
void compare(platform::Displays &displays, int fps, const char *what)
{
    CountingRecorder recorder(displays);
    const std::optional<Recorded> ours =
        record(displays, recorder, fps, recordSeconds, recordedSize);
    if (!ours)
        return;
    printDrops(*ours, QStringLiteral("1920x1080, %1").arg(QLatin1String(what)));

    const std::optional<PeerRun> peer = runFfmpeg(fps, recordSeconds, ours->preset, recordedSize);
    if (!peer)
        return;
    const double oursPerSecond = ours->cpuSeconds / ours->seconds;
    const double peerPerSecond = peer->cpuSeconds / recordSeconds;
    const double ratio = oursPerSecond / peerPerSecond;
    std::printf("CPU per recorded second, %d fps, %s: Corvanta %.2f s, ffmpeg x11grab %.2f s: "
                "ratio %.2fx (target <= %.1fx) %s [%s]\n",
                fps, what, oursPerSecond, peerPerSecond, ratio, cpuRatioTarget,
                verdict(ratio <= cpuRatioTarget), qPrintable(loadAverage()));
    std::printf("  ffmpeg wrote %s frames in %d s; its resident memory peaked at %.0f MB\n",
                qPrintable(probedText(peer->probed)), recordSeconds, peer->peakResidentMb);
    std::fflush(stdout);
}

void residentMemory(platform::Displays &displays)
{
    const double before = residentMegabytes();
    CountingRecorder recorder(displays);
    const std::optional<Recorded> run =
        record(displays, recorder, 60, memorySeconds, recordedSize, memorySampleSeconds * 1000);
    if (!run || run->residentMb.isEmpty())
        return;
    const double first = run->residentMb.first();
    const double max = *std::max_element(run->residentMb.begin(), run->residentMb.end());
    const double growth = max - first;
    std::printf("Resident memory, 60 s recording at 60 fps, all cores: first sample (5 s) %.1f "
                "MB, max %.1f MB, growth %.1f MB (target <= %.0f MB) %s [%s]\n",
                first, max, growth, growthTargetMb, verdict(growth <= growthTargetMb),
                qPrintable(loadAverage()));
    QStringList samples;
    for (double sample : run->residentMb)
        samples << QString::number(sample, 'f', 1);
    std::printf("  before recording %.1f MB; every 5 s: %s MB\n", before,
                qPrintable(samples.join(QStringLiteral(", "))));
    std::printf("  %.2f %% of the frames dropped; the writer dropped frames %s\n",
                run->droppedPercent(), qPrintable(dropTimesText(run->dropTimes)));
    std::fflush(stdout);
}

// The whole 3840×2160 display at 60 fps: what the recorder holds at most, and what it lost,
// beside ffmpeg recording the same.
void largeRecording(platform::Displays &displays)
{
    const double before = residentMegabytes();
    CountingRecorder recorder(displays);
    const std::optional<Recorded> run =
        record(displays, recorder, 60, recordSeconds, largeSize, largeSampleMs);
    if (!run || run->residentMb.isEmpty())
        return;
    const double peak = *std::max_element(run->residentMb.begin(), run->residentMb.end());
    std::printf("Resident memory, 3840x2160 recording at 60 fps, all cores: peak %.1f MB (target "
                "<= %.0f MB) %s [%s]\n",
                peak, largeResidentTargetMb, verdict(peak <= largeResidentTargetMb),
                qPrintable(loadAverage()));
    std::printf("  before recording %.1f MB\n", before);
    printDrops(*run, QStringLiteral("3840x2160, all cores"), false);
    // ffmpeg as a user would run it for speed. It reads the next frame once its encoder took the
    // last one, stamped with the time it was read, and -t counts those times: its movie holds
    // the frames it kept of the ten seconds.
    const std::optional<PeerRun> peer =
        runFfmpeg(60, recordSeconds, QStringLiteral("ultrafast"), largeSize);
    if (!peer)
        return;
    std::printf("Frames kept, 3840x2160 at 60 fps, %u cores: Corvanta (x264 %s) %d of %d, %.1f a "
                "second; ffmpeg x11grab + libx264 ultrafast %s in %d s, %.1f a second [%s]\n",
                run->cores, qPrintable(run->preset), run->written(), run->expected,
                run->written() / run->seconds, qPrintable(probedText(peer->probed)), recordSeconds,
                peer->probed.value_or(0) / double(recordSeconds), qPrintable(loadAverage()));
    std::printf("  ffmpeg's resident memory peaked at %.0f MB; it took %.1f s to its end\n",
                peer->peakResidentMb, peer->wallSeconds);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--animate") == 0)
        return animate(argc, argv);

    QApplication application(argc, argv);
    if (!onXServer("RecordingBench", "CORVANTA_SCREEN=3840x2160x24 scripts/harness", argv[0]))
        return 0;
    // "--only rows" or "--only large": that part alone (for a heap profiler, say).
    const QByteArray only = argc > 2 && qstrcmp(argv[1], "--only") == 0 ? argv[2] : "";
    const BenchEnvironment environment;
    const platform::ScreenshotPlatform screenshots = platform::makeX11ScreenshotPlatform();
    const std::optional<platform::Display> display = screenshots.displays->mainDisplay();
    if (!display || display->rootRect.size() != largeSize) {
        std::printf("RecordingBench needs a 3840x2160 display (CORVANTA_SCREEN=3840x2160x24)\n");
        return 0;
    }

    Animation animation;
    if (!animation.start(recordedSize)) {
        std::printf("the animated window did not show\n");
        return 1;
    }
    runEventLoop(500);

    cpu_set_t allCpus;
    CPU_ZERO(&allCpus);
    sched_getaffinity(0, sizeof allCpus, &allCpus);

    if (only.isEmpty() || only == "rows")
        recordingsInARow(*screenshots.displays);
    if (only.isEmpty()) {
        compare(*screenshots.displays, 60, "all cores");

        setProcessAffinity(firstCpus(allCpus, 2));
        compare(*screenshots.displays, 30, "two cores");
        setProcessAffinity(allCpus);

        residentMemory(*screenshots.displays);
    }
    if (const std::optional<double> rate = animation.paintRate())
        std::printf("  (the animation painted %.1f frames a second)\n", *rate);
    if (!only.isEmpty() && only != "large")
        return 0;

    if (!animation.start(largeSize)) {
        std::printf("the animated window did not show at 3840x2160\n");
        return 1;
    }
    runEventLoop(500);
    largeRecording(*screenshots.displays);
    if (const std::optional<double> rate = animation.paintRate())
        std::printf("  (the animation painted %.1f frames a second)\n", *rate);
    return 0;
}
