// A real recording of the harness's screen seen through the staging tray: the expanded tray's
// recording row counts the seconds as they pass, and its Stop button stages the finished movie.

#include "../platform/MovieProbe.h"
#include "DesktopTrayFixture.h"
#include "app/DesktopPlatform.h"
#include "capture/ScreenRecordingService.h"
#include "model/StartTask.h"
#include "platform/PointerMonitor.h"
#include "platform/RecordingPlatform.h"
#include "platform/x11/X11Platform.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/FakeModeSelecting.h"
#include "support/WaitUntil.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"

#include <QAbstractButton>
#include <QCursor>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// The paint events a widget receives, with when (on `clock`) and what they cover.
class PaintLog : public QObject {
public:
    explicit PaintLog(const QElapsedTimer &clock) : m_clock(clock) {}

    struct Paint {
        qint64 atMs;
        QRegion region;
    };
    QList<Paint> paints;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            paints.append({m_clock.elapsed(), static_cast<QPaintEvent *>(event)->region()});
        return false;
    }

private:
    const QElapsedTimer &m_clock;
};

// What the widget itself draws now, its children (the pulsing dot, the buttons) left out.
QImage ownDrawing(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

// The bounding box of the pixels that differ; empty when the images are alike.
QRect changedArea(const QImage &before, const QImage &after)
{
    QRect area;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            if (before.pixel(x, y) != after.pixel(x, y))
                area |= QRect(x, y, 1, 1);
        }
    }
    return area;
}

class RecordingEndToEnd : public CaptureCoordinatorFixture {
protected:
    void SetUp() override
    {
        if (!qEnvironmentVariableIsSet("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        if (!MovieProbe::available())
            GTEST_SKIP() << "ffprobe is not installed";
        m_desktop = platform::makeX11ScreenshotPlatform();
        ASSERT_FALSE(m_desktop.displays->displays().isEmpty());
        QCursor::setPos(1900, 1060);
        m_settings.setAutoHideDelay(0);
        m_service = std::make_unique<ScreenRecordingService>(desktop::makeRecordingPlatform(),
                                                             *m_desktop.displays);
        m_recorderService = m_service.get();
        m_chooser.mode = RecordingSelectionMode::area;
        m_modeSelectorService = &m_chooser;
    }
    // The tray and the coordinator go before the recorder they were given.
    void TearDown() override
    {
        m_trayController.reset();
        m_coordinator.reset();
        if (m_service)
            m_service->cancelRecording();
    }

    // The tray of the program, expanded and on the screen; its Stop and Cancel reach the
    // coordinator as the program wires them.
    NotchWindowController &expandedTray()
    {
        TrayNeighbours neighbours;
        neighbours.requestRecordingStop = [this] { ++m_trayClicksWhileRecording; };
        neighbours.stopRecording = [this] { startTask(coordinator().stopRecording()); };
        neighbours.cancelRecording = [this] { startTask(coordinator().cancelRecording()); };
        m_trayController = makeDesktopTray(m_queue, m_settings, m_desktop, {},
                                           std::move(neighbours), m_service.get());
        m_trayController->show(std::nullopt, TrayInteractionState::expanded);
        QWindow *window = m_trayController->panel()->windowHandle();
        EXPECT_TRUE(window && QTest::qWaitForWindowExposed(window));
        return *m_trayController;
    }

    platform::ScreenshotPlatform m_desktop;
    std::unique_ptr<ScreenRecordingService> m_service;
    FakeModeSelecting m_chooser{m_log};
    std::unique_ptr<NotchWindowController> m_trayController;
    int m_trayClicksWhileRecording = 0;
};

TEST_F(RecordingEndToEnd, TheRecordingRowCountsTheSecondsAsTheyPass)
{
    QElapsedTimer clock;
    clock.start();
    NotchWindowController &controller = expandedTray();
    CaptureTrayView &view = *controller.trayView();
    PaintLog paintLog(clock);
    view.installEventFilter(&paintLog);

    struct Tick {
        double seconds;
        qint64 atMs;
        // The view's own drawing once it took the new duration in.
        QImage drawn;
    };
    QList<Tick> ticks;
    // After the view's own connection: the view has taken the value in when this runs.
    const QMetaObject::Connection following = QObject::connect(
        m_service.get(), &ScreenRecording::durationChanged, &view, [&](double seconds) {
            ticks.append({seconds, clock.elapsed(), ownDrawing(view)});
        });
    QCoro::waitFor(m_service->startRecording(0, QRectF(100, 50, 320, 240), std::nullopt,
                                             VideoExportFormat::mp4, 30, false));
    ASSERT_TRUE(m_service->isRecording());
    const qint64 startedMs = clock.elapsed();
    const QImage atStart = ownDrawing(view);
    // Three ticks, and the screen drawn after the last.
    ASSERT_TRUE(waitUntil(
        [&] {
            return ticks.size() >= 3 && !paintLog.paints.isEmpty() &&
                   paintLog.paints.last().atMs >= ticks[2].atMs;
        },
        4000));
    QObject::disconnect(following);
    m_service->cancelRecording();
    EXPECT_EQ(controller.interactionState(), TrayInteractionState::expanded);

    ASSERT_EQ(ticks.size(), 3);
    QImage previous = atStart;
    qint64 previousMs = startedMs;
    for (qsizetype i = 0; i < ticks.size(); ++i) {
        SCOPED_TRACE(i + 1);
        const Tick &tick = ticks[i];
        EXPECT_NEAR(tick.seconds, double(i + 1), 0.2);
        EXPECT_NEAR(tick.atMs - previousMs, 1000, 200);
        // The row shows another time: the view's drawing changed, and the screen got the
        // change before the next tick.
        const QRect changed = changedArea(previous, tick.drawn);
        const qint64 nextMs = i + 1 < ticks.size() ? ticks[i + 1].atMs : clock.elapsed();
        const bool repainted =
            std::any_of(paintLog.paints.begin(), paintLog.paints.end(), [&](const auto &paint) {
                return paint.atMs >= tick.atMs && paint.atMs < nextMs &&
                       paint.region.contains(changed);
            });
        if (changed.isEmpty())
            ADD_FAILURE() << "the row still shows the previous time after the tick at "
                          << tick.seconds << " s";
        else
            EXPECT_TRUE(repainted);
        previous = tick.drawn;
        previousMs = tick.atMs;
    }
}

TEST_F(RecordingEndToEnd, TheStopButtonStagesThePlayableMovieOnce)
{
    QCoro::waitFor(coordinator().startRecording());
    ASSERT_TRUE(m_service->isRecording());
    NotchWindowController &controller = expandedTray();
    QTest::qWait(1500);

    auto *stop = controller.trayView()->findChild<QAbstractButton *>("stopRecording");
    ASSERT_NE(stop, nullptr);
    ASSERT_TRUE(stop->isVisible());
    QWindow *window = controller.panel()->windowHandle();
    const QPoint centre = stop->mapTo(controller.panel(), stop->rect().center());
    // The tray tells its buttons from the rest of it by where the pointer is.
    QCursor::setPos(window->mapToGlobal(centre));
    ASSERT_TRUE(waitUntil([&] { return QCursor::pos() == window->mapToGlobal(centre); }));
    QTest::mouseClick(window, Qt::LeftButton, {}, centre);

    ASSERT_TRUE(waitUntil([&] { return !m_queue.items().isEmpty(); }, 10000));
    // Nothing else arrives: the click was no stop request of the whole tray as well.
    QTest::qWait(300);
    EXPECT_FALSE(m_service->isRecording());
    EXPECT_EQ(m_trayClicksWhileRecording, 0);
    ASSERT_EQ(m_queue.items().size(), 1);
    const CaptureItem item = m_queue.items().first();
    EXPECT_EQ(item.mode(), CaptureMode::recording);
    ASSERT_TRUE(item.videoURL());
    const QString path = item.videoURL()->toLocalFile();
    ASSERT_TRUE(QFile::exists(path));

    const MovieProbe probe = MovieProbe::of(path, true);
    ASSERT_TRUE(probe.readable);
    EXPECT_EQ(probe.video.value("codec_name").toString(), "h264");
    EXPECT_EQ(QSize(probe.video.value("width").toInt(), probe.video.value("height").toInt()),
              QSize(320, 240));
    EXPECT_NEAR(probe.duration(), 1.5, 0.5);
    EXPECT_GE(probe.frames(), 20);
    EXPECT_EQ(item.image().size(), QSize(320, 240));
}

} // namespace
