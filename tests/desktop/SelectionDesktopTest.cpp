#include "app/DesktopPlatform.h"
#include "capture/AreaSelectionService.h"
#include "capture/SelectionTestSupport.h"
#include "capture/WindowSelectionService.h"
#include "platform/linux/MessageBoxAlertPresenter.h"
#include "platform/qt/QtSavePanel.h"
#include "platform/x11/X11Platform.h"
#include "support/ChildProcess.h"
#include "support/X11DesktopTest.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

using namespace platform;

namespace {

constexpr int waitLimitMs = 5000;
const QColor windowColour(40, 160, 220);

// The screenshot service as far as the selections use it: every display at once.
class PlatformCapturing final : public ScreenCapturing {
public:
    explicit PlatformCapturing(ScreenCapture &capture) : m_capture(capture) {}

    QCoro::Task<QHash<DisplayId, QImage>> captureAllDisplays(bool showsCursor,
                                                             QList<WindowId>) override
    {
        co_return m_capture.captureAllDisplays(showsCursor);
    }
    QCoro::Task<QImage> captureDisplay(DisplayId, bool, QList<WindowId>) override
    {
        return unused();
    }
    QCoro::Task<QImage> captureArea(QRectF, QList<WindowId>) override { return unused(); }
    QCoro::Task<QImage> captureWindow(WindowInfo, bool, bool) override { return unused(); }

private:
    static QCoro::Task<QImage> unused() { throw CaptureError::captureFailed("not used"); }
    ScreenCapture &m_capture;
};

bool near(QRgb a, QRgb b, int tolerance = 6)
{
    return std::abs(qRed(a) - qRed(b)) <= tolerance &&
           std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

QRgb dimmed(QRgb colour)
{
    return qRgb(qRound(qRed(colour) * 0.68), qRound(qGreen(colour) * 0.68),
                qRound(qBlue(colour) * 0.68));
}

// Runs xdotool to its end while the event loop keeps turning, so that the overlays receive the
// events it sends.
bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    if (!process.waitForStarted(waitLimitMs))
        return false;
    return QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, waitLimitMs) &&
           process.exitCode() == 0;
}

class SelectionDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        m_capturing = std::make_unique<PlatformCapturing>(*m_platform.screenCapture);
    }

    QRgb pixelAt(QPoint point) const
    {
        const QImage image =
            m_platform.screenCapture->captureRect(QRectF(point, QSizeF(1, 1)), false).image;
        return image.isNull() ? 0 : image.pixel(0, 0);
    }

    bool pixelBecomes(QPoint point, QRgb expected) const
    {
        return QTest::qWaitFor([&] { return near(pixelAt(point), expected); }, waitLimitMs);
    }

    // A plain window of one colour at a known place, painted.
    std::unique_ptr<QWidget> showColourWindow()
    {
        auto window = std::make_unique<QWidget>();
        window->setAutoFillBackground(true);
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, windowColour);
        window->setPalette(palette);
        window->setFixedSize(400, 300);
        window->move(300, 200);
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(pixelBecomes(window->mapToGlobal(QPoint(200, 150)), windowColour.rgb()));
        return window;
    }

    bool startCompositor(ChildProcess &compositor)
    {
        if (QStandardPaths::findExecutable(QStringLiteral("xcompmgr")).isEmpty())
            return false;
        EXPECT_TRUE(compositor.start(QStringLiteral("xcompmgr"), {}, waitLimitMs));
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return m_platform.compositor->isCompositing(); }, waitLimitMs));
        return true;
    }

    // Drags out a rectangle over the real overlays and checks what the screen showed on the way.
    void dragOutAnArea()
    {
        const std::unique_ptr<QWidget> window = showColourWindow();
        const QPoint inWindow = window->mapToGlobal(QPoint(200, 150));
        const QPoint bare(1700, 60); // the root window, which the server repaints itself
        const QRgb bareColour = pixelAt(bare);
        const bool compositing = m_platform.compositor->isCompositing();

        ScratchSettings settings;
        settings.store().setShowMagnifierInSelection(true);
        AreaSelectionService service(*m_capturing, *m_platform.displays, *m_platform.compositor,
                                     settings.store(), desktop::makeOverlayWindows());
        SelectionRuns<QRectF> runs;
        SelectionOutcome<QRectF> outcome;
        QRgb bareAtResume = 0;
        const QList<SelectionOverlayWindow *> panels = runs.start(
            service.selectArea(), outcome, [&] { return service.windows(); },
            [&] { bareAtResume = pixelAt(bare); });
        ASSERT_EQ(panels.size(), 1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panels[0]));
        EXPECT_EQ(panels[0]->geometry(), QRect(0, 0, 1920, 1080));
        EXPECT_EQ(panels[0]->testAttribute(Qt::WA_TranslucentBackground), compositing);
        // Dimmed the same way with or without a compositor.
        EXPECT_TRUE(pixelBecomes(inWindow, dimmed(windowColour.rgb())));

        ASSERT_TRUE(xdotool({"mousemove", "300", "200", "mousedown", "1", "mousemove", "500", "350",
                             "mousemove", "700", "500", "mouseup", "1"}));
        ASSERT_TRUE(waitUntilDone(outcome));
        ASSERT_TRUE(outcome.value) << outcome.error->errorDescription().toStdString();
        EXPECT_EQ(*outcome.value, QRectF(300, 200, 400, 300));
        EXPECT_FALSE(outcome.panelVisibleAtResume);
        // Without a compositor the server has taken the overlay off the screen by then; a
        // compositor repaints a moment later.
        if (!compositing) {
            EXPECT_TRUE(near(bareAtResume, bareColour));
        }
        EXPECT_TRUE(pixelBecomes(bare, bareColour));

        escapeCancelsASelection(service, runs);
    }

    // Escape reaches the overlay, which the window manager never focuses, through the keyboard
    // grab.
    void escapeCancelsASelection(AreaSelectionService &service, SelectionRuns<QRectF> &runs)
    {
        SelectionOutcome<QRectF> escaped;
        const QList<SelectionOverlayWindow *> panels =
            runs.start(service.selectArea(), escaped, [&] { return service.windows(); });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panels.value(0)));
        ASSERT_TRUE(xdotool({"key", "Escape"}));
        ASSERT_TRUE(waitUntilDone(escaped));
        ASSERT_TRUE(escaped.error);
        EXPECT_EQ(escaped.error->kind(), CaptureError::Kind::cancelled);
    }

    std::unique_ptr<PlatformCapturing> m_capturing;
};

} // namespace

TEST_F(SelectionDesktop, DraggingOverTheOverlaysWithoutACompositor)
{
    ASSERT_FALSE(m_platform.compositor->isCompositing());
    dragOutAnArea();
}

TEST_F(SelectionDesktop, DraggingOverTheOverlaysWithACompositor)
{
    ChildProcess compositor;
    if (!startCompositor(compositor))
        GTEST_SKIP() << "xcompmgr is not installed";
    dragOutAnArea();
}

TEST_F(SelectionDesktop, OurOpenDialogsLeaveTheOverlaysThePointerAndKeys)
{
    // A save panel and an alert, as open as a selection may find them.
    QtSavePanel savePanel;
    SavePanelOptions options;
    options.title = QStringLiteral("Save Screenshot");
    options.nameFieldStringValue = QStringLiteral("shot.png");
    options.allowedContentTypes = {QStringLiteral("image/png")};
    QCoro::Task<std::optional<QUrl>> saving = savePanel.run(options, nullptr);
    MessageBoxAlertPresenter alerts;
    QCoro::Task<int> answering =
        alerts.present({AlertStyle::warning, QStringLiteral("Recording Save Failed"), {}, {"OK"}});
    QList<QDialog *> dialogs;
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialogs << dialog;
    }
    ASSERT_EQ(dialogs.size(), 2);
    for (QDialog *dialog : std::as_const(dialogs))
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));

    ScratchSettings settings;
    AreaSelectionService service(*m_capturing, *m_platform.displays, *m_platform.compositor,
                                 settings.store(), desktop::makeOverlayWindows());
    SelectionRuns<QRectF> runs;
    // In a call of its own, so that the dialogs are answered below even when it stops early.
    [&] {
        SelectionOutcome<QRectF> dragged;
        const QList<SelectionOverlayWindow *> panels =
            runs.start(service.selectArea(), dragged, [&] { return service.windows(); });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panels.value(0)));
        ASSERT_TRUE(xdotool({"mousemove", "300", "200", "mousedown", "1", "mousemove", "500", "350",
                             "mousemove", "700", "500", "mouseup", "1"}));
        ASSERT_TRUE(waitUntilDone(dragged));
        ASSERT_TRUE(dragged.value) << dragged.error->errorDescription().toStdString();
        EXPECT_EQ(*dragged.value, QRectF(300, 200, 400, 300));
        escapeCancelsASelection(service, runs);
    }();

    // The dialogs took none of it and still wait for their answers.
    for (QDialog *dialog : std::as_const(dialogs)) {
        EXPECT_TRUE(dialog->isVisible());
        dialog->reject();
    }
    EXPECT_EQ(QCoro::waitFor(std::move(saving)), std::nullopt);
    EXPECT_EQ(QCoro::waitFor(std::move(answering)), -1) << "dismissed unanswered";
}

TEST_F(SelectionDesktop, PickingAnotherProgramsWindow)
{
    ChildProcess xmessage;
    ASSERT_TRUE(
        xmessage.start(QStringLiteral("xmessage"), {"-geometry", "400x300+300+200", "Pick me"}));
    std::optional<WindowInfo> target;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (const WindowInfo &window : m_platform.windowList->windows()) {
                if (window.title == QLatin1String("xmessage") && window.isOnScreen)
                    target = window;
            }
            return target.has_value();
        },
        waitLimitMs));
    EXPECT_GE(target->captureFrame.width(), 400);
    EXPECT_GE(target->captureFrame.height(), 300);

    WindowSelectionService service(*m_platform.windowList, *m_platform.displays,
                                   desktop::makeOverlayWindows(), m_capturing.get(),
                                   m_platform.compositor.get());
    SelectionRuns<WindowInfo> runs;
    SelectionOutcome<WindowInfo> outcome;
    const QList<SelectionOverlayWindow *> panels =
        runs.start(service.selectWindow(), outcome, [&] { return service.overlayWindows(); });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panels.value(0)));
    const QPoint centre = target->captureFrame.center().toPoint();
    ASSERT_TRUE(xdotool(
        {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"}));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value) << outcome.error->errorDescription().toStdString();
    EXPECT_EQ(outcome.value->id, target->id);
    EXPECT_EQ(outcome.value->captureFrame, target->captureFrame);
}
