#pragma once

// The running corvanta program as ResponsivenessBench drives it, and the probe that watches its
// main thread from another X connection.

#include "BenchDesktop.h"
#include "BenchFigures.h"
#include "capture/ModeSelectorView.h"

#include <QMutex>
#include <QtEndian>

#include <atomic>
#include <chrono>
#include <optional>
#include <poll.h>
#include <thread>
#include <xcb/xfixes.h>

using Clock = std::chrono::steady_clock;

inline constexpr int probeIntervalMs = 10;

inline double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

inline xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(qstrlen(name)), name), nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

inline xcb_window_t selectionOwner(xcb_connection_t *connection, xcb_atom_t selection)
{
    xcb_get_selection_owner_reply_t *reply = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const xcb_window_t owner = reply ? reply->owner : XCB_NONE;
    std::free(reply);
    return owner;
}

// Whether the window, or a child of it (a window manager's frame holds the program's window),
// has the title.
inline bool titled(xcb_connection_t *connection, xcb_window_t window, const QByteArray &title,
                   int depth = 1)
{
    xcb_get_property_reply_t *name = xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, window, internAtom(connection, "_NET_WM_NAME"),
                         XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    const bool same = name && QByteArray(static_cast<const char *>(xcb_get_property_value(name)),
                                         xcb_get_property_value_length(name)) == title;
    std::free(name);
    if (same || depth == 0)
        return same;
    xcb_query_tree_reply_t *tree =
        xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr);
    bool found = false;
    for (int i = 0; tree && !found && i < xcb_query_tree_children_length(tree); ++i)
        found = titled(connection, xcb_query_tree_children(tree)[i], title, depth - 1);
    std::free(tree);
    return found;
}

// Watches the program's main thread from an X connection of its own, on a thread of its own:
// while asking, requests the clipboard's TARGETS every 10 ms (one request at a time), which the
// program, owning the clipboard, answers from its event loop; the longest gap between two
// answers is the longest the user would have waited for it. Also notes when a window was mapped
// or unmapped, and when a drag or a copy took its selection.
class MainThreadProbe {
public:
    struct Result {
        // Between two answers, or from the last answer to the end of the asking.
        double longestGapMs = 0;
        // From a request to its answer.
        double longestWaitMs = 0;
        int answers = 0;
        // Answered without the targets: the clipboard had no owner or the owner refused.
        int refused = 0;
        bool ownerKept = true;
        Clock::time_point longestGapEnd;
    };

    MainThreadProbe() : m_connection(xcb_connect(nullptr, nullptr))
    {
        if (xcb_connection_has_error(m_connection))
            return;
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_window = xcb_generate_id(m_connection);
        xcb_create_window(m_connection, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const uint32_t substructure = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_connection, screen->root, XCB_CW_EVENT_MASK, &substructure);
        m_clipboard = internAtom(m_connection, "CLIPBOARD");
        m_targets = internAtom(m_connection, "TARGETS");
        m_property = internAtom(m_connection, "CORVANTA_BENCH_TARGETS");
        std::free(xcb_xfixes_query_version_reply(
            m_connection, xcb_xfixes_query_version(m_connection, 5, 0), nullptr));
        for (const xcb_atom_t selection :
             {m_clipboard, internAtom(m_connection, "XdndSelection")}) {
            xcb_xfixes_select_selection_input(m_connection, m_window, selection,
                                              XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER);
        }
        m_xfixesEvent = xcb_get_extension_data(m_connection, &xcb_xfixes_id)->first_event +
                        XCB_XFIXES_SELECTION_NOTIFY;
        xcb_flush(m_connection);
        m_thread = std::thread([this] { run(); });
    }
    ~MainThreadProbe()
    {
        m_quit = true;
        if (m_thread.joinable())
            m_thread.join();
        xcb_disconnect(m_connection);
    }
    MainThreadProbe(const MainThreadProbe &) = delete;
    MainThreadProbe &operator=(const MainThreadProbe &) = delete;

    bool usable() const { return m_thread.joinable(); }

    // Starts asking; false when no answer with the targets came within the limit.
    bool begin(int limitMs = 3000)
    {
        {
            const QMutexLocker lock(&m_mutex);
            m_result = Result();
            m_asking = true;
        }
        m_owner = selectionOwner(m_connection, m_clipboard);
        return waitFor(
            [this] {
                const QMutexLocker lock(&m_mutex);
                return m_result.answers > 0;
            },
            limitMs);
    }
    Result end()
    {
        const QMutexLocker lock(&m_mutex);
        m_asking = false;
        if (m_result.answers > 0)
            noteGap(Clock::now());
        m_result.ownerKept = selectionOwner(m_connection, m_clipboard) == m_owner;
        return m_result;
    }

    // The windows mapped after `since`, and when.
    QList<std::pair<Clock::time_point, xcb_window_t>> mappedAfter(Clock::time_point since) const
    {
        const QMutexLocker lock(&m_mutex);
        QList<std::pair<Clock::time_point, xcb_window_t>> mapped;
        for (const auto &map : m_mappedWindows) {
            if (map.first > since)
                mapped << map;
        }
        return mapped;
    }
    std::optional<Clock::time_point> firstUnmapAfter(Clock::time_point since) const
    {
        return firstAfter(m_unmaps, since);
    }
    std::optional<Clock::time_point> dragSelectionTakenAfter(Clock::time_point since) const
    {
        return firstAfter(m_dragSelections, since);
    }
    std::optional<Clock::time_point> clipboardTakenAfter(Clock::time_point since) const
    {
        return firstAfter(m_clipboardsTaken, since);
    }

private:
    std::optional<Clock::time_point> firstAfter(const QList<Clock::time_point> &times,
                                                Clock::time_point since) const
    {
        const QMutexLocker lock(&m_mutex);
        for (const Clock::time_point at : times) {
            if (at > since)
                return at;
        }
        return std::nullopt;
    }

    void noteGap(Clock::time_point at)
    {
        const double gap = milliseconds(at - m_lastAnswer);
        if (gap <= m_result.longestGapMs)
            return;
        m_result.longestGapMs = gap;
        m_result.longestGapEnd = at;
    }

    void run()
    {
        Clock::time_point next = Clock::now();
        while (!m_quit && !xcb_connection_has_error(m_connection)) {
            {
                const QMutexLocker lock(&m_mutex);
                const Clock::time_point now = Clock::now();
                if (m_asking && !m_pending && now >= next) {
                    xcb_convert_selection(m_connection, m_window, m_clipboard, m_targets,
                                          m_property, XCB_CURRENT_TIME);
                    xcb_flush(m_connection);
                    m_pending = true;
                    m_sentAt = now;
                    next = now + std::chrono::milliseconds(probeIntervalMs);
                }
            }
            pollfd descriptor{xcb_get_file_descriptor(m_connection), POLLIN, 0};
            ::poll(&descriptor, 1, 1);
            while (xcb_generic_event_t *event = xcb_poll_for_event(m_connection)) {
                handle(*event, Clock::now());
                std::free(event);
            }
        }
    }
    void handle(const xcb_generic_event_t &event, Clock::time_point at)
    {
        const QMutexLocker lock(&m_mutex);
        const int type = event.response_type & ~0x80;
        if (type == XCB_MAP_NOTIFY) {
            m_mappedWindows << std::pair(
                at, reinterpret_cast<const xcb_map_notify_event_t &>(event).window);
        } else if (type == XCB_UNMAP_NOTIFY) {
            m_unmaps << at;
        } else if (type == m_xfixesEvent) {
            const auto &taken =
                reinterpret_cast<const xcb_xfixes_selection_notify_event_t &>(event);
            (taken.selection == m_clipboard ? m_clipboardsTaken : m_dragSelections) << at;
        } else if (type == XCB_SELECTION_NOTIFY) {
            const auto &answer = reinterpret_cast<const xcb_selection_notify_event_t &>(event);
            if (answer.requestor != m_window || !std::exchange(m_pending, false) || !m_asking)
                return;
            if (answer.property == XCB_NONE) {
                ++m_result.refused;
                return;
            }
            m_result.longestWaitMs = std::max(m_result.longestWaitMs, milliseconds(at - m_sentAt));
            if (m_result.answers > 0)
                noteGap(at);
            m_lastAnswer = at;
            ++m_result.answers;
        }
    }

    xcb_connection_t *m_connection;
    xcb_window_t m_window = XCB_NONE;
    xcb_atom_t m_clipboard = XCB_ATOM_NONE, m_targets = XCB_ATOM_NONE, m_property = XCB_ATOM_NONE;
    int m_xfixesEvent = -1;
    xcb_window_t m_owner = XCB_NONE;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
    mutable QMutex m_mutex;
    bool m_asking = false;
    bool m_pending = false;
    Clock::time_point m_sentAt, m_lastAnswer;
    Result m_result;
    QList<Clock::time_point> m_unmaps, m_dragSelections, m_clipboardsTaken;
    QList<std::pair<Clock::time_point, xcb_window_t>> m_mappedWindows;
};

// Runs a short command to its end with this process's event loop running; its output, or
// nothing when it failed.
inline std::optional<QByteArray> runTool(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return std::nullopt;
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(2)) {
        QCoreApplication::processEvents();
        if (timer.elapsed() > programWaitLimitMs) {
            stopProcess(process, 1000);
            return std::nullopt;
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// What another program pastes from the clipboard as the type: empty when nothing.
inline QByteArray pasteWithXclip(const QString &type)
{
    return runTool(QStringLiteral("xclip"),
                   {QStringLiteral("-selection"), QStringLiteral("clipboard"), QStringLiteral("-t"),
                    type, QStringLiteral("-o")})
        .value_or(QByteArray());
}

// A whole PNG of that size at a glance: the signature, the header's size and the end chunk
// last. The bytes are decoded afterwards, outside the timing.
inline bool looksWholePng(const QByteArray &bytes, const QSize &size)
{
    static const QByteArray signature("\x89PNG\r\n\x1a\n", 8);
    static const QByteArray end("\0\0\0\0IEND\xae\x42\x60\x82", 12);
    if (bytes.size() < 33 || !bytes.startsWith(signature) || !bytes.endsWith(end) ||
        bytes.mid(12, 4) != "IHDR")
        return false;
    const auto *header = reinterpret_cast<const uchar *>(bytes.constData());
    return qFromBigEndian<quint32>(header + 16) == quint32(size.width()) &&
           qFromBigEndian<quint32>(header + 20) == quint32(size.height());
}

// Text of another program on the clipboard, so that what is pasted next was put there after.
class ClipboardText {
public:
    ~ClipboardText() { stopProcess(m_xclip, 2000); }
    bool put()
    {
        stopProcess(m_xclip, 2000);
        m_xclip.start(QStringLiteral("xclip"),
                      {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                       QStringLiteral("clipboard"), QStringLiteral("-i")});
        if (!m_xclip.waitForStarted())
            return false;
        m_xclip.write("before");
        m_xclip.closeWriteChannel();
        return waitFor([] { return pasteWithXclip(QStringLiteral("UTF8_STRING")) == "before"; });
    }

private:
    QProcess m_xclip;
};

inline const QString stagedLine = QStringLiteral("Capture item enqueued successfully");
inline const QString recordingStartedLine = QStringLiteral("Screen recording started successfully");

// The program with auto-copy on, as the Designer & Dev preset sets it, on this desktop.
class AutoCopyProgram {
public:
    // path: another build's program instead of this build's.
    AutoCopyProgram(XTestDesktop &desktop, const QSize &screen, const QString &path = QString())
        : m_desktop(desktop), m_screen(screen)
    {
        m_process.writeSettings(
            {QStringLiteral("workflowPreset=Designer & Dev (Auto-Copy)"),
             QStringLiteral("autoCopyOnCapture=true"), QStringLiteral("copyRemovesCapture=false"),
             QStringLiteral("maxQueueCapacity=10"), QStringLiteral("autoHideDelay=0")});
        m_process.start(QString(), path);
    }
    ~AutoCopyProgram()
    {
        m_process.drainOutput();
        const QString log = qEnvironmentVariable("CORVANTA_BENCH_PROGRAM_LOG");
        QFile file(log);
        if (!log.isEmpty() && file.open(QIODevice::WriteOnly))
            file.write(m_process.output().toUtf8());
    }

    bool ready()
    {
        awayFromTheTray();
        return takeFirstCapture(m_process, m_desktop);
    }

    struct Press {
        Clock::time_point at;
        QDateTime wall;
    };
    // Presses the full-display hot key; the moment the key went down.
    Press capture()
    {
        Press pressed;
        m_desktop.pressShortcut('1', [&] {
            pressed.at = Clock::now();
            pressed.wall = QDateTime::currentDateTime();
        });
        return pressed;
    }
    // How long after the press the program logged a line with the text.
    std::optional<double> logged(const QString &text, const Press &pressed)
    {
        m_process.drainOutput();
        return m_process.loggedAfter(text, pressed.wall);
    }
    // How many captures the program has staged so far, by its log.
    int staged()
    {
        m_process.drainOutput();
        return int(m_process.output().count(stagedLine));
    }
    // Waits until the program has staged `count` captures; false when it did not in time.
    bool waitUntilStaged(int count) { return m_process.waitForLine(stagedLine, count); }
    // A capture with the hot key, copied by the program, which then owns the clipboard, and the
    // tray quiet again; false when the program did not take the clipboard.
    bool captureAndCopy(xcb_connection_t *connection, xcb_atom_t clipboard)
    {
        const xcb_window_t before = selectionOwner(connection, clipboard);
        capture();
        const bool copied = waitFor(
            [&] {
                const xcb_window_t owner = selectionOwner(connection, clipboard);
                return owner != XCB_NONE && owner != before;
            },
            programWaitLimitMs);
        keepEventsFlowing(1500);
        m_process.drainOutput();
        return copied;
    }

    // The pointer onto the top middle of the screen, where the tray opens; the tray's large
    // thumbnail once the tray holds still, found by the ring in the accent colour around it.
    std::optional<QRect> openTheTray()
    {
        const int middle = m_screen.width() / 2;
        // Up to it in small steps, as a hand moves the mouse.
        for (int y = 300; y >= 3; y -= 30) {
            m_desktop.movePointerByDevice(middle, std::max(y, 3));
            keepEventsFlowing(15);
        }
        m_desktop.movePointerByDevice(middle, 3);
        std::optional<QRect> last;
        std::optional<QRect> now;
        const bool still = waitFor(
            [&] {
                keepEventsFlowing(100);
                last = std::exchange(now, thumbnail());
                return now && now == last;
            },
            programWaitLimitMs);
        return still ? now : std::nullopt;
    }
    void awayFromTheTray()
    {
        m_desktop.movePointerByDevice(m_screen.width() / 2 + 600, m_screen.height() - 300);
        keepEventsFlowing(800);
    }
    void closeAllPins()
    {
        m_desktop.pressShortcut('p', [] {});
    }
    void click(QPoint at)
    {
        m_desktop.movePointerByDevice(at.x(), at.y());
        keepEventsFlowing(100);
        m_desktop.button(true);
        m_desktop.button(false);
    }

    // A recording of the whole screen started as a user starts one: the recording hot key, then
    // the chooser's Screen tile; false when the program did not say it had started.
    bool startRecording()
    {
        m_process.drainOutput();
        const int started = int(m_process.output().count(recordingStartedLine));
        const QPoint tile = screenTile();
        const std::optional<QRgb> desktop = m_desktop.pixel(tile.x(), tile.y());
        m_desktop.pressShortcut('4', [] {});
        if (!waitFor([&] { return m_desktop.pixel(tile.x(), tile.y()) != desktop; },
                     programWaitLimitMs))
            return false;
        keepEventsFlowing(300);
        click(tile);
        return m_process.waitForLine(recordingStartedLine, started + 1);
    }
    // The recording hot key again, which stops the recording; false when no capture was staged.
    bool stopRecording()
    {
        const int before = staged();
        m_desktop.pressShortcut('4', [] {});
        return waitUntilStaged(before + 1);
    }

private:
    // Where the chooser of a recording's kind, centred on the screen, shows its Screen tile: laid
    // out here as the program lays it out.
    QPoint screenTile() const
    {
        ModeSelectorView view;
        view.setAttribute(Qt::WA_DontShowOnScreen);
        view.show();
        const QRect tile = view.button(RecordingSelectionMode::fullScreen)->geometry();
        view.hide();
        return QRect(QPoint(0, 0), m_screen).center() -
               QRect(QPoint(0, 0), ModeSelectorView::viewSize).center() + tile.center();
    }

    std::optional<QRect> thumbnail()
    {
        const QRect area(m_screen.width() / 2 - 900, 0, 1800, 240);
        const QImage pixels = m_desktop.grab(area);
        const auto accent = [](QRgb pixel) {
            return qRed(pixel) < 40 && qAbs(qGreen(pixel) - 122) < 30 && qBlue(pixel) > 200;
        };
        QRect ring;
        // The leftmost ring is the large thumbnail's; the next capture starts 90 pixels on.
        for (int x = 0; x < pixels.width() && (ring.isNull() || x < ring.left() + 86); ++x) {
            for (int y = 0; y < pixels.height(); ++y) {
                if (accent(pixels.pixel(x, y)))
                    ring |= QRect(x, y, 1, 1);
            }
        }
        if (ring.width() < 50 || ring.height() < 30 || ring.height() > 90)
            return std::nullopt;
        return ring.translated(area.topLeft());
    }

    XTestDesktop &m_desktop;
    QSize m_screen;
    CorvantaProcess m_process;
};
