// The staging tray on a real X server with 16 staged 3840×2160 screenshots: what a relayout and
// repaint of the expanded tray costs per frame, and a change of the selected capture; how
// smoothly the hover morph from compact to expanded runs (paints of the tray view a second,
// and the longest pause between two of them), once without a compositor and once with
// xcompmgr; and the resident memory with the captures written and the tray shown expanded.
// Prints figures; run by scripts/bench.
//
// harness-screen: 1920x1080x24
//
// By hand: scripts/harness --tray -- build-bench/bench/TrayBench

#include "BenchEnvironment.h"
#include "BenchFigures.h"
#include "app/DesktopPlatform.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "platform/Background.h"
#include "platform/PanelWindows.h"
#include "platform/PointerMonitor.h"
#include "platform/linux/XdgAutostartLoginItem.h"
#include "platform/x11/X11Platform.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

using State = TrayInteractionState;

constexpr int stagedCount = 16;
constexpr int relayoutFrames = 200;
constexpr int hoverRuns = 10;
constexpr double frameTargetMs = 8;
constexpr double animationTargetFps = 60;
constexpr double animationMeetsFps = 57;
constexpr double memoryTargetMb = 150;
const QSize captureSize(3840, 2160);

// A desktop worth a screenshot: a photo-like half with grain and a page of text, the capture's
// number in a corner so that every thumbnail differs.
QImage desktopImage()
{
    QImage image(captureSize, QImage::Format_RGB32);
    QRandomGenerator grain(5);
    const int half = captureSize.width() / 2;
    for (int y = 0; y < captureSize.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < half; ++x) {
            const int noise = int(grain.bounded(11u)) - 5;
            line[x] = qRgb(qBound(0, x * 255 / half + noise, 255),
                           qBound(0, y * 255 / captureSize.height() + noise, 255),
                           qBound(0, 160 + noise, 255));
        }
    }
    QPainter painter(&image);
    painter.fillRect(half, 0, half, captureSize.height(), Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    painter.setFont(font);
    painter.setPen(QColor(30, 30, 30));
    for (int y = 40, line = 0; y < captureSize.height(); y += 24, ++line) {
        painter.drawText(half + 40, y,
                         QStringLiteral("%1. Staged captures wait in the tray until they are "
                                        "saved, copied or dragged out.")
                             .arg(line));
    }
    return image;
}

CaptureItem makeScreenshot(const QImage &base, int number)
{
    QImage image = base.copy();
    QPainter painter(&image);
    painter.fillRect(0, 0, 600, 400, QColor::fromHsv(number * 22 % 360, 200, 200));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(300);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 600, 400), Qt::AlignCenter, QString::number(number));
    painter.end();
    return CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime().addSecs(number),
                       std::nullopt, CaptureMode::fullDisplay, image, std::nullopt, std::nullopt,
                       CaptureItemState::pending());
}

// Records when the tray view paints.
class PaintClock final : public QObject {
public:
    explicit PaintClock(QWidget *view) : m_view(view)
    {
        m_clock.start();
        view->installEventFilter(this);
    }
    ~PaintClock() override
    {
        if (m_view)
            m_view->removeEventFilter(this);
    }

    double now() const { return m_clock.nsecsElapsed() / 1e6; }
    QList<double> paints;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints << now();
        return false;
    }

private:
    QPointer<QWidget> m_view;
    QElapsedTimer m_clock;
};

// The tray as the program builds it on the desktop: real displays, panels, pointer monitor,
// compositor and the event loop's timers; no recorder.
struct Tray {
    Tray(const platform::ScreenshotPlatform &desktop, CaptureQueue &queue, SettingsStore &settings)
        : controller(NotchWindowController::Services{
              .queue = queue,
              .settings = settings,
              .callbacks = {},
              .displays = *desktop.displays,
              .recorder = nullptr,
              .neighbours = {},
              .panels = desktop::makePanelWindows(),
              .pointerMonitor = desktop::makePointerMonitor(),
              .compositor = desktop.compositor.get(),
              .screenGeometry = {},
              .timers = {},
          })
    {
    }

    bool showExpanded()
    {
        controller.show(std::nullopt, State::expanded);
        const bool exposed = waitFor([this] {
            QWidget *panel = controller.panel();
            return panel && panel->windowHandle() && panel->windowHandle()->isExposed();
        });
        // The fade-in.
        runEventLoop(NotchWindowController::fadeInMs + 200);
        return exposed && controller.trayView();
    }

    NotchWindowController controller;
};

void printFrames(const char *what, const QList<double> &frames)
{
    const Spread s = spread(frames);
    std::printf("%s: median %.2f ms, max %.2f ms over %lld frames (target <= %.0f ms per frame, "
                "judged on the max) %s  (%s)\n",
                what, s.median, s.max, qlonglong(frames.size()), frameTargetMs,
                verdict(s.max <= frameTargetMs), loadNote().c_str());
}

// Relayout and repaint of the expanded tray, then selection changes, frame by frame.
void relayoutAndSelection(Tray &tray, CaptureQueue &queue, const char *desktop)
{
    CaptureTrayView *view = tray.controller.trayView();
    QList<double> relayout;
    for (int frame = 0; frame < relayoutFrames; ++frame) {
        QElapsedTimer timer;
        timer.start();
        tray.controller.updateLayout(std::nullopt, std::nullopt);
        view->repaint();
        QCoreApplication::processEvents();
        relayout << timer.nsecsElapsed() / 1e6;
    }
    printFrames(qPrintable(QStringLiteral("Relayout + repaint, expanded tray, %1 captures, %2")
                               .arg(stagedCount)
                               .arg(QLatin1String(desktop))),
                relayout);

    QList<double> selection;
    const QList<CaptureItem> items = queue.items();
    for (int frame = 0; frame < relayoutFrames; ++frame) {
        const QUuid next = items[(frame + 1) % items.size()].id();
        QElapsedTimer timer;
        timer.start();
        queue.setSelectedItemID(next);
        view->repaint();
        QCoreApplication::processEvents();
        selection << timer.nsecsElapsed() / 1e6;
    }
    printFrames(qPrintable(QStringLiteral("Selection change + repaint, %1").arg(desktop)),
                selection);
    std::fflush(stdout);
}

struct HoverRun {
    double fps = 0;
    double longestGapMs = 0;
    int paints = 0;
    double firstPaintMs = 0;
    bool animated = false;
};

// From compact, the pointer's hover path: the hover-in delay, then the morph to expanded. The
// clock starts when the state changes; the animation ends with the view's first paint after the
// morph finished.
std::optional<HoverRun> hoverOnce(Tray &tray)
{
    CaptureTrayView *view = tray.controller.trayView();
    tray.controller.setInteractionState(State::compact);
    runEventLoop(300);

    PaintClock clock(view);
    std::optional<double> changed;
    bool animated = false;
    const QMetaObject::Connection connection =
        QObject::connect(&tray.controller.state(), &TrayState::interactionStateChanged, view, [&] {
            changed = clock.now();
            animated = tray.controller.isStateChangeAnimated();
        });
    tray.controller.scheduleHoverIn();
    const bool done = waitFor([&] {
        return changed && !view->isMorphing() && !clock.paints.isEmpty() &&
               clock.paints.last() > *changed;
    });
    runEventLoop(50);
    QObject::disconnect(connection);
    if (!done || !changed)
        return std::nullopt;

    QList<double> frames;
    for (double at : std::as_const(clock.paints)) {
        if (at >= *changed)
            frames << at;
    }
    HoverRun run;
    run.animated = animated;
    run.paints = int(frames.size());
    run.firstPaintMs = frames.first() - *changed;
    if (!animated)
        return run;
    // The frames of the morph: those painted within its duration, the last one included.
    const double end = *changed + TrayState::morphSpring.durationMs();
    double previous = *changed;
    int inMorph = 0;
    for (double at : std::as_const(frames)) {
        if (previous > end)
            break;
        run.longestGapMs = std::max(run.longestGapMs, at - previous);
        previous = at;
        if (at <= end)
            ++inMorph;
    }
    run.paints = inMorph;
    run.fps = inMorph * 1000.0 / TrayState::morphSpring.durationMs();
    return run;
}

void hoverAnimation(Tray &tray, const char *desktop)
{
    QList<double> fps, gaps, firstPaints;
    bool animated = false;
    int paints = 0;
    for (int run = 0; run < hoverRuns; ++run) {
        const std::optional<HoverRun> result = hoverOnce(tray);
        if (!result) {
            std::printf("hover to expanded, %s: the tray did not expand\n", desktop);
            return;
        }
        animated = result->animated;
        paints = result->paints;
        fps << result->fps;
        gaps << result->longestGapMs;
        firstPaints << result->firstPaintMs;
    }
    if (!animated) {
        std::printf("Hover to expanded, %s: not animated (the panel takes its new shape at once); "
                    "%d paint(s), the first %.1f ms after the state change (median of %d)  (%s)\n",
                    desktop, paints, spread(firstPaints).median, hoverRuns, loadNote().c_str());
        std::fflush(stdout);
        return;
    }
    const Spread f = spread(fps);
    const Spread g = spread(gaps);
    std::printf("Hover to expanded animation (%d ms), %s: median %.1f frames a second (min %.1f, "
                "max %.1f over %d runs), longest gap between frames %.1f ms (median %.1f) "
                "(target %.0f fps, >= %.0f counts) %s  (%s)\n",
                TrayState::morphSpring.durationMs(), desktop, f.median, f.min, f.max, hoverRuns,
                g.max, g.median, animationTargetFps, animationMeetsFps,
                verdict(f.median >= animationMeetsFps), loadNote().c_str());
    std::fflush(stdout);
}

// A tray shown expanded, measured; nothing when it did not show.
std::unique_ptr<Tray> measureTray(const platform::ScreenshotPlatform &desktop, CaptureQueue &queue,
                                  SettingsStore &settings, const char *name)
{
    auto tray = std::make_unique<Tray>(desktop, queue, settings);
    if (!tray->showExpanded()) {
        std::printf("the tray did not show (%s)\n", name);
        return nullptr;
    }
    relayoutAndSelection(*tray, queue, name);
    hoverAnimation(*tray, name);
    return tray;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication application(argc, argv);
    if (!onXServer("TrayBench", "scripts/harness --tray", argv[0]))
        return 0;
    const BenchEnvironment environment;
    const platform::ScreenshotPlatform desktop = platform::makeX11ScreenshotPlatform();
    if (!desktop.displays->mainDisplay()) {
        std::printf("TrayBench: no display on %s\n", qPrintable(qEnvironmentVariable("DISPLAY")));
        return 0;
    }
    if (desktop.compositor->isCompositing()) {
        std::printf("TrayBench needs a desktop without a compositing manager to start from\n");
        return 0;
    }

    QTemporaryDir settingsDir;
    UserDefaults defaults(settingsDir.filePath(QStringLiteral("Corvanta.conf")));
    platform::XdgAutostartLoginItem loginItem;
    SettingsStore settings(defaults, loginItem);
    settings.setAutoHideDelay(0);
    CaptureQueue queue(stagedCount);

    const double startMb = residentMegabytes();
    {
        const QImage base = desktopImage();
        for (int i = 0; i < stagedCount; ++i)
            queue.enqueue(makeScreenshot(base, i + 1));
    }
    // The PNGs are written in the background; the storages they release are deleted here.
    platform::backgroundThreads()->waitForDone();
    QCoreApplication::processEvents();

    if (!measureTray(desktop, queue, settings, "no compositor"))
        return 1;

    CompositingManager compositing;
    if (!compositing.start(*desktop.compositor)) {
        std::printf("xcompmgr could not be started: the compositing figures are left out\n");
        return 0;
    }
    const std::unique_ptr<Tray> tray =
        measureTray(desktop, queue, settings, "compositing (xcompmgr)");
    if (!tray)
        return 1;

    tray->controller.setInteractionState(State::expanded);
    runEventLoop(500);
    platform::backgroundThreads()->waitForDone();
    QCoreApplication::processEvents();
    const double residentMb = residentMegabytes();
    std::printf("Resident memory, %d staged 3840x2160 captures written, tray shown expanded: "
                "%.1f MB (target < %.0f MB) %s  (%s)\n",
                stagedCount, residentMb, memoryTargetMb, verdict(residentMb < memoryTargetMb),
                loadNote().c_str());
    std::printf("  %.1f MB before the captures were made\n", startMb);
    tray->controller.hide(true);
    return 0;
}
