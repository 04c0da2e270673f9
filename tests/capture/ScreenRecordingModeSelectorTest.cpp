#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ModeSelectorView.h"
#include "model/CaptureErrors.h"
#include "support/AnimationClock.h"
#include "support/FakePanelWindows.h"
#include "support/FakePointerMonitor.h"
#include "support/WaitUntil.h"

#include <QCursor>
#include <QKeyEvent>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <list>

namespace {

// Another window of the program, noting the keys and clicks that reach it.
class OtherWindow : public QWidget {
public:
    OtherWindow()
    {
        setWindowTitle(QStringLiteral("Other"));
        setGeometry(0, 0, 200, 150);
        setFocusPolicy(Qt::StrongFocus);
    }
    QStringList received;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        received << QKeySequence(event->key()).toString();
    }
    void mousePressEvent(QMouseEvent *) override { received << QStringLiteral("press"); }
};

// What one request ended with.
struct Outcome {
    bool done = false;
    std::optional<RecordingSelectionMode> mode;
    std::optional<CaptureError> error;
};

QCoro::Task<void> collect(ScreenRecordingModeSelector &selector, Outcome &outcome)
{
    try {
        QCoro::Task<RecordingSelectionMode> choosing = selector.selectMode();
        outcome.mode = co_await choosing;
    } catch (const CaptureError &error) {
        outcome.error = error;
    }
    outcome.done = true;
}

class ScreenRecordingModeSelectorTest : public ::testing::Test {
protected:
    ScreenRecordingModeSelectorTest()
        : selector(panels, [this] {
              auto monitor = std::make_unique<FakePointerMonitor>();
              monitors << monitor.get();
              return monitor;
          })
    {
        QCursor::setPos(QPoint(600, 500));
    }
    ~ScreenRecordingModeSelectorTest() override
    {
        selector.finish(std::nullopt);
        for (Outcome &outcome : outcomes)
            waitUntil([&] { return outcome.done; });
    }

    // Opens the chooser; the outcome arrives later.
    Outcome &request()
    {
        outcomes.emplace_back();
        collect(selector, outcomes.back());
        return outcomes.back();
    }

    static bool cancelled(const Outcome &outcome)
    {
        return outcome.done && !outcome.mode && outcome.error &&
               outcome.error->kind() == CaptureError::Kind::cancelled;
    }

    std::shared_ptr<FakePanelWindows> panels = std::make_shared<FakePanelWindows>();
    QList<QPointer<FakePointerMonitor>> monitors;
    ScreenRecordingModeSelector selector;
    std::list<Outcome> outcomes;
};

TEST_F(ScreenRecordingModeSelectorTest, AChoiceAnswersAndClosesEverything)
{
    Outcome &outcome = request();
    QPointer<QWidget> panel = selector.panel();
    ASSERT_TRUE(panel);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->size(), QSize(340, 130));
    ASSERT_EQ(panels->prepared.size(), 1);
    EXPECT_EQ(panels->prepared.first().panel, panel);
    EXPECT_EQ(panels->prepared.first().level, platform::PanelLevel::floating);
    EXPECT_FALSE(panel->windowFlags() & Qt::WindowDoesNotAcceptFocus) << "it takes the keyboard";
    EXPECT_NE(panel->windowTitle(), QStringLiteral("Corvanta"));
    EXPECT_EQ(selector.view()->button(RecordingSelectionMode::fullScreen)->text(), "Screen");
    EXPECT_EQ(selector.view()->button(RecordingSelectionMode::window)->text(), "Window");
    EXPECT_TRUE(selector.isWatchingEvents());
    ASSERT_EQ(monitors.size(), 1);
    EXPECT_TRUE(monitors[0]->isRunning());

    ModeButton *area = selector.view()->button(RecordingSelectionMode::area);
    EXPECT_EQ(area->text(), "Area");
    QTest::mouseClick(area, Qt::LeftButton);
    // Every watch is gone before the caller goes on.
    EXPECT_FALSE(selector.isWatchingEvents());
    EXPECT_FALSE(selector.isWatchingPointer());
    EXPECT_TRUE(monitors[0].isNull() || !monitors[0]->isRunning());
    EXPECT_FALSE(outcome.done) << "resumed later, not inside the click";
    ASSERT_TRUE(waitUntil([&] { return outcome.done; }));
    EXPECT_EQ(outcome.mode, RecordingSelectionMode::area);
    EXPECT_FALSE(selector.isPending());
    EXPECT_TRUE(panel.isNull() || !panel->isVisible());

    // A later cancel finds nothing to end.
    selector.finish(std::nullopt);
    EXPECT_EQ(outcome.mode, RecordingSelectionMode::area);
}

TEST_F(ScreenRecordingModeSelectorTest, EscapeCancelsAndReachesNoOtherWindow)
{
    OtherWindow other;
    other.show();
    Outcome &outcome = request();

    QTest::keyClick(selector.panel(), Qt::Key_A);
    QTest::keyClick(&other, Qt::Key_B);
    QTest::qWait(20);
    EXPECT_FALSE(outcome.done) << "other keys leave the chooser open";
    EXPECT_EQ(other.received, QStringList(QStringLiteral("B")));

    QTest::keyClick(&other, Qt::Key_Escape);
    ASSERT_TRUE(waitUntil([&] { return outcome.done; }));
    EXPECT_TRUE(cancelled(outcome));
    EXPECT_EQ(other.received, QStringList(QStringLiteral("B")));
    EXPECT_FALSE(selector.panel());
    EXPECT_FALSE(selector.isWatchingEvents());

    // Afterwards Escape is the other window's again.
    QTest::keyClick(&other, Qt::Key_Escape);
    EXPECT_EQ(other.received.size(), 2);
}

TEST_F(ScreenRecordingModeSelectorTest, ALeftClickOutsideThePanelCancelsAndIsSwallowed)
{
    OtherWindow other;
    other.show();
    Outcome &outcome = request();

    // Inside the panel, away from the choices; a right click in another window of ours.
    QTest::mouseClick(selector.panel(), Qt::LeftButton, {}, QPoint(6, 6));
    QTest::mouseClick(&other, Qt::RightButton);
    QTest::qWait(20);
    EXPECT_FALSE(outcome.done);
    EXPECT_EQ(other.received, QStringList(QStringLiteral("press")));

    QTest::mouseClick(&other, Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return outcome.done; }));
    EXPECT_TRUE(cancelled(outcome));
    EXPECT_EQ(other.received.size(), 1) << "the click only ended the chooser";
}

TEST_F(ScreenRecordingModeSelectorTest, AClickInAnotherProgramCancels)
{
    Outcome &outcome = request();
    ASSERT_EQ(monitors.size(), 1);
    // Over our own windows, moves and releases: the program's own events decide.
    monitors[0]->emitPress(QPoint(10, 10), Qt::LeftButton, true);
    monitors[0]->emitMove(QPoint(20, 20));
    monitors[0]->emitRelease(QPoint(20, 20));
    monitors[0]->emitPress(QPoint(20, 20), Qt::MiddleButton);
    QTest::qWait(20);
    EXPECT_FALSE(outcome.done);

    monitors[0]->emitPress(QPoint(1500, 900), Qt::RightButton);
    EXPECT_FALSE(outcome.done) << "ended from the event loop";
    EXPECT_TRUE(selector.isPending());
    ASSERT_TRUE(waitUntil([&] { return outcome.done; }));
    EXPECT_TRUE(cancelled(outcome));
    EXPECT_FALSE(selector.isWatchingPointer());
}

TEST_F(ScreenRecordingModeSelectorTest, ASecondRequestEndsTheFirstCleanly)
{
    Outcome &first = request();
    QPointer<QWidget> firstPanel = selector.panel();
    // A click the first monitor saw just before, still on its way.
    monitors[0]->emitPress(QPoint(1500, 900));
    Outcome &second = request();

    ASSERT_TRUE(waitUntil([&] { return first.done; }));
    EXPECT_TRUE(cancelled(first));
    EXPECT_TRUE(firstPanel.isNull() || !firstPanel->isVisible());
    EXPECT_TRUE(monitors[0].isNull() || !monitors[0]->isRunning());
    QTest::qWait(20);
    EXPECT_FALSE(second.done) << "the earlier click does not end the new chooser";
    ASSERT_TRUE(selector.panel());
    EXPECT_TRUE(selector.isWatchingEvents());
    ASSERT_EQ(monitors.size(), 2);
    EXPECT_TRUE(monitors[1]->isRunning());

    QTest::mouseClick(selector.view()->button(RecordingSelectionMode::window), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return second.done; }));
    EXPECT_EQ(second.mode, RecordingSelectionMode::window);
}

TEST_F(ScreenRecordingModeSelectorTest, HoveringAChoiceBrightensAndGrowsIt)
{
    AnimationClock animations;
    request();
    ModeSelectorView *view = selector.view();
    ModeButton *button = view->button(RecordingSelectionMode::window);
    // Inside the tile, near its left edge, on the card's dark grey.
    const QPoint probe = button->mapTo(view, QPoint(8, button->height() / 2));
    const QImage resting = view->grab().toImage();
    EXPECT_DOUBLE_EQ(button->currentScale(), 1.0);
    EXPECT_DOUBLE_EQ(button->backgroundOpacity(), 0.05);
    EXPECT_NEAR(button->foregroundColor().alphaF(), 0.7, 0.01);

    QEnterEvent enter(QPointF(40, 36), QPointF(40, 36), QPointF(40, 36));
    QCoreApplication::sendEvent(button, &enter);
    animations.advanceBy(ModeButton::hoverAnimationMs / 3);
    EXPECT_GT(button->hoverProgress(), 0.0);
    EXPECT_LT(button->hoverProgress(), 1.0) << "animated, not at once";
    animations.advanceBy(ModeButton::hoverAnimationMs + 50);
    ASSERT_EQ(button->hoverProgress(), 1.0);
    EXPECT_DOUBLE_EQ(button->currentScale(), 1.05);
    EXPECT_DOUBLE_EQ(button->backgroundOpacity(), 0.15);
    EXPECT_EQ(button->foregroundColor(), QColor(Qt::white));
    const QImage hovered = view->grab().toImage();
    EXPECT_GT(qGray(hovered.pixel(probe)), qGray(resting.pixel(probe)));

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(button, &leave);
    animations.advanceBy(ModeButton::hoverAnimationMs + 50);
    EXPECT_EQ(button->hoverProgress(), 0.0);
}

} // namespace
