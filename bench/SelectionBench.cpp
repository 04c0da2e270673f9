// The area selection on a 3840 × 2160 display (offscreen): how long until the overlay is on the
// screen, and how much of it a pointer move repaints.
#include "../tests/support/FakeCompositor.h"
#include "../tests/support/FakeDisplays.h"
#include "../tests/support/FakeLoginItem.h"
#include "../tests/support/FakeOverlayWindows.h"
#include "BenchFigures.h"
#include "capture/AreaSelectionService.h"
#include "capture/SelectionOverlayView.h"
#include "model/CaptureErrors.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPointer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace {

const QSize displaySize(3840, 2160);

QImage frozenDesktop()
{
    QImage image(displaySize, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, displaySize.width(), displaySize.height());
    gradient.setColorAt(0, QColor(30, 60, 120));
    gradient.setColorAt(1, QColor(220, 180, 90));
    painter.fillRect(image.rect(), gradient);
    return image;
}

// Answers the freeze at once with a prepared image: what is measured is the selection's own part.
class FrozenCapturing final : public ScreenCapturing {
public:
    QCoro::Task<QImage> captureDisplay(platform::DisplayId, bool,
                                       QList<platform::WindowId>) override
    {
        co_return image;
    }
    QCoro::Task<QHash<platform::DisplayId, QImage>>
    captureAllDisplays(bool, QList<platform::WindowId>) override
    {
        co_return QHash<platform::DisplayId, QImage>{{1, image}};
    }
    QCoro::Task<QImage> captureArea(QRectF, QList<platform::WindowId>) override { co_return image; }
    QCoro::Task<QImage> captureWindow(platform::WindowInfo, bool, bool) override
    {
        co_return image;
    }

    QImage image = frozenDesktop();
};

struct Fixture {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + QStringLiteral("/Corvanta.conf")};
    FakeLoginItem loginItem;
    SettingsStore settings{defaults, loginItem};
    FakeDisplays displays{{FakeDisplays::make(1, QRect(QPoint(0, 0), displaySize), 1.0, true)}};
    FrozenCapturing capture;
    FakeCompositor compositor;
    AreaSelectionService service{capture, displays, compositor, settings,
                                 std::make_shared<FakeOverlayWindows>()};

    explicit Fixture(bool compositing) : compositor(compositing)
    {
        settings.setShowMagnifierInSelection(true);
    }
};

// Collects the regions a widget paints.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget *widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintRecorder() override
    {
        if (m_widget)
            m_widget->removeEventFilter(this);
    }

    QRegion painted;
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            painted |= static_cast<QPaintEvent *>(event)->region();
            ++paints;
        }
        return false;
    }

private:
    QPointer<QWidget> m_widget;
};

qint64 regionArea(const QRegion &region)
{
    qint64 area = 0;
    for (const QRect &rect : region)
        area += qint64(rect.width()) * rect.height();
    return area;
}

QCoro::Task<void> awaitArea(QCoro::Task<QRectF> selection, bool &done)
{
    try {
        co_await std::move(selection);
    } catch (const CaptureError &) {
    }
    done = true;
}

void send(QWidget *widget, QEvent::Type type, QPointF position, Qt::MouseButtons buttons)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, position, widget->mapToGlobal(position), button, buttons,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void waitForPaint(const PaintRecorder &recorder, int paintsBefore)
{
    while (recorder.paints == paintsBefore)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Escape, then let the panels go.
void cancel(QWidget *view, const bool &done)
{
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(view, &escape);
    while (!done)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// From selectArea() until the overlay has painted itself once: with a compositor it is a
// translucent dimming, without one the dimmed frozen image.
void BM_AreaOverlayShown(benchmark::State &state)
{
    Fixture fixture(state.range(0) != 0);
    for (auto _ : state) {
        bool done = false;
        QCoro::Task<void> running = awaitArea(fixture.service.selectArea(), done);
        QWidget *view = fixture.service.windows().value(0)->contentView();
        PaintRecorder recorder(view);
        waitForPaint(recorder, 0);
        state.PauseTiming();
        cancel(view, done);
        state.ResumeTiming();
    }
    state.SetLabel(state.range(0) ? "compositing" : "frozen image");
    recordLoad(state);
}
BENCHMARK(BM_AreaOverlayShown)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(20);

// One pointer move while hovering (the loupe follows) or dragging (the rectangle grows), and the
// repaint it causes; the counters compare the repainted area with the whole overlay.
void BM_AreaPointerMove(benchmark::State &state)
{
    const bool dragging = state.range(0) != 0;
    Fixture fixture(false);
    bool done = false;
    QCoro::Task<void> running = awaitArea(fixture.service.selectArea(), done);
    QWidget *view = fixture.service.windows().value(0)->contentView();
    PaintRecorder recorder(view);
    waitForPaint(recorder, 0);
    QPointF pointer(1200, 900);
    const Qt::MouseButtons buttons = dragging ? Qt::LeftButton : Qt::NoButton;
    if (dragging)
        send(view, QEvent::MouseButtonPress, QPointF(400, 300), Qt::LeftButton);
    send(view, QEvent::MouseMove, pointer, buttons);
    waitForPaint(recorder, recorder.paints);

    qint64 repainted = 0;
    qint64 moves = 0;
    for (auto _ : state) {
        pointer += QPointF(3, 2);
        if (pointer.x() > 3000)
            pointer = QPointF(1200, 900);
        recorder.painted = QRegion();
        const int paints = recorder.paints;
        send(view, QEvent::MouseMove, pointer, buttons);
        waitForPaint(recorder, paints);
        repainted += regionArea(recorder.painted);
        ++moves;
    }
    const double overlayArea = double(view->width()) * view->height();
    state.counters["repaintedPx"] = double(repainted) / double(std::max<qint64>(moves, 1));
    state.counters["overlayPx"] = overlayArea;
    state.counters["repaintedShare"] =
        double(repainted) / double(std::max<qint64>(moves, 1)) / overlayArea;
    state.SetLabel(dragging ? "dragging" : "hovering");
    recordLoad(state);
    if (dragging)
        send(view, QEvent::MouseButtonRelease, pointer, Qt::NoButton);
    else
        cancel(view, done);
    while (!done)
        QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
BENCHMARK(BM_AreaPointerMove)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->Iterations(200);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
