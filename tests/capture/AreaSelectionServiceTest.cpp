#include "capture/AreaSelectionService.h"
#include "SelectionTestSupport.h"
#include "capture/SelectionOverlayView.h"
#include "capture/WindowSelectionService.h"
#include "support/EventLog.h"
#include "support/FakeCompositor.h"
#include "support/FakeDisplays.h"
#include "support/FakeOverlayWindows.h"
#include "support/FakeScreenCapturing.h"
#include "support/FakeWindowList.h"
#include "support/LogCapture.h"

#include <QBackingStore>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

const QString started = QStringLiteral("Starting interactive area selection");

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= 2 && std::abs(qGreen(a) - qGreen(b)) <= 2 &&
           std::abs(qBlue(a) - qBlue(b)) <= 2;
}

QRgb dimmed(QColor colour)
{
    return qRgb(qRound(colour.red() * 0.68), qRound(colour.green() * 0.68),
                qRound(colour.blue() * 0.68));
}

// What the window itself holds: its backing store, as the window system is handed it.
QImage windowContent(QWidget *window)
{
    QBackingStore *store = window->backingStore();
    store->beginPaint(QRegion());
    const QImage content = static_cast<QImage *>(store->paintDevice())->copy();
    store->endPaint();
    return content;
}

class AreaSelectionTest : public ::testing::Test {
protected:
    AreaSelectionTest()
    {
        // The frozen image of display 1: four blocks, so that a wrong offset shows.
        QImage &image = m_capture.image;
        image = QImage(1920, 1080, QImage::Format_RGB32);
        QPainter painter(&image);
        painter.fillRect(0, 0, 960, 540, QColor(200, 40, 40));
        painter.fillRect(960, 0, 960, 540, QColor(40, 200, 40));
        painter.fillRect(0, 540, 960, 540, QColor(40, 40, 200));
        painter.fillRect(960, 540, 960, 540, QColor(250, 220, 30));
        m_settings.store().setShowMagnifierInSelection(true);
    }

    QList<SelectionOverlayWindow *> start(SelectionOutcome<QRectF> &outcome)
    {
        return m_runs.start(m_service.selectArea(), outcome,
                            [this] { return m_service.windows(); });
    }

    SelectionOverlayView *view(qsizetype index = 0)
    {
        return viewOf<SelectionOverlayView>(m_service.windows().value(index));
    }

    static void expectCancelled(const SelectionOutcome<QRectF> &outcome)
    {
        ASSERT_TRUE(waitUntilDone(outcome));
        ASSERT_TRUE(outcome.error);
        EXPECT_EQ(outcome.error->kind(), CaptureError::Kind::cancelled);
        EXPECT_FALSE(outcome.panelVisibleAtResume);
    }

    QStringList lines() const { return m_lines.messages(QStringLiteral("capture")); }

    LogCapture m_lines;
    EventLog m_events;
    ScratchSettings m_settings;
    FakeDisplays m_displays{{FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)}};
    FakeScreenCapturing m_capture{m_events};
    FakeCompositor m_compositor{true};
    std::shared_ptr<FakeOverlayWindows> m_overlays = std::make_shared<FakeOverlayWindows>();
    AreaSelectionService m_service{m_capture, m_displays, m_compositor, m_settings.store(),
                                   m_overlays};
    SelectionRuns<QRectF> m_runs;
};

} // namespace

TEST_F(AreaSelectionTest, DragReturnsTheRectangleInCaptureCoordinatesAfterTheOverlaysAreGone)
{
    SelectionOutcome<QRectF> outcome;
    const QList<SelectionOverlayWindow *> panels = start(outcome);
    ASSERT_EQ(panels.size(), 1);
    EXPECT_TRUE(panels[0]->isVisible());
    EXPECT_EQ(panels[0]->geometry(), QRect(0, 0, 1920, 1080));
    EXPECT_EQ(m_events.events(), QStringList{QStringLiteral("capture.all(cursor=false)")});
    // A mouse-up without a mouse-down changes nothing.
    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
    EXPECT_EQ(m_service.windows().size(), 1);

    // View points (100, 100) to (400, 300), y upwards: Qt's (100, 980) to (400, 780).
    drag(view(), QPoint(100, 980), QPoint(400, 780));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(*outcome.value, QRectF(100, 780, 300, 200));
    EXPECT_FALSE(outcome.panelVisibleAtResume);
    EXPECT_TRUE(m_service.windows().isEmpty());
    EXPECT_EQ(m_overlays->calls, QStringList({QStringLiteral("opened(0)"),
                                              QStringLiteral("closed(0, visible=false)")}));
    EXPECT_EQ(lines(), QStringList({started, QStringLiteral("Area selected: 100.000000,780.000000 "
                                                            "300.000000x200.000000")}));
}

TEST_F(AreaSelectionTest, EscapeClicksAndTinyDragsCancelOnce)
{
    const QList<std::function<void(SelectionOverlayView *)>> cancels = {
        [](SelectionOverlayView *v) { QTest::keyClick(v, Qt::Key_Escape); },
        [](SelectionOverlayView *v) { drag(v, QPoint(50, 50), QPoint(50, 50)); },
        [](SelectionOverlayView *v) { drag(v, QPoint(50, 50), QPoint(53, 250)); },
    };
    for (const auto &cancel : cancels) {
        m_lines.clear();
        SelectionOutcome<QRectF> outcome;
        start(outcome);
        QPointer<SelectionOverlayView> overlay = view();
        cancel(overlay);
        if (overlay) { // later events on the finished selection change nothing
            QTest::keyClick(overlay, Qt::Key_Escape);
            drag(overlay, QPoint(10, 10), QPoint(300, 300));
        }
        expectCancelled(outcome);
        EXPECT_EQ(lines(),
                  QStringList({started, QStringLiteral("Area selection cancelled by user")}));
    }
}

TEST_F(AreaSelectionTest, HoldingSpaceMovesTheRectangle)
{
    SelectionOutcome<QRectF> outcome;
    start(outcome);
    SelectionOverlayView *overlay = view();
    QTest::mousePress(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    QTest::mouseMove(overlay, QPoint(300, 200));
    QTest::keyPress(overlay, Qt::Key_Space);
    QTest::mouseMove(overlay, QPoint(350, 220)); // by (50, −20) in view points
    QTest::keyRelease(overlay, Qt::Key_Space);
    QTest::mouseMove(overlay, QPoint(360, 230)); // resizing again from the moved corner
    QTest::mouseRelease(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(360, 230));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(*outcome.value, QRectF(150, 120, 210, 110));
}

TEST_F(AreaSelectionTest, EveryDisplayGetsAnOverlayAndTheFirstToFinishWins)
{
    m_displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                    FakeDisplays::make(2, QRect(1920, -20, 1600, 900))});
    SelectionOutcome<QRectF> outcome;
    const QList<SelectionOverlayWindow *> panels = start(outcome);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[1]->geometry(), QRect(1920, -20, 1600, 900));
    QPointer<SelectionOverlayView> first = viewOf<SelectionOverlayView>(panels[0]);
    // View points (10, 10) to (110, 60) on the second display, 900 high.
    drag(viewOf<SelectionOverlayView>(panels[1]), QPoint(10, 890), QPoint(110, 840));
    if (first)
        drag(first, QPoint(10, 10), QPoint(500, 500));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(*outcome.value, QRectF(1930, 820, 100, 50));
    EXPECT_EQ(lines().size(), 2);
    EXPECT_FALSE(outcome.panelVisibleAtResume);
}

TEST_F(AreaSelectionTest, ANewSelectionEndsTheOpenOneOfEitherKind)
{
    SelectionOutcome<QRectF> first;
    start(first);
    SelectionOutcome<QRectF> second;
    start(second);
    expectCancelled(first);
    EXPECT_TRUE(
        lines().contains(QStringLiteral("Area selection cancelled: a new selection started")));
    ASSERT_EQ(m_service.windows().size(), 1);

    FakeWindowList windows;
    windows.list = {FakeWindowList::make(7, QRectF(100, 100, 400, 300))};
    WindowSelectionService windowService(windows, m_displays, m_overlays);
    SelectionOutcome<platform::WindowInfo> picked;
    SelectionRuns<platform::WindowInfo> picking;
    picking.start(windowService.selectWindow(), picked,
                  [&] { return windowService.overlayWindows(); });
    expectCancelled(second);
    EXPECT_TRUE(m_service.windows().isEmpty());
    ASSERT_EQ(windowService.overlayWindows().size(), 1);
    QTest::keyClick(windowService.overlayWindows()[0]->contentView(), Qt::Key_Escape);
    ASSERT_TRUE(waitUntilDone(picked));
}

TEST_F(AreaSelectionTest, ChangedDisplaysAndAGoneServiceCancelCleanly)
{
    SelectionOutcome<QRectF> outcome;
    start(outcome);
    m_displays.change({FakeDisplays::make(3, QRect(0, 0, 1280, 1024), 1.0, true)});
    expectCancelled(outcome);
    EXPECT_TRUE(lines().contains(QStringLiteral("Area selection cancelled: the displays changed")));

    SelectionOutcome<QRectF> orphan;
    SelectionRuns<QRectF> runs;
    {
        AreaSelectionService service(m_capture, m_displays, m_compositor, m_settings.store(),
                                     m_overlays);
        ASSERT_EQ(
            runs.start(service.selectArea(), orphan, [&] { return service.windows(); }).size(), 1);
    }
    expectCancelled(orphan);
}

TEST_F(AreaSelectionTest, WithoutDisplaysOrFrozenImages)
{
    m_displays.set({});
    SelectionOutcome<QRectF> none;
    start(none);
    ASSERT_TRUE(waitUntilDone(none));
    ASSERT_TRUE(none.error);
    EXPECT_EQ(none.error->kind(), CaptureError::Kind::noDisplayFound);

    // A failed freeze leaves working overlays, translucent even without a compositor.
    m_displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true)});
    m_capture.failure = CaptureError::captureFailed(QStringLiteral("no X server"));
    m_compositor.compositing = false;
    SelectionOutcome<QRectF> outcome;
    start(outcome);
    EXPECT_TRUE(view()->backdrop().isTranslucent());
    hover(view(), QPointF(500, 500));
    view()->grab(); // a loupe without pixels
    drag(view(), QPoint(100, 100), QPoint(200, 200));
    ASSERT_TRUE(waitUntilDone(outcome));
    EXPECT_TRUE(outcome.value);
}

TEST_F(AreaSelectionTest, WithoutACompositorTheFrozenImageLooksLikeTheDimmedDesktop)
{
    // What the user sees: the translucent overlay over the live desktop (here the same image)
    // with a compositor, the dimmed frozen image without one.
    const QImage desktop = m_capture.image;
    const QPoint inside(300, 300);
    QImage seen[2];
    for (const bool compositing : {true, false}) {
        m_compositor.compositing = compositing;
        SelectionOutcome<QRectF> outcome;
        const QList<SelectionOverlayWindow *> panels = start(outcome);
        EXPECT_EQ(panels.value(0)->testAttribute(Qt::WA_TranslucentBackground), compositing);
        SelectionOverlayView *overlay = view();
        QTest::mousePress(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
        QTest::mouseMove(overlay, QPoint(400, 400));
        const QImage grabbed =
            overlay->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        seen[compositing ? 0 : 1] = desktop.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter(&seen[compositing ? 0 : 1]).drawImage(0, 0, grabbed);
        if (compositing) {
            EXPECT_EQ(qAlpha(grabbed.pixel(inside)), 0);     // cleared: the desktop as it is
            EXPECT_EQ(qAlpha(grabbed.pixel(1500, 900)), 82); // black at 0.32
        }
        QTest::mouseRelease(overlay, Qt::LeftButton, Qt::NoModifier, QPoint(400, 400));
        ASSERT_TRUE(waitUntilDone(outcome));
    }
    for (const QPoint point : {inside, QPoint(1500, 900), QPoint(1000, 200), QPoint(5, 1075)}) {
        EXPECT_TRUE(near(seen[0].pixel(point), seen[1].pixel(point))) << point.x();
        const QColor colour = desktop.pixelColor(point);
        const double dim = point == inside ? 1.0 : 0.68;
        EXPECT_TRUE(near(seen[1].pixel(point),
                         qRgb(qRound(colour.red() * dim), qRound(colour.green() * dim),
                              qRound(colour.blue() * dim))))
            << point.x();
    }
}

TEST_F(AreaSelectionTest, WithoutACompositorTheWindowHoldsTheDimmedImageFromItsFirstPaintOn)
{
    // The dimmed image goes into the window before it is shown; the paints that follow draw only
    // what changed, and a grab of the view draws everything.
    m_compositor.compositing = false;
    const QImage desktop = m_capture.image;
    SelectionOutcome<QRectF> outcome;
    SelectionOverlayWindow *panel = start(outcome).value(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel));
    const auto holds = [&](QPoint point, QRgb expected) {
        return QTest::qWaitFor([&] { return near(windowContent(panel).pixel(point), expected); },
                               2000);
    };
    const QPoint far(1500, 900), inside(220, 280), uncovered(350, 350);
    EXPECT_TRUE(holds(far, dimmed(desktop.pixelColor(far))));
    EXPECT_TRUE(holds(uncovered, dimmed(desktop.pixelColor(uncovered))));

    QTest::mousePress(view(), Qt::LeftButton, Qt::NoModifier, QPoint(200, 200));
    QTest::mouseMove(view(), QPoint(400, 400));
    EXPECT_TRUE(holds(uncovered, desktop.pixel(uncovered)));
    QTest::mouseMove(view(), QPoint(300, 300)); // shrinks: the strip left behind is dimmed again
    EXPECT_TRUE(holds(uncovered, dimmed(desktop.pixelColor(uncovered))));
    EXPECT_TRUE(holds(inside, desktop.pixel(inside)));
    EXPECT_TRUE(holds(far, dimmed(desktop.pixelColor(far))));
    const QImage grabbed = view()->grab().toImage();
    EXPECT_TRUE(near(grabbed.pixel(far), dimmed(desktop.pixelColor(far))));
    EXPECT_TRUE(near(grabbed.pixel(inside), desktop.pixel(inside)));

    QTest::mouseRelease(view(), Qt::LeftButton, Qt::NoModifier, QPoint(300, 300));
    ASSERT_TRUE(waitUntilDone(outcome));
}

TEST_F(AreaSelectionTest, OverlaysReadiedAheadStayHiddenAndSuitTheDesktopWhenTheSelectionStarts)
{
    const QImage desktop = m_capture.image;
    const QPoint far(1500, 900);
    const auto anyPanelVisible = [] {
        const QWidgetList windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [](QWidget *window) {
            return qobject_cast<SelectionOverlayWindow *>(window) && window->isVisible();
        });
    };

    // Readied for a translucent overlay on one display; by the time the selection starts the
    // compositing manager is gone and a second display came.
    m_service.prepareSelection();
    EXPECT_FALSE(anyPanelVisible()); // in no screenshot taken meanwhile
    m_compositor.compositing = false;
    m_displays.set({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                    FakeDisplays::make(2, QRect(1920, 0, 1600, 900))});
    SelectionOutcome<QRectF> outcome;
    QList<SelectionOverlayWindow *> panels = start(outcome);
    ASSERT_EQ(panels.size(), 2);
    EXPECT_EQ(panels[1]->geometry(), QRect(1920, 0, 1600, 900));
    EXPECT_FALSE(panels[0]->testAttribute(Qt::WA_TranslucentBackground));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panels[0]));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return near(windowContent(panels[0]).pixel(far), dimmed(desktop.pixelColor(far))); },
        2000));
    drag(view(), QPoint(10, 10), QPoint(110, 60));
    ASSERT_TRUE(waitUntilDone(outcome));
    ASSERT_TRUE(outcome.value);
    EXPECT_EQ(*outcome.value, QRectF(10, 10, 100, 50));

    // Readied for the desktop as it stays: the overlay holds the dimmed image from its first
    // paint on.
    m_service.prepareSelection();
    EXPECT_FALSE(anyPanelVisible());
    SelectionOutcome<QRectF> second;
    panels = start(second);
    ASSERT_EQ(panels.size(), 2);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panels[0]));
    EXPECT_TRUE(near(windowContent(panels[0]).pixel(far), dimmed(desktop.pixelColor(far))));
    drag(view(), QPoint(300, 300), QPoint(500, 400));
    ASSERT_TRUE(waitUntilDone(second));
    ASSERT_TRUE(second.value);
    EXPECT_EQ(*second.value, QRectF(300, 300, 200, 100));
}

TEST(SelectionBackdrop, PaintsAheadTheVeryPixelsItsPaintGives)
{
    // Every channel value under the dim, in both memory formats a window may have, for the dim
    // of either selection.
    QImage frozen(256 * 3 + 5, 97, QImage::Format_RGB32);
    for (int y = 0; y < frozen.height(); ++y) {
        for (int x = 0; x < frozen.width(); ++x)
            frozen.setPixel(x, y, qRgb(x % 256, (x * 7 + y * 3) % 256, (x / 3 + y * 11) % 256));
    }
    for (const double dim : {0.32, 0.22}) {
        const SelectionBackdrop backdrop(OverlayBackground::frozenImage, frozen, 1.0, dim);
        for (const QImage::Format format :
             {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
            SCOPED_TRACE(testing::Message() << dim << " " << format);
            QImage painted(frozen.size(), format);
            painted.fill(Qt::red);
            {
                QPainter painter(&painted);
                backdrop.paint(painter, QRegion(painted.rect()), std::nullopt);
            }
            QImage ahead(frozen.size(), format);
            ahead.fill(Qt::green);
            ASSERT_TRUE(backdrop.paintAhead(ahead, ahead.rect()));
            EXPECT_EQ(ahead, painted);
        }
    }
}
