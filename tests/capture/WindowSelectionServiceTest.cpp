#include "capture/WindowSelectionService.h"
#include "SelectionTestSupport.h"
#include "capture/WindowSelectionOverlayView.h"
#include "support/EventLog.h"
#include "support/FakeCompositor.h"
#include "support/FakeDisplays.h"
#include "support/FakeOverlayWindows.h"
#include "support/FakeScreenCapturing.h"
#include "support/FakeWindowList.h"
#include "support/LogCapture.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

using platform::WindowInfo;

namespace {

const QString started = QStringLiteral("capture|info|Starting interactive window selection");

class WindowSelectionTest : public ::testing::Test {
protected:
    WindowSelectionTest()
    {
        m_windows.list = {FakeWindowList::make(11, QRectF(100, 100, 400, 300)),
                          FakeWindowList::make(12, QRectF(300, 200, 400, 300))};
    }

    QList<SelectionOverlayWindow *> start(SelectionOutcome<WindowInfo> &outcome)
    {
        return m_runs.start(m_service.selectWindow(), outcome,
                            [this] { return m_service.overlayWindows(); });
    }

    WindowSelectionOverlayView *view(qsizetype index = 0)
    {
        return viewOf<WindowSelectionOverlayView>(m_service.overlayWindows().value(index));
    }

    // The capture category's lines with their levels.
    QStringList lines() const { return m_lines.lines().filter(QRegularExpression("^capture\\|")); }

    LogCapture m_lines;
    EventLog m_events;
    FakeDisplays m_displays{{FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)}};
    FakeWindowList m_windows;
    FakeScreenCapturing m_capture{m_events};
    FakeCompositor m_compositor{true};
    std::shared_ptr<FakeOverlayWindows> m_overlays = std::make_shared<FakeOverlayWindows>();
    WindowSelectionService m_service{m_windows, m_displays, m_overlays, &m_capture, &m_compositor};
    SelectionRuns<WindowInfo> m_runs;
};

} // namespace

TEST_F(WindowSelectionTest, HoverHighlightsTheTopmostWindowAndAClickPicksIt)
{
    SelectionOutcome<WindowInfo> outcome;
    ASSERT_EQ(start(outcome).size(), 1);
    EXPECT_TRUE(m_events.events().isEmpty()); // with a compositor the desktop is live
    WindowSelectionOverlayView *overlay = view();

    const auto hovered = [&](QPointF point) {
        hover(overlay, point);
        return overlay->hoveredWindow() ? overlay->hoveredWindow()->id : 0u;
    };
    EXPECT_EQ(hovered({350, 250}), 11u); // both overlap: the topmost
    EXPECT_EQ(hovered({500, 250}), 12u); // the right edge is outside the upper one
    EXPECT_EQ(hovered({1500, 900}), 0u);
    EXPECT_EQ(hovered({600, 450}), 12u);

    QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(600, 450));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(outcome.value->id, 12u);
    EXPECT_FALSE(outcome.panelVisibleAtResume);
    EXPECT_TRUE(m_service.overlayWindows().isEmpty());
    EXPECT_EQ(lines(),
              QStringList({started, QStringLiteral("capture|info|Window selected: ID 12")}));
}

TEST_F(WindowSelectionTest, AClickWithoutHoverPicksOnAnyDisplay)
{
    m_displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                    FakeDisplays::make(2, QRect(1920, 0, 1280, 1024))});
    m_windows.list.append(FakeWindowList::make(13, QRectF(2000, 100, 300, 200)));
    SelectionOutcome<WindowInfo> outcome;
    ASSERT_EQ(start(outcome).size(), 2);
    QTest::mouseClick(view(1), Qt::LeftButton, Qt::NoModifier, QPoint(100, 120));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(outcome.value->id, 13u);
}

TEST_F(WindowSelectionTest, EscapeOrABareDesktopClickCancelsOtherKeysDoNothing)
{
    for (const bool byEscape : {true, false}) {
        m_lines.clear();
        SelectionOutcome<WindowInfo> outcome;
        start(outcome);
        QPointer<WindowSelectionOverlayView> overlay = view();
        QTest::keyClick(overlay, Qt::Key_A);
        QTest::keyClick(overlay, Qt::Key_Return);
        EXPECT_FALSE(outcome.done);
        if (byEscape)
            QTest::keyClick(overlay, Qt::Key_Escape);
        else
            QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(1500, 900));
        if (overlay) // a second ending is ignored
            QTest::mouseClick(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
        ASSERT_TRUE(waitUntilDone(outcome));
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->kind(), CaptureError::Kind::cancelled);
        EXPECT_EQ(
            lines(),
            QStringList({started, QStringLiteral("capture|info|Window selection cancelled")}));
    }
}

TEST_F(WindowSelectionTest, NoSelectableWindowFailsBeforeAnythingShows)
{
    WindowInfo own = FakeWindowList::make(21, QRectF(0, 0, 800, 600));
    own.ownProcess = true;
    m_windows.list = {own, FakeWindowList::make(23, QRectF(0, 0, 79, 200))};
    SelectionOutcome<WindowInfo> outcome;
    EXPECT_TRUE(start(outcome).isEmpty());
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(*outcome.error,
              CaptureError::captureFailed(QStringLiteral("No selectable windows found.")));
    EXPECT_TRUE(m_overlays->calls.isEmpty());
    EXPECT_EQ(
        lines(),
        QStringList(
            {started, QStringLiteral("capture|error|No candidate windows found for selection")}));
}

TEST_F(WindowSelectionTest, WithoutACompositorTheFrozenDesktopIsShown)
{
    m_compositor.compositing = false;
    m_capture.image = QImage(1920, 1080, QImage::Format_RGB32);
    m_capture.image.fill(QColor(30, 90, 160));
    SelectionOutcome<WindowInfo> outcome;
    const QList<SelectionOverlayWindow *> panels = start(outcome);
    EXPECT_EQ(m_events.events(), QStringList{QStringLiteral("capture.all(cursor=false)")});
    EXPECT_FALSE(panels.value(0)->testAttribute(Qt::WA_TranslucentBackground));

    hover(view(), QPointF(250, 250));
    const QImage seen = view()->grab().toImage();
    EXPECT_EQ(seen.pixel(250, 250), qRgb(30, 90, 160)); // the hovered window undimmed
    EXPECT_NEAR(seen.pixelColor(1500, 900).blue(), qRound(160 * 0.78), 2); // black at 0.22
    QTest::keyClick(view(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntilDone(outcome));
}
