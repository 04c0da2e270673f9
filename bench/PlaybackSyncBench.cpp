// Sound against pictures, measured from outside as a viewer meets them: recordings of ours with
// white flashes and beeps at irregular times played in the preview on a real X server with the
// harness's sound server. A thread of its own reads the screen under the preview's picture (X
// GetImage, about every millisecond) and notes when each flash appears; parec records the null
// sink's monitor and notes when each beep is heard. For each flash: the beep's time minus the
// flash's, from the first flash, after a pause and after a move. At 1920x1080 60 fps and
// 3840x2160 30 fps, on the machine as it is and with twice as many busy processes as cores that
// the benchmark starts itself. Prints figures; run by scripts/bench.
//
// harness-screen: 1920x1080x24
// harness-options: --pulse
//
// By hand: scripts/harness --pulse -- build/bench/PlaybackSyncBench

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "desktop/DesktopPreview.h"
#include "model/CaptureItem.h"
#include "platform/x11/X11Platform.h"
#include "preview/PreviewMediaView.h"
#include "support/OurMovies.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTimer>

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

qint64 nowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

constexpr double movieSeconds = 6.4;
// Flashes (and their beeps) at irregular times, in seconds of the movie.
const std::vector<double> flashes{0.50, 1.27, 2.11, 2.93, 3.58, 4.21, 4.97, 5.72};
// Each flash is white and heard this long.
constexpr double flashSeconds = 0.06;
// While playing: paused at this time for a while, and moved from the second time to the third,
// past the flash between them.
constexpr double pauseAt = 2.45;
constexpr int pauseMs = 700;
constexpr double moveFrom = 3.90;
constexpr double moveTo = 4.60;
// What each flash seen stands for.
const char *const seen[] = {"first", "", "", "after pause", "", "after move", ""};
constexpr int flashesSeen = 7;
constexpr qint64 targetUs = 45'000;

// Notes when the screen at one point turns from dark to bright, read through a connection of its
// own on a thread of its own.
class ScreenWatch {
public:
    ScreenWatch(QPoint point) : m_point(point)
    {
        m_thread = std::thread([this] { watch(); });
    }
    ~ScreenWatch() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    QList<qint64> onsets() const { return m_onsets; }
    double longestGapMs() const { return m_longestGapUs / 1000.0; }
    bool worked() const { return m_worked; }

private:
    void watch()
    {
        xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection)) {
            xcb_disconnect(connection);
            return;
        }
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
        bool bright = false;
        qint64 last = 0;
        while (!m_stop) {
            const qint64 asked = nowUs();
            xcb_get_image_reply_t *reply = xcb_get_image_reply(
                connection,
                xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, root, int16_t(m_point.x()),
                              int16_t(m_point.y()), 2, 2, ~0u),
                nullptr);
            const qint64 answered = nowUs();
            if (!reply)
                break;
            m_worked = true;
            const uint8_t *pixel = xcb_get_image_data(reply);
            const int level = (pixel[0] + pixel[1] + pixel[2]) / 3;
            free(reply);
            if (last)
                m_longestGapUs = std::max(m_longestGapUs, answered - last);
            // The picture changed between the last look and this one: the middle of the two.
            if (!bright && level > 200)
                m_onsets.append(last ? (std::max(last, asked - 2000) + answered) / 2 : answered);
            if (level > 200)
                bright = true;
            else if (level < 60)
                bright = false;
            last = answered;
            std::this_thread::sleep_for(std::chrono::microseconds(700));
        }
        xcb_disconnect(connection);
    }

    QPoint m_point;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    QList<qint64> m_onsets;
    qint64 m_longestGapUs = 0;
    bool m_worked = false;
};

// Records the sound server's default monitor with parec and notes when each beep is heard: each
// block read is stamped, and a sample's time is the earliest its block could have been complete.
class SoundWatch {
public:
    static constexpr int rate = 48000;

    SoundWatch()
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            dup2(pipeEnds[1], STDOUT_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            execlp("parec", "parec", "-d", "@DEFAULT_MONITOR@", "--format=s16le", "--rate=48000",
                   "--channels=1", "--latency-msec=5", static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipeEnds[1]);
        m_pipe = pipeEnds[0];
        m_thread = std::thread([this] { record(); });
    }
    ~SoundWatch() { stop(); }
    void stop()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = -1;
        }
        if (m_thread.joinable())
            m_thread.join();
        if (m_pipe >= 0)
            close(m_pipe);
        m_pipe = -1;
    }
    bool recording() const { return m_samples.size() > 0; }

    QList<qint64> onsets() const
    {
        QList<qint64> onsets;
        qsizetype quietSince = 0;
        for (qsizetype i = 0; i < qsizetype(m_samples.size()); ++i) {
            if (std::abs(m_samples[i]) < 3000)
                continue;
            if (i - quietSince > rate / 10)
                onsets.append(m_start + i * 1'000'000 / rate);
            quietSince = i;
        }
        return onsets;
    }

private:
    void record()
    {
        char buffer[4096];
        qint64 start = std::numeric_limits<qint64>::max();
        for (;;) {
            const ssize_t got = read(m_pipe, buffer, sizeof buffer);
            if (got <= 0)
                break;
            const qint64 at = nowUs();
            const auto *samples = reinterpret_cast<const qint16 *>(buffer);
            m_samples.insert(m_samples.end(), samples, samples + got / 2);
            start = std::min(start, at - qint64(m_samples.size()) * 1'000'000 / rate);
        }
        m_start = start;
    }

    pid_t m_pid = -1;
    int m_pipe = -1;
    std::thread m_thread;
    std::vector<qint16> m_samples;
    qint64 m_start = 0;
};

// Twice as many processes as cores, each spinning, until destroyed.
class BusyMachine {
public:
    explicit BusyMachine(int processes)
    {
        for (int i = 0; i < processes; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile unsigned long spin = 0;
                for (;;)
                    spin = spin + 1;
            }
            if (pid > 0)
                m_pids.push_back(pid);
        }
    }
    ~BusyMachine()
    {
        for (const pid_t pid : m_pids)
            kill(pid, SIGKILL);
        for (const pid_t pid : m_pids)
            waitpid(pid, nullptr, 0);
    }

private:
    std::vector<pid_t> m_pids;
};

// A beep whose flash was not seen within this of it counts as a flash never shown.
constexpr qint64 pairingUs = 500'000;
constexpr qint64 notSeen = std::numeric_limits<qint64>::min();

struct Run {
    // Sound minus picture, µs, one per beep heard; notSeen where no flash came near it.
    QList<qint64> offsets;
    QString problem;
    double longestLookGapMs = 0;
};

Run play(const CaptureItem &recording, CaptureQueue &queue, platform::Displays &displays)
{
    Run run;
    const std::unique_ptr<QuickLookPreviewController> preview = makeDesktopPreview(displays, queue);
    preview->show(recording, queue, {}, {}, {});
    QWidget *panel = desktopPreviewPanel(*preview);
    auto *view = panel->findChild<QuickLookPreviewView *>();
    auto *media = panel->findChild<PreviewMediaView *>();
    waitFor([&] { return panel->windowHandle()->isExposed() && view->player(); });
    runEventLoop(1000);
    platform::MoviePlayer *player = view->player();
    const QPoint point = media->mapToGlobal(media->pictureRect().center().toPoint());

    SoundWatch sound;
    ScreenWatch screen(point);
    runEventLoop(300);
    bool paused = false;
    bool moved = false;
    bool ended = false;
    QObject::connect(player, &platform::MoviePlayer::reachedEnd, [&] { ended = true; });
    QObject::connect(player, &platform::MoviePlayer::frameChanged, [&] {
        const double time = player->currentFrameTime() / 1e6;
        if (!paused && player->isPlaying() && time >= pauseAt) {
            paused = true;
            view->togglePlayback();
            QTimer::singleShot(pauseMs, [view] { view->togglePlayback(); });
        } else if (paused && !moved && player->isPlaying() && time >= moveFrom) {
            moved = true;
            player->seek(qint64(moveTo * 1000));
        }
    });
    view->togglePlayback();
    waitFor([&] { return ended; }, 60000);
    runEventLoop(400);
    screen.stop();
    sound.stop();
    preview->close();
    runEventLoop(300);

    run.longestLookGapMs = screen.longestGapMs();
    const QList<qint64> pictures = screen.onsets();
    const QList<qint64> beeps = sound.onsets();
    if (!screen.worked())
        run.problem = QStringLiteral("the screen could not be read");
    else if (!sound.recording())
        run.problem = QStringLiteral("nothing was recorded from the sound server");
    else if (!ended)
        run.problem = QStringLiteral("the movie did not reach its end");
    else if (beeps.size() != flashesSeen)
        run.problem = QStringLiteral("%1 beeps heard, not %2").arg(beeps.size()).arg(flashesSeen);
    // Each beep with the flash seen nearest it: a flash passed over, or shown far too late, is
    // none.
    for (const qint64 beep : beeps) {
        qint64 offset = notSeen;
        for (const qint64 picture : pictures) {
            if (std::abs(beep - picture) <= pairingUs &&
                (offset == notSeen || std::abs(beep - picture) < std::abs(offset)))
                offset = beep - picture;
        }
        run.offsets.append(offset);
    }
    return run;
}

void report(const char *name, const char *machine, const Run &run)
{
    std::printf("%s, %s: sound minus picture per flash (ms):", name, machine);
    qint64 worst = 0;
    int missing = 0;
    for (int i = 0; i < run.offsets.size(); ++i) {
        const char *what = i < flashesSeen ? seen[i] : "";
        std::printf(" %s%s", what, *what ? " " : "");
        if (run.offsets[i] == notSeen) {
            std::printf("(not seen)");
            ++missing;
            continue;
        }
        std::printf("%+.0f", run.offsets[i] / 1000.0);
        worst = std::max(worst, std::abs(run.offsets[i]));
    }
    if (missing)
        std::printf("; %d of %lld flashes not seen within 500 ms of their beeps", missing,
                    qlonglong(run.offsets.size()));
    const bool met = run.problem.isEmpty() && missing == 0 && worst <= targetUs;
    std::printf("; worst %.0f ms (target <= 45 either way: %s)%s%s; screen looked at every "
                "<= %.1f ms [%s]\n",
                worst / 1000.0, verdict(met), run.problem.isEmpty() ? "" : "; ",
                qPrintable(run.problem), run.longestLookGapMs, loadNote().c_str());
}

} // namespace

int main(int argc, char **argv)
{
    platform::selectMovieBackend();
    QApplication app(argc, argv);
    if (!onXServer("PlaybackSyncBench", "scripts/harness --pulse", argv[0]))
        return 0;
    if (QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("info")}) != 0) {
        std::printf("PlaybackSyncBench needs a sound server; run it inside the harness with "
                    "--pulse\n");
        return 0;
    }
    BenchEnvironment environment;
    platform::ScreenshotPlatform desktop = platform::makeX11ScreenshotPlatform();
    QTemporaryDir folder;
    CaptureQueue queue(10);
    struct Movie {
        const char *name;
        QSize size;
        int frameRate;
        std::optional<CaptureItem> item;
    };
    std::vector<Movie> movies{{"1920x1080 60 fps", QSize(1920, 1080), 60, std::nullopt},
                              {"3840x2160 30 fps", QSize(3840, 2160), 30, std::nullopt}};
    for (Movie &movie : movies) {
        const QString path = folder.filePath(QStringLiteral("%1.mp4").arg(movie.size.width()));
        QString error;
        if (!writeFlashes(path, movie.size, movie.frameRate, movieSeconds, flashes, flashSeconds,
                          &error)) {
            std::printf("%s: could not write the movie: %s\n", movie.name, qPrintable(error));
            return 1;
        }
        QImage poster(160, 90, QImage::Format_RGB32);
        poster.fill(Qt::black);
        movie.item = CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime(), 1u,
                                 CaptureMode::recording, poster, std::nullopt,
                                 QUrl::fromLocalFile(path), CaptureItemState::pending());
    }
    const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
    for (const bool loaded : {false, true}) {
        std::unique_ptr<BusyMachine> busy;
        if (loaded)
            busy = std::make_unique<BusyMachine>(2 * cores);
        const std::string machine =
            loaded ? "with " + std::to_string(2 * cores) + " busy processes added"
                   : std::string("the machine as it is");
        if (loaded)
            runEventLoop(3000);
        for (const Movie &movie : movies) {
            queue.enqueue(*movie.item);
            report(movie.name, machine.c_str(), play(*movie.item, queue, *desktop.displays));
            queue.remove(movie.item->id());
        }
    }
    return 0;
}
