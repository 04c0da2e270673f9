#pragma once

// The rounds of ResponsivenessBench that measure the program's main thread while a user acts:
// each round makes the program own the clipboard (so that the probe has someone to ask), then
// does one thing a user does and notes the longest the main thread stayed away meanwhile.

#include "ResponsivenessProgram.h"
#include "support/SimpleTiff.h"

#include <QList>
#include <QPoint>

inline constexpr int stallRounds = 5;
inline constexpr double stallTargetMs = 50;
// A capture's pixels are let go once its PNG is on disk, well within this.
inline constexpr int pixelsLetGoMs = 4000;
inline constexpr int recordingMs = 2000;
// While a drag runs, the pointer sweeps the screen, moved this often, for this long.
inline constexpr std::chrono::milliseconds motionInterval(4);
inline constexpr std::chrono::milliseconds sweepTime(1500);

// The longest gaps of one action over its rounds, with what the action took, and notes: where
// a gap over the target fell, and anything that kept a round from counting.
struct Stalls {
    Timings longest;
    Timings took;
    QStringList notes;

    void note(int round, const QString &why)
    {
        notes << QStringLiteral("round %1: %2").arg(round).arg(why);
    }
    void add(int round, const MainThreadProbe::Result &result, Clock::time_point start,
             std::optional<double> tookMs)
    {
        if (result.refused > 0 || !result.ownerKept)
            note(round, QStringLiteral("%1 requests refused, the clipboard's owner %2")
                            .arg(result.refused)
                            .arg(result.ownerKept ? "kept" : "changed"));
        if (result.longestGapMs > stallTargetMs)
            note(round,
                 QStringLiteral("the %1 ms gap ended %2 ms after the action started (at %3 s on "
                                "the monotonic clock, as perf -k 1 has it)")
                     .arg(result.longestGapMs, 0, 'f', 0)
                     .arg(milliseconds(result.longestGapEnd - start), 0, 'f', 0)
                     .arg(std::chrono::duration<double>(result.longestGapEnd.time_since_epoch())
                              .count(),
                          0, 'f', 3));
        longest.add(result.longestGapMs);
        if (tookMs)
            took.add(*tookMs);
    }
    void print(const char *what, const char *tookName) const
    {
        if (longest.ms.isEmpty())
            std::printf("  %-30s not measured\n", what);
        else
            std::printf("  %-30s longest gap %s; worst <= %.0f ms: %s\n", what,
                        longest.text().c_str(), stallTargetMs,
                        verdict(longest.worstMs() <= stallTargetMs));
        if (!took.ms.isEmpty())
            std::printf("  %-30s %s %s\n", "", tookName, took.text().c_str());
        for (const QString &line : notes)
            std::printf("  %-30s %s\n", "", qPrintable(line));
        std::fflush(stdout);
    }
};

// What the stall rounds act with.
struct StallRig {
    AutoCopyProgram &program;
    XTestDesktop &desktop;
    MainThreadProbe &probe;
    xcb_connection_t *connection;
    xcb_atom_t clipboard;
    QSize screen;
    ClipboardText text;

    // Another program's text on the clipboard, then a capture the program copies, so that it
    // owns the clipboard; false, with a note, when it does not.
    bool freshCopy(Stalls &stalls, int round)
    {
        if (text.put() && program.captureAndCopy(connection, clipboard))
            return true;
        stalls.note(round, QStringLiteral("the program did not own the clipboard"));
        return false;
    }
    // The tray opened and the probe asking; the tray's large thumbnail, none (with a note) when
    // either failed.
    std::optional<QRect> trayAndProbe(Stalls &stalls, int round)
    {
        const std::optional<QRect> thumbnail = program.openTheTray();
        if (thumbnail && probe.begin()) {
            keepEventsFlowing(200);
            return thumbnail;
        }
        stalls.note(round, thumbnail ? QStringLiteral("no answer before the action")
                                     : QStringLiteral("no thumbnail in the tray"));
        probe.end();
        program.awayFromTheTray();
        return std::nullopt;
    }
    // When a window with the title was mapped after `since`; none when none was in time.
    std::optional<Clock::time_point> shownAfter(const QByteArray &title, Clock::time_point since)
    {
        std::optional<Clock::time_point> at;
        waitFor(
            [&] {
                for (const auto &[when, window] : probe.mappedAfter(since)) {
                    if (titled(connection, window, title))
                        return (at = when).has_value();
                }
                return false;
            },
            programWaitLimitMs);
        return at;
    }
    template <typename Moment>
    std::optional<Clock::time_point> waitForMoment(Moment moment, Clock::time_point since)
    {
        std::optional<Clock::time_point> at;
        waitFor([&] { return (at = (probe.*moment)(since)).has_value(); }, programWaitLimitMs);
        return at;
    }
};

inline std::optional<double> since(Clock::time_point start, std::optional<Clock::time_point> at)
{
    return at ? std::optional<double>(milliseconds(*at - start)) : std::nullopt;
}

// The first paste after an auto-copied capture, served while the probe asks.
inline void pasteStall(StallRig &rig, Stalls &stalls)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(stalls, round) || !rig.probe.begin())
            continue;
        keepEventsFlowing(200);
        const Clock::time_point start = Clock::now();
        const QByteArray png = pasteWithXclip(QStringLiteral("image/png"));
        const double took = milliseconds(Clock::now() - start);
        keepEventsFlowing(200);
        const MainThreadProbe::Result result = rig.probe.end();
        if (!looksWholePng(png, rig.screen)) {
            stalls.note(round, QStringLiteral("the paste was no whole PNG"));
            continue;
        }
        stalls.add(round, result, start, took);
    }
}

// A TIFF that decodes to a picture of the screen's size. Its size and the PNG's are what the
// program holds while it owns the clipboard.
inline bool looksWholeTiff(const QByteArray &bytes, const QSize &size)
{
    return readSimpleTiff(bytes).size() == size;
}

// A capture a few seconds old, its pixels let go, copied again with the tray's C key, and pasted
// as TIFF by another program as soon as the program took the clipboard.
inline void tiffPasteStall(StallRig &rig, Stalls &stalls)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(stalls, round))
            continue;
        keepEventsFlowing(pixelsLetGoMs);
        if (!rig.trayAndProbe(stalls, round))
            continue;
        const Clock::time_point pressed = Clock::now();
        rig.desktop.tap('c');
        const std::optional<Clock::time_point> copied =
            rig.waitForMoment(&MainThreadProbe::clipboardTakenAfter, pressed);
        const QByteArray tiff = copied ? pasteWithXclip(QStringLiteral("image/tiff")) : "";
        const Clock::time_point pasted = Clock::now();
        keepEventsFlowing(200);
        const MainThreadProbe::Result result = rig.probe.end();
        rig.program.awayFromTheTray();
        if (!copied)
            stalls.note(round, QStringLiteral("the C key took no clipboard"));
        else if (!looksWholeTiff(tiff, rig.screen))
            stalls.note(round, QStringLiteral("the paste was no TIFF of the screen"));
        else
            stalls.add(round, result, pressed, milliseconds(pasted - pressed));
        if (round == 0 && copied) {
            stalls.note(
                round, QStringLiteral("held while the clipboard is ours: PNG %1 MB, "
                                      "TIFF %2 MB")
                           .arg(pasteWithXclip(QStringLiteral("image/png")).size() / 1e6, 0, 'f', 1)
                           .arg(tiff.size() / 1e6, 0, 'f', 1));
        }
    }
}

// The point `t` (0 to 1) of the way along the path's straight legs.
inline QPoint along(const QList<QPoint> &path, double t)
{
    const double legs = double(path.size() - 1);
    const int leg = std::min(int(t * legs), int(legs) - 1);
    const double within = t * legs - leg;
    return path[leg] + (path[leg + 1] - path[leg]) * within;
}

// A drag of the newest capture out of the tray: pressed on its thumbnail, moved past the drag
// distance, then the pointer sweeping the screen, a move every few milliseconds as a quick hand
// makes, before it lets go over the desktop.
inline void dragStall(StallRig &rig, Stalls &stalls)
{
    XTestDesktop &desktop = rig.desktop;
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(stalls, round))
            continue;
        const std::optional<QRect> thumbnail = rig.program.openTheTray();
        if (!thumbnail) {
            stalls.note(round, QStringLiteral("no thumbnail in the tray"));
            rig.program.awayFromTheTray();
            continue;
        }
        const QPoint from = thumbnail->center();
        desktop.movePointerByDevice(from.x() - 1, from.y() - 1);
        desktop.movePointerByDevice(from.x(), from.y());
        keepEventsFlowing(300);
        if (!rig.probe.begin()) {
            stalls.note(round, QStringLiteral("no answer before the drag"));
            rig.program.awayFromTheTray();
            continue;
        }
        keepEventsFlowing(200);
        const Clock::time_point pressed = Clock::now();
        desktop.button(true);
        keepEventsFlowing(60);
        // Past the drag distance (10 pixels) with the last of three moves.
        Clock::time_point moved;
        for (const int down : {4, 8, 16}) {
            desktop.movePointerByDevice(from.x(), from.y() + down);
            moved = Clock::now();
            keepEventsFlowing(15);
        }
        const std::optional<Clock::time_point> started =
            rig.waitForMoment(&MainThreadProbe::dragSelectionTakenAfter, pressed);
        const int w = rig.screen.width(), h = rig.screen.height();
        const QList<QPoint> path = {from + QPoint(0, 16),
                                    {w - 200, h / 2},
                                    {200, h - 200},
                                    {w - 300, h - 150},
                                    {w / 2, h / 2}};
        // This process answers the drag's messages as a drop target would.
        const Clock::time_point sweepStart = Clock::now();
        for (Clock::time_point next = sweepStart; next - sweepStart <= sweepTime;
             next += motionInterval) {
            const QPoint at = along(path, milliseconds(next - sweepStart) / sweepTime.count());
            desktop.movePointerByDevice(at.x(), at.y());
            QCoreApplication::processEvents();
            std::this_thread::sleep_until(next + motionInterval);
        }
        desktop.button(false);
        keepEventsFlowing(500);
        const MainThreadProbe::Result result = rig.probe.end();
        rig.program.awayFromTheTray();
        if (!started)
            stalls.note(round, QStringLiteral("no drag started"));
        else
            stalls.add(round, result, pressed, milliseconds(*started - moved));
    }
}

// The tray's P key on the newest capture, the program's window holding the keyboard, until the
// deck shows it; the deck is closed (Ctrl+Alt+P) afterwards, so that it opens anew.
inline void pinTheNewest(StallRig &rig, Stalls &stalls, int round)
{
    if (!rig.trayAndProbe(stalls, round))
        return;
    const Clock::time_point pressed = Clock::now();
    rig.desktop.tap('p');
    const std::optional<Clock::time_point> shown = rig.shownAfter("Corvanta Pins", pressed);
    keepEventsFlowing(500);
    const MainThreadProbe::Result result = rig.probe.end();
    rig.program.awayFromTheTray();
    rig.program.closeAllPins();
    keepEventsFlowing(500);
    if (!shown)
        stalls.note(round, QStringLiteral("no deck was shown"));
    else
        stalls.add(round, result, pressed, milliseconds(*shown - pressed));
}

inline void pinStall(StallRig &rig, Stalls &stalls)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (rig.freshCopy(stalls, round))
            pinTheNewest(rig, stalls, round);
    }
}

// A screen recording started with its hot key and the chooser's Screen tile, stopped with the
// hot key after two seconds, staged, and pinned from the tray with P.
inline void recordingPinStall(StallRig &rig, Stalls &stalls)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(stalls, round))
            continue;
        rig.program.awayFromTheTray();
        if (!rig.program.startRecording()) {
            stalls.note(round, QStringLiteral("the recording did not start"));
            rig.desktop.tap(0xff1b); // Escape closes the chooser
            continue;
        }
        keepEventsFlowing(recordingMs);
        if (!rig.program.stopRecording()) {
            stalls.note(round, QStringLiteral("no recording was staged"));
            continue;
        }
        // Its poster written, the tray quiet again.
        keepEventsFlowing(2000);
        rig.program.awayFromTheTray();
        pinTheNewest(rig, stalls, round);
    }
}

// A press of the full-display hot key, through the capture, until the program staged it and the
// tray and the copy that follow are done.
inline void captureStall(StallRig &rig, Stalls &stalls)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(stalls, round) || !rig.probe.begin())
            continue;
        keepEventsFlowing(200);
        const int before = rig.program.staged();
        const AutoCopyProgram::Press pressed = rig.program.capture();
        const bool staged = rig.program.waitUntilStaged(before + 1);
        keepEventsFlowing(1000);
        const MainThreadProbe::Result result = rig.probe.end();
        if (!staged)
            stalls.note(round, QStringLiteral("nothing was staged"));
        else
            stalls.add(round, result, pressed.at,
                       rig.program.logged(stagedLine, pressed).value_or(0));
    }
}

// The preview of the newest capture: opened by the pointer resting on its thumbnail in the
// expanded tray (`hovered`), then a click on that thumbnail with the preview open (`clicked`);
// Escape closes it.
inline void previewStall(StallRig &rig, Stalls &hovered, Stalls &clicked)
{
    for (int round = 0; round < stallRounds; ++round) {
        if (!rig.freshCopy(hovered, round))
            continue;
        const std::optional<QRect> thumbnail = rig.trayAndProbe(hovered, round);
        if (!thumbnail)
            continue;
        const QPoint on = thumbnail->center();
        const Clock::time_point rested = Clock::now();
        rig.desktop.movePointerByDevice(on.x() - 1, on.y() - 1);
        rig.desktop.movePointerByDevice(on.x(), on.y());
        const std::optional<Clock::time_point> shown = rig.shownAfter("Corvanta Preview", rested);
        keepEventsFlowing(600);
        hovered.add(round, rig.probe.end(), rested, since(rested, shown));
        if (shown && rig.probe.begin()) {
            keepEventsFlowing(200);
            const Clock::time_point pressed = Clock::now();
            rig.desktop.button(true);
            rig.desktop.button(false);
            keepEventsFlowing(800);
            clicked.add(round, rig.probe.end(), pressed, std::nullopt);
        }
        if (!shown)
            hovered.note(round, QStringLiteral("no preview was shown"));
        const Clock::time_point escape = Clock::now();
        rig.desktop.tap(0xff1b);
        if (shown && !rig.waitForMoment(&MainThreadProbe::firstUnmapAfter, escape))
            hovered.note(round, QStringLiteral("Escape left the preview open"));
        rig.program.awayFromTheTray();
    }
}
