#include "PanelDesktopSupport.h"
#include "app/DesktopPlatform.h"
#include "capture/ModeSelectorView.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "model/CaptureErrors.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"

#include <QTest>
#include <gtest/gtest.h>

namespace {

struct Outcome {
    bool done = false;
    std::optional<RecordingSelectionMode> mode;
    bool cancelled = false;
};

QCoro::Task<void> collect(ScreenRecordingModeSelector &selector, Outcome &outcome)
{
    try {
        QCoro::Task<RecordingSelectionMode> choosing = selector.selectMode();
        outcome.mode = co_await choosing;
    } catch (const CaptureError &error) {
        outcome.cancelled = error.kind() == CaptureError::Kind::cancelled;
    }
    outcome.done = true;
}

// The chooser on the real desktop, with the window system's panels and pointer watch: it must
// get the keyboard from the window manager and see clicks outside the program.
class ModeSelectorDesktop : public X11DesktopTest {
protected:
    void TearDown() override
    {
        m_selector.finish(std::nullopt);
        waitUntil([&] { return m_outcome.done; }, 2000);
    }

    void open()
    {
        collect(m_selector, m_outcome);
        QWidget *panel = m_selector.panel();
        ASSERT_TRUE(panel);
        ASSERT_TRUE(QTest::qWaitForWindowActive(panel, 5000)) << "the chooser takes the keyboard";
    }

    ScreenRecordingModeSelector m_selector{desktop::makePanelWindows(),
                                           &desktop::makePointerMonitor};
    Outcome m_outcome;
};

TEST_F(ModeSelectorDesktop, TypedEscapeCancelsAndOtherKeysDoNot)
{
    open();
    xdotool({"key", "a"});
    QTest::qWait(100);
    EXPECT_FALSE(m_outcome.done);
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return m_outcome.done; }));
    EXPECT_TRUE(m_outcome.cancelled);
}

TEST_F(ModeSelectorDesktop, AClickedChoiceAnswersAndAClickOnTheDesktopCancels)
{
    open();
    ModeButton *area = m_selector.view()->button(RecordingSelectionMode::area);
    clickAt(area->mapToGlobal(area->rect().center()));
    ASSERT_TRUE(waitUntil([&] { return m_outcome.done; }));
    EXPECT_EQ(m_outcome.mode, RecordingSelectionMode::area);

    // The desktop's background belongs to no window of ours.
    m_outcome = {};
    open();
    clickAt(QPoint(30, 500));
    ASSERT_TRUE(waitUntil([&] { return m_outcome.done; }));
    EXPECT_TRUE(m_outcome.cancelled);
}

} // namespace
