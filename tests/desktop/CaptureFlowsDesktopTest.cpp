// The three screenshot flows end to end on the harness's X server: the real platform, screenshot
// service, selections, permission and feedback, with the pointer and keyboard driven through
// XTest (xdotool).

#include "app/DesktopPlatform.h"
#include "capture/AreaSelectionService.h"
#include "capture/CaptureCoordinator.h"
#include "capture/FeedbackService.h"
#include "capture/PermissionManager.h"
#include "capture/ScreenCaptureService.h"
#include "capture/WindowSelectionService.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/TemporaryFiles.h"
#include "model/UserDefaults.h"
#include "platform/Background.h"
#include "platform/linux/AbsentHaptics.h"
#include "platform/linux/CanberraSoundPlayer.h"
#include "platform/linux/DesktopUrlOpener.h"
#include "platform/x11/X11OverlayWindows.h"
#include "platform/x11/X11Platform.h"
#include "platform/x11/X11ScreenCapturePermission.h"
#include "platform/x11/X11WindowSystem.h"
#include "support/EventLog.h"
#include "support/FakeAlertPresenter.h"
#include "support/FakeCaptureSaving.h"
#include "support/FakeClipboardWriting.h"
#include "support/FakeLoginItem.h"
#include "support/FakeStagingTray.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

constexpr int waitLimitMs = 10000;
const QSize patternSize(400, 300);

// Every pixel differs from its neighbours, so an offset or a scaled copy cannot pass for it.
QImage patternImage()
{
    QImage image(patternSize, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 13) % 256));
    }
    return image;
}

// A window of this process whose client area shows the pattern, or a solid colour.
class PatternWindow : public QWidget {
public:
    PatternWindow() { setFixedSize(patternSize); }
    void setColour(std::optional<QColor> colour)
    {
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (m_colour)
            painter.fillRect(rect(), *m_colour);
        else
            painter.drawImage(0, 0, patternImage());
    }

private:
    std::optional<QColor> m_colour;
};

// Runs a tool to its end while the event loop keeps running, so that our overlays see the
// input as it arrives.
bool runTool(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(waitLimitMs))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (!process.waitForFinished(10)) {
        QCoreApplication::processEvents();
        if (timer.elapsed() > waitLimitMs) {
            process.kill();
            process.waitForFinished();
            return false;
        }
    }
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool xdotool(const QStringList &arguments)
{
    return runTool(QStringLiteral("xdotool"), arguments);
}

QStringList dragArguments(QPoint from, QPoint to)
{
    const QPoint middle = (from + to) / 2;
    return {QStringLiteral("mousemove"), QString::number(from.x()),   QString::number(from.y()),
            QStringLiteral("sleep"),     QStringLiteral("0.1"),       QStringLiteral("mousedown"),
            QStringLiteral("1"),         QStringLiteral("sleep"),     QStringLiteral("0.05"),
            QStringLiteral("mousemove"), QString::number(middle.x()), QString::number(middle.y()),
            QStringLiteral("sleep"),     QStringLiteral("0.05"),      QStringLiteral("mousemove"),
            QString::number(to.x()),     QString::number(to.y()),     QStringLiteral("sleep"),
            QStringLiteral("0.1"),       QStringLiteral("mouseup"),   QStringLiteral("1")};
}

class CaptureFlowsDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        m_platform = platform::makeX11ScreenshotPlatform();
        ASSERT_FALSE(m_platform.displays->displays().isEmpty());
        m_defaults = std::make_unique<UserDefaults>(m_tmp.path() + QStringLiteral("/c.conf"));
        m_settings = std::make_unique<SettingsStore>(*m_defaults, m_loginItem);
        // Off: a sound player destroyed while the shutter still plays crashes libcanberra's
        // playback thread, and every test here makes and destroys one.
        m_settings->setSoundEffectsEnabled(false);
        m_settings->setScreenshotTimerDelay(0);
        m_settings->setIncludeCursorInScreenshot(false);
        m_settings->setShowMagnifierInSelection(true);

        m_screenCaptureService = std::make_unique<ScreenCaptureService>(
            m_platform.screenCapture, m_platform.displays,
            std::shared_ptr<platform::WindowSystem>(platform::makeX11WindowSystem()));
        auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        ASSERT_NE(x11, nullptr);
        m_areaOverlays = std::make_shared<platform::X11OverlayWindows>(x11->connection());
        m_windowOverlays = std::make_shared<platform::X11OverlayWindows>(x11->connection());
        m_area = std::make_unique<AreaSelectionService>(
            *m_screenCaptureService, *m_platform.displays, *m_platform.compositor, *m_settings,
            m_areaOverlays);
        m_window = std::make_unique<WindowSelectionService>(
            *m_platform.windowList, *m_platform.displays, m_windowOverlays,
            m_screenCaptureService.get(), m_platform.compositor.get());
        m_permissions = std::make_unique<PermissionManager>(
            std::make_shared<platform::X11ScreenCapturePermission>(m_platform.screenCapture),
            std::make_shared<platform::DesktopUrlOpener>());
        m_feedback =
            std::make_unique<FeedbackService>(std::make_shared<platform::CanberraSoundPlayer>(),
                                              std::make_shared<platform::AbsentHaptics>());
        m_coordinator = std::make_unique<CaptureCoordinator>(CaptureCoordinator::Services{
            .queue = m_queue,
            .permissionManager = *m_permissions,
            .screenCaptureService = *m_screenCaptureService,
            .areaSelectionService = *m_area,
            .windowSelectionService = *m_window,
            .saveService = m_saver,
            .clipboardService = m_clipboard,
            .settingsStore = *m_settings,
            .feedbackService = *m_feedback,
            .alertPresenter = m_alerts,
            .displays = *m_platform.displays,
            .trayFactory = m_trays.factory(),
        });
        parkPointer();
    }

    void TearDown() override
    {
        if (m_viewer.state() != QProcess::NotRunning) {
            m_viewer.kill();
            m_viewer.waitForFinished();
        }
        m_coordinator.reset();
        // The PNG writes end before the temporary folder goes.
        platform::backgroundThreads()->waitForDone(waitLimitMs);
        m_queue.clearAll();
    }

    static void parkPointer() { QCursor::setPos(1900, 1060); }

    // What the screen shows at the rectangle (capture coordinates) right now.
    QImage screen(const QRect &rect) const
    {
        return m_platform.screenCapture->captureRect(rect, false).image;
    }

    std::unique_ptr<PatternWindow> showPattern(QPoint position)
    {
        auto window = std::make_unique<PatternWindow>();
        window->setWindowTitle(QStringLiteral("Pattern"));
        window->move(position);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        const QImage expected = patternImage();
        EXPECT_TRUE(
            waitUntil([&] { return screen(clientRect(*window)) == expected; }, waitLimitMs));
        return window;
    }

    static QRect clientRect(const QWidget &window)
    {
        return QRect(window.mapToGlobal(QPoint(0, 0)), window.size());
    }

    // Runs a flow while `act` drives the desktop, until the flow ends. A flow still waiting on
    // its selection afterwards is cancelled with Escape, so that no overlay outlives the test.
    void runFlow(QCoro::Task<void> (CaptureCoordinator::*flow)(), const std::function<void()> &act)
    {
        m_log.clear();
        QCoro::Task<void> task = (m_coordinator.get()->*flow)();
        act();
        if (!waitUntil([&] { return task.isReady(); }, waitLimitMs)) {
            ADD_FAILURE() << "the flow did not end";
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
            waitUntil([&] { return task.isReady(); }, waitLimitMs);
        }
    }

    // Waits until the selection's overlays show and take input.
    template <typename Service, typename Panels>
    static void awaitOverlays(const Service &service, Panels panels,
                              const platform::X11OverlayWindows &overlays)
    {
        ASSERT_TRUE(waitUntil(
            [&] {
                const auto shown = (service.*panels)();
                return !shown.isEmpty() && shown.first()->isVisible() && overlays.holdsKeyboard();
            },
            waitLimitMs));
    }
    void awaitAreaOverlays()
    {
        awaitOverlays(*m_area, &AreaSelectionService::windows, *m_areaOverlays);
    }
    void awaitWindowOverlays()
    {
        awaitOverlays(*m_window, &WindowSelectionService::overlayWindows, *m_windowOverlays);
    }

    // The staged capture as its PNG on disk holds it.
    QImage stagedPng(QImage::Format format = QImage::Format_RGB32) const
    {
        if (m_queue.items().isEmpty())
            return {};
        platform::backgroundThreads()->waitForDone(waitLimitMs);
        const std::optional<QString> folder = TemporaryFiles::capturesFolder();
        if (!folder)
            return {};
        QImageReader reader(*folder + QLatin1Char('/') + m_queue.items().first().fileName());
        return reader.read().convertToFormat(format);
    }

    // Shows the pattern in another program (ImageMagick's viewer): the window selection offers
    // only windows of other programs. Answers its window.
    std::optional<platform::WindowInfo> showPatternElsewhere(QPoint position)
    {
        const QString file = m_tmp.path() + QStringLiteral("/pattern.png");
        if (!patternImage().save(file))
            return std::nullopt;
        m_viewer.start(QStringLiteral("display"),
                       {QStringLiteral("-geometry"),
                        QStringLiteral("+%1+%2").arg(position.x()).arg(position.y()), file});
        if (!m_viewer.waitForStarted(waitLimitMs))
            return std::nullopt;
        std::optional<platform::WindowInfo> found;
        waitUntil(
            [&] {
                for (const platform::WindowInfo &info : m_platform.windowList->windows()) {
                    // The viewer announces no process identifier; its title names the file.
                    if (info.title == QStringLiteral("ImageMagick: pattern.png"))
                        found = info;
                }
                return found.has_value();
            },
            waitLimitMs);
        return found;
    }

    // _NET_FRAME_EXTENTS of a window: left, right, top, bottom.
    static std::optional<QList<int>> frameExtents(platform::WindowId id)
    {
        QByteArray output;
        if (!runTool(
                QStringLiteral("xprop"),
                {QStringLiteral("-id"), QString::number(id), QStringLiteral("_NET_FRAME_EXTENTS")},
                &output)) {
            return std::nullopt;
        }
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("= (\\d+), (\\d+), (\\d+), (\\d+)"))
                .match(QString::fromUtf8(output));
        if (!match.hasMatch())
            return std::nullopt;
        return QList<int>{match.captured(1).toInt(), match.captured(2).toInt(),
                          match.captured(3).toInt(), match.captured(4).toInt()};
    }

    TempDirScope m_tmp;
    LogCapture m_lines;
    EventLog m_log;
    platform::ScreenshotPlatform m_platform;
    FakeLoginItem m_loginItem;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<SettingsStore> m_settings;
    CaptureQueue m_queue{8};
    std::unique_ptr<ScreenCaptureService> m_screenCaptureService;
    std::shared_ptr<platform::X11OverlayWindows> m_areaOverlays;
    std::shared_ptr<platform::X11OverlayWindows> m_windowOverlays;
    std::unique_ptr<AreaSelectionService> m_area;
    std::unique_ptr<WindowSelectionService> m_window;
    std::unique_ptr<PermissionManager> m_permissions;
    std::unique_ptr<FeedbackService> m_feedback;
    FakeAlertPresenter m_alerts;
    FakeClipboardWriting m_clipboard{m_log};
    FakeCaptureSaving m_saver{m_log};
    FakeStagingTrayFactory m_trays{m_log};
    std::unique_ptr<CaptureCoordinator> m_coordinator;
    QProcess m_viewer;
};

} // namespace

TEST_F(CaptureFlowsDesktop, FullDisplayCaptureStagesTheScreenWithoutOurWindows)
{
    const auto pattern = showPattern(QPoint(300, 200));
    QWidget mainWindow;
    mainWindow.setWindowTitle(QStringLiteral("Corvanta"));
    mainWindow.setStyleSheet(QStringLiteral("background: #ff00ff"));
    mainWindow.setGeometry(1000, 500, 300, 200);
    mainWindow.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&mainWindow));
    m_coordinator->setMainWindow(&mainWindow);
    const QRect mainRect = clientRect(mainWindow);
    ASSERT_TRUE(waitUntil([&] { return screen(mainRect).pixel(150, 100) == qRgb(255, 0, 255); },
                          waitLimitMs));

    runFlow(&CaptureCoordinator::captureFullDisplay, [] {});

    ASSERT_EQ(m_queue.items().size(), 1);
    const QImage png = stagedPng();
    ASSERT_EQ(png.size(), QSize(1920, 1080));
    EXPECT_EQ(png.copy(clientRect(*pattern)), patternImage());
    const QImage underMainWindow = png.copy(mainRect);
    bool magenta = false;
    for (int y = 0; y < underMainWindow.height() && !magenta; y += 10) {
        for (int x = 0; x < underMainWindow.width() && !magenta; x += 10)
            magenta = underMainWindow.pixel(x, y) == qRgb(255, 0, 255);
    }
    EXPECT_FALSE(magenta) << "the main window was hidden before the screen was read";
    EXPECT_TRUE(mainWindow.isVisible());
    EXPECT_TRUE(m_log.contains(QStringLiteral("tray.show(confirmation)")));
}

TEST_F(CaptureFlowsDesktop, DraggedAreaIsStagedWithItsPixels)
{
    const auto pattern = showPattern(QPoint(300, 200));
    const QPoint origin = clientRect(*pattern).topLeft();
    const QPoint from = origin + QPoint(50, 40);
    const QPoint to = origin + QPoint(250, 190);

    runFlow(&CaptureCoordinator::captureArea, [&] {
        awaitAreaOverlays();
        EXPECT_TRUE(xdotool(dragArguments(from, to)));
    });

    EXPECT_TRUE(m_lines.messages(QStringLiteral("capture"))
                    .contains(QString::asprintf("Area selected: %f,%f %fx%f", double(from.x()),
                                                double(from.y()), 200.0, 150.0)))
        << qPrintable(m_lines.messages(QStringLiteral("capture")).join('\n'));
    ASSERT_EQ(m_queue.items().size(), 1);
    EXPECT_EQ(m_queue.items().first().mode(), CaptureMode::area);
    // Neither the dimming nor the frame of the overlays is in the picture.
    EXPECT_EQ(stagedPng(), patternImage().copy(50, 40, 200, 150));
    EXPECT_TRUE(m_area->windows().isEmpty());
}

TEST_F(CaptureFlowsDesktop, EscapeAndATinyDragCancelTheArea)
{
    const auto pattern = showPattern(QPoint(300, 200));
    const QPoint origin = clientRect(*pattern).topLeft();

    runFlow(&CaptureCoordinator::captureArea, [&] {
        awaitAreaOverlays();
        EXPECT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    });
    QStringList lines = m_lines.messages(QStringLiteral("capture"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Area selection cancelled by user")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Area capture cancelled by user")));

    m_lines.clear();
    runFlow(&CaptureCoordinator::captureArea, [&] {
        awaitAreaOverlays();
        EXPECT_TRUE(xdotool(dragArguments(origin + QPoint(60, 60), origin + QPoint(62, 62))));
    });
    lines = m_lines.messages(QStringLiteral("capture"));
    EXPECT_TRUE(lines.contains(QStringLiteral("Area selection cancelled by user")));
    EXPECT_TRUE(lines.contains(QStringLiteral("Area capture cancelled by user")));

    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_TRUE(m_area->windows().isEmpty());
    // Nothing of the selection is left on screen.
    EXPECT_TRUE(
        waitUntil([&] { return screen(clientRect(*pattern)) == patternImage(); }, waitLimitMs));
}

TEST_F(CaptureFlowsDesktop, PickedWindowIsStagedWithItsDecorations)
{
    const std::optional<platform::WindowInfo> viewer = showPatternElsewhere(QPoint(320, 220));
    ASSERT_TRUE(viewer.has_value()) << "ImageMagick's display did not show a window";
    const std::optional<QList<int>> extents = frameExtents(viewer->id);
    ASSERT_TRUE(extents.has_value());
    const int left = (*extents)[0], right = (*extents)[1], top = (*extents)[2],
              bottom = (*extents)[3];
    const QSize decorated(400 + left + right, 300 + top + bottom);
    const QPoint centre = viewer->captureFrame.center().toPoint();
    ASSERT_TRUE(waitUntil(
        [&] {
            return screen(QRect(viewer->captureFrame.topLeft().toPoint() + QPoint(left, top),
                                patternSize)) == patternImage();
        },
        waitLimitMs));
    const auto pick = [&] {
        awaitWindowOverlays();
        EXPECT_TRUE(xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                             QString::number(centre.y()), QStringLiteral("sleep"),
                             QStringLiteral("0.2"), QStringLiteral("click"), QStringLiteral("1")}));
    };

    m_settings->setIncludeWindowShadow(true);
    runFlow(&CaptureCoordinator::captureWindow, pick);
    ASSERT_EQ(m_queue.items().size(), 1);
    EXPECT_EQ(m_queue.items().first().mode(), CaptureMode::window);
    // The shadow's margin adds 64 points on each side; the harness's display has a scale of 1.
    QImage png = stagedPng(QImage::Format_ARGB32);
    EXPECT_EQ(png.size(), decorated + QSize(128, 128));
    EXPECT_EQ(png.copy(64 + left, 64 + top, 400, 300).convertToFormat(QImage::Format_RGB32),
              patternImage());
    EXPECT_EQ(qAlpha(png.pixel(0, 0)), 0);
    EXPECT_GT(qAlpha(png.pixel(png.width() / 2, 64 + decorated.height() + 4)), 0);
    EXPECT_TRUE(m_lines.messages(QStringLiteral("capture"))
                    .contains(QStringLiteral("Window selected: ID %1").arg(viewer->id)));

    // Without the shadow setting the client area is still exactly in the picture, whether the
    // decorations come with it or not.
    m_settings->setIncludeWindowShadow(false);
    parkPointer();
    runFlow(&CaptureCoordinator::captureWindow, pick);
    ASSERT_EQ(m_queue.items().size(), 2);
    png = stagedPng();
    ASSERT_TRUE(png.size() == decorated || png.size() == patternSize) << png.width();
    const QPoint client = png.size() == decorated ? QPoint(left, top) : QPoint(0, 0);
    EXPECT_EQ(png.copy(QRect(client, patternSize)), patternImage());
}

TEST_F(CaptureFlowsDesktop, TimerDelayTakesThePictureAtTheEndOfTheWait)
{
    const auto pattern = showPattern(QPoint(300, 200));
    m_settings->setScreenshotTimerDelay(1.0);
    // Halfway through the wait the window turns orange: the picture must show that.
    QTimer::singleShot(500ms, pattern.get(), [&] { pattern->setColour(QColor(255, 128, 0)); });

    QElapsedTimer timer;
    timer.start();
    runFlow(&CaptureCoordinator::captureFullDisplay, [] {});
    EXPECT_GE(timer.elapsed(), 1000 + 60);

    ASSERT_EQ(m_queue.items().size(), 1);
    const QImage png = stagedPng();
    const QRect client = clientRect(*pattern);
    EXPECT_EQ(png.pixel(client.center()), qRgb(255, 128, 0));
}
