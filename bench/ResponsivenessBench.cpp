// The running corvanta program at 4K with auto-copy on (the Designer & Dev preset), as a user
// meets it on a busy screen: (1) from a press of the full-display hot key until another program
// pastes a whole PNG of the screen, beside scrot writing the PNG and xclip offering it, timed
// from the same start in the same run, the two taking turns; (2) the longest the program's main
// thread stayed away while (a) the first paste after an auto-copied capture is served, (b) a
// capture whose pixels were let go is copied with the tray's C key and pasted as TIFF at once,
// (c) a capture is dragged out of the tray with the pointer sweeping the screen, (d) the tray's P
// key pins a capture, (e) it pins a staged screen recording, (f) the full-display hot key
// captures, and (g) the preview opens on a thumbnail the pointer rests on, and (h) that thumbnail
// is clicked. The main thread is watched from another X connection that asks the program, the
// clipboard's owner, for its TARGETS every 10 ms: only the main thread answers. Every figure
// carries the load average.
//
// harness-screen: 3840x2160x24
//
// By hand: CORVANTA_SCREEN=3840x2160x24 scripts/harness -- build/bench/ResponsivenessBench
// With CORVANTA_BENCH_COMPARE=<another build's build/src/corvanta>, (1) times this build against
// that one instead of scrot + xclip.
// With CORVANTA_BENCH_PROGRAM_LOG=<file> the program's output is written there at the end; set
// QT_LOGGING_RULES="com.corvanta.app.*=true" as well for its timestamps.

#include "ResponsivenessStalls.h"

#include <QApplication>
#include <QImage>
#include <QScreen>

#include <cstdio>

namespace {

constexpr int rounds = 7;
constexpr double pasteTarget = 4.0;
const QSize targetScreen(3840, 2160);

// The desktop: the busy picture, with a square in a colour of each round, so that a pasted PNG
// is known to show this round's screen.
class MarkedDesktop {
public:
    explicit MarkedDesktop(const QRect &screen)
        : m_content(screen), m_picture(desktopImage(screen.size())),
          m_square(40, screen.height() - 400, 200, 200)
    {
        m_content.show();
    }
    // Shows the round's square; false when the screen did not show it in time.
    bool mark(int round, XTestDesktop &desktop)
    {
        m_colour = QColor::fromHsv((round * 47) % 360, 255, 230).rgb();
        QImage picture = m_picture;
        QPainter(&picture).fillRect(m_square, QColor(m_colour));
        m_content.setImage(picture);
        return waitFor([&] { return desktop.pixel(middle().x(), middle().y()) == m_colour; });
    }
    // Whether the PNG decodes, by Qt's reader, to a picture of the screen with the round's square.
    bool shows(const QByteArray &png, const QSize &size) const
    {
        const QImage image = QImage::fromData(png, "PNG");
        return image.size() == size && (image.pixel(middle()) & 0xffffff) == (m_colour & 0xffffff);
    }

private:
    QPoint middle() const { return m_square.center(); }

    DesktopContent m_content;
    QImage m_picture;
    QRect m_square;
    QRgb m_colour = 0;
};

// Adds the time from `start` until xclip pasted a whole PNG of the round's desktop, and its size.
// False when none came in time.
bool untilPasted(Timings &timings, Clock::time_point start, const QSize &screen,
                 const MarkedDesktop &marked)
{
    QByteArray png;
    Clock::time_point pasted;
    // A PNG of an earlier screen, such as the program's first capture's copy landing late, is
    // passed over: the round waits for its own.
    const bool shown = waitFor(
        [&] {
            png = pasteWithXclip(QStringLiteral("image/png"));
            pasted = Clock::now();
            return looksWholePng(png, screen) && marked.shows(png, screen);
        },
        programWaitLimitMs);
    if (!shown)
        return false;
    timings.add(milliseconds(pasted - start), png.size());
    return true;
}

// Adds the time from `start` to the moment, when there is one.
void addSince(Timings &timings, Clock::time_point start, std::optional<Clock::time_point> at)
{
    if (at)
        timings.add(milliseconds(*at - start));
}

void printTimings(const char *name, const Timings &timings, int failures, const char *note)
{
    std::printf("  %-14s %s%s, PNG %.1f MB%s\n", name,
                timings.ms.isEmpty() ? "no paste" : timings.text().c_str(),
                failures ? qPrintable(QStringLiteral("; %1 rounds failed").arg(failures)) : "",
                double(timings.bytes) / 1e6, note);
}

// (1) Hot key to a pasteable PNG against scrot + xclip, taking turns.
void hotKeyToPaste(AutoCopyProgram &program, XTestDesktop &desktop, MarkedDesktop &marked,
                   const MainThreadProbe &probe, const QSize &screen, const QString &scratch)
{
    ClipboardText text;
    QProcess offering;
    Timings ours, theirs, readStart, readDone, copyStart, ourOffer, scrotDone, theirOffer;
    int ourFailures = 0, theirFailures = 0;
    const QString peerPng = scratch + QStringLiteral("/scrot.png");
    for (int round = 0; round < rounds; ++round) {
        if (!text.put() || !marked.mark(2 * round, desktop)) {
            std::printf("Hot key to paste: the clipboard or the screen could not be prepared\n");
            return;
        }
        const AutoCopyProgram::Press pressed = program.capture();
        ourFailures += untilPasted(ours, pressed.at, screen, marked) ? 0 : 1;
        addSince(ourOffer, pressed.at, probe.clipboardTakenAfter(pressed.at));
        for (auto [timings, line] : {std::pair(&readStart, "Starting full display capture"),
                                     std::pair(&readDone, "Captured display successfully"),
                                     std::pair(&copyStart, "Copying capture item")}) {
            if (const std::optional<double> at = program.logged(QLatin1String(line), pressed))
                timings->add(*at);
        }
        keepEventsFlowing(1000);

        if (!text.put() || !marked.mark(2 * round + 1, desktop))
            return;
        QFile::remove(peerPng);
        const Clock::time_point start = Clock::now();
        bool pasted = false;
        if (runTool(QStringLiteral("scrot"), {QStringLiteral("-o"), peerPng})) {
            addSince(scrotDone, start, Clock::now());
            stopProcess(offering, 2000);
            offering.start(QStringLiteral("xclip"),
                           {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                            QStringLiteral("clipboard"), QStringLiteral("-t"),
                            QStringLiteral("image/png"), QStringLiteral("-i"), peerPng});
            pasted = untilPasted(theirs, start, screen, marked);
            addSince(theirOffer, start, probe.clipboardTakenAfter(start));
        }
        theirFailures += pasted ? 0 : 1;
        keepEventsFlowing(1000);
    }
    stopProcess(offering, 2000);
    std::printf("Hot key to a whole PNG pasted by another program (xclip -o, asked again and "
                "again), %dx%d, busy screen, %d rounds taking turns:\n",
                screen.width(), screen.height(), rounds);
    printTimings("Corvanta", ours, ourFailures, "");
    printTimings("scrot + xclip", theirs, theirFailures, " (from scrot's start)");
    if (ours.ms.isEmpty() || theirs.ms.isEmpty())
        return;
    std::printf("    of which (medians): Corvanta asked for the pixels at %.0f ms (after the "
                "documented 60 ms pause), had them at %.0f ms, started the copy at %.0f ms (its "
                "log), took the clipboard at %.0f ms; scrot was done at %.0f ms, xclip took the "
                "clipboard at %.0f ms\n",
                readStart.medianMs(), readDone.medianMs(), copyStart.medianMs(),
                ourOffer.medianMs(), scrotDone.medianMs(), theirOffer.medianMs());
    const double ratio = theirs.medianMs() / ours.medianMs();
    std::printf("  medians: %.1fx faster; worst against worst %.1fx; target >= %.0fx: %s  (%s)\n",
                ratio, theirs.worstMs() / ours.worstMs(), pasteTarget,
                verdict(ratio >= pasteTarget), loadNote().c_str());
}

// (1) against another build: this build's program and the other's, started in turn, each for a
// block of rounds (this one first in every other block), the same desktop marked afresh for
// every press, timed alike from the press to a whole PNG pasted by xclip.
void againstOtherBuild(XTestDesktop &desktop, MarkedDesktop &marked, const MainThreadProbe &probe,
                       const QSize &screen, const QString &other)
{
    constexpr int blocks = 6;
    constexpr int roundsPerBlock = 4;
    ClipboardText text;
    Timings times[2], offers[2];
    int failures[2] = {0, 0};
    int mark = 0;
    for (int block = 0; block < blocks; ++block) {
        for (int turn = 0; turn < 2; ++turn) {
            const int build = (block + turn) % 2; // 0: this build, 1: the other
            AutoCopyProgram program(desktop, screen, build == 0 ? QString() : other);
            if (!program.ready()) {
                std::printf("Against %s: the %s build did not start or capture\n",
                            qPrintable(other), build == 0 ? "this" : "other");
                return;
            }
            for (int round = 0; round < roundsPerBlock; ++round) {
                if (!text.put() || !marked.mark(mark++, desktop)) {
                    std::printf("Against another build: the clipboard or the screen could not be "
                                "prepared\n");
                    return;
                }
                const AutoCopyProgram::Press pressed = program.capture();
                if (!untilPasted(times[build], pressed.at, screen, marked)) {
                    ++failures[build];
                    std::printf("  round %d of block %d (%s build): no PNG of this round's screen "
                                "was pasted; the program %s the clipboard\n",
                                round, block, build == 0 ? "this" : "the other",
                                probe.clipboardTakenAfter(pressed.at) ? "took" : "never took");
                }
                addSince(offers[build], pressed.at, probe.clipboardTakenAfter(pressed.at));
                keepEventsFlowing(1000);
            }
        }
    }
    std::printf("Hot key to a whole PNG pasted by another program (xclip -o, asked again and "
                "again), %dx%d, busy screen, this build against %s, %d blocks of %d rounds "
                "taking turns:\n",
                screen.width(), screen.height(), qPrintable(other), blocks, roundsPerBlock);
    printTimings("this build", times[0], failures[0], "");
    printTimings("other build", times[1], failures[1], "");
    std::printf("    took the clipboard (medians): this build at %.0f ms, the other at %.0f ms\n",
                offers[0].medianMs(), offers[1].medianMs());
    if (times[0].ms.isEmpty() || times[1].ms.isEmpty())
        return;
    const double ratio = times[0].medianMs() / times[1].medianMs();
    std::printf("  medians: this build takes %.1f %% of the other's time; within 3 %%: %s  (%s)\n",
                100 * ratio, verdict(ratio <= 1.03), loadNote().c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    if (const std::optional<int> exitCode =
            prepareDesktopBenchmark(argc, argv, "ResponsivenessBench", "3840x2160x24"))
        return *exitCode;
    QApplication app(argc, argv);
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty()) {
        std::printf("ResponsivenessBench needs xclip\n");
        return 0;
    }
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    if (screen.size() != targetScreen)
        std::printf("Note: the screen is %dx%d; the targets are for 3840x2160.\n", screen.width(),
                    screen.height());
    XTestDesktop desktop;
    MarkedDesktop marked(screen);
    if (!marked.mark(0, desktop)) {
        std::printf("ResponsivenessBench: the desktop picture was not shown\n");
        return 0;
    }
    MainThreadProbe probe;
    if (!probe.usable()) {
        std::printf("ResponsivenessBench: no second X connection for the probe\n");
        return 0;
    }
    // Another build's program (its build/src/corvanta) to compare this one with, in place of
    // scrot and xclip.
    const QString other = qEnvironmentVariable("CORVANTA_BENCH_COMPARE");
    if (!other.isEmpty())
        againstOtherBuild(desktop, marked, probe, screen.size(), other);
    AutoCopyProgram program(desktop, screen.size());
    if (!program.ready()) {
        std::printf("ResponsivenessBench: the program did not start or capture\n");
        return 0;
    }
    QTemporaryDir scratch;
    if (other.isEmpty())
        hotKeyToPaste(program, desktop, marked, probe, screen.size(), scratch.path());

    xcb_connection_t *connection =
        qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    StallRig rig{program,       desktop, probe, connection, internAtom(connection, "CLIPBOARD"),
                 screen.size(), {}};
    std::printf("The main thread's longest stall, from another X client asking for the "
                "clipboard's TARGETS every %d ms (the longest gap between answers), %d rounds:\n",
                probeIntervalMs, stallRounds);
    const struct {
        void (*round)(StallRig &, Stalls &);
        const char *what;
        const char *took;
    } actions[] = {
        {pasteStall, "(a) first paste of a capture", "the paste took"},
        {tiffPasteStall, "(b) C, then a TIFF paste", "pasted after the key"},
        {dragStall, "(c) drag, the pointer moving", "drag started after the move"},
        {pinStall, "(d) P pins from the tray", "deck shown after the key"},
        {recordingPinStall, "(e) P pins a recording", "deck shown after the key"},
        {captureStall, "(f) the hot key captures", "staged after the key (its log)"},
    };
    for (const auto &action : actions) {
        Stalls stalls;
        action.round(rig, stalls);
        stalls.print(action.what, action.took);
    }
    Stalls hovered, clicked;
    previewStall(rig, hovered, clicked);
    hovered.print("(g) the preview opens on hover", "shown after the pointer rested");
    clicked.print("(h) a click with it open", "");
    return 0;
}
