#include "capture/SelectionGeometry.h"
#include "support/FakeDisplays.h"
#include "support/FakeWindowList.h"

#include <gtest/gtest.h>

using platform::Display;
using platform::WindowInfo;

namespace {

const QRectF firstScreen(0, 0, 1920, 1080);

QRectF captureOfDrag(QPointF from, QPointF to, const QRectF &screenFrame = firstScreen,
                     double height = 1080)
{
    return viewRectToCapture(selectionRect(from, to), screenFrame, height);
}

} // namespace

TEST(SelectionGeometry, DragBecomesACaptureRectangleWhicheverWayItGoes)
{
    EXPECT_EQ(captureOfDrag({100, 100}, {400, 300}), QRectF(100, 780, 300, 200));
    EXPECT_EQ(captureOfDrag({400, 100}, {100, 300}), QRectF(100, 780, 300, 200));
    // Not clamped to the display: a drag past its edge reaches beyond it.
    EXPECT_EQ(captureOfDrag({1900, 10}, {2000, 110}), QRectF(1900, 970, 100, 100));
}

TEST(SelectionGeometry, SecondDisplayFlipsWithTheFirstDisplaysHeight)
{
    // Its screen frame starts at (1920, 200) and is 900 high, under a first display 1080 high.
    const QList<Display> displays =
        platform::arrangeDisplays({FakeDisplays::make(1, QRect(0, 0, 1920, 1080), 1.0, true),
                                   FakeDisplays::make(2, QRect(1920, -20, 1600, 900))});
    ASSERT_EQ(displays[1].screenFrame, QRectF(1920, 200, 1600, 900));
    const double height = flipHeight(displays);
    EXPECT_EQ(height, 1080);
    const QRectF capture = captureOfDrag({10, 10}, {110, 60}, displays[1].screenFrame, height);
    EXPECT_EQ(capture, QRectF(1930, 820, 100, 50));
    // The same place the display's own capture frame gives for that spot of the view.
    const QRectF fromTop = flipInView(selectionRect({10, 10}, {110, 60}), 900);
    EXPECT_EQ(capture, fromTop.translated(displays[1].captureFrame.topLeft()));
    EXPECT_EQ(captureRectToView(capture, displays[1].screenFrame, height), QRectF(10, 10, 100, 50));
    EXPECT_EQ(flipHeight({}), 1000.0);
}

TEST(SelectionGeometry, TooSmallSelectionsAndTheFrameThreshold)
{
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 3.9, 200)));
    EXPECT_FALSE(isLargeEnoughSelection(QRectF(0, 0, 200, 3.9)));
    EXPECT_TRUE(isLargeEnoughSelection(QRectF(0, 0, 4.0, 4.0)));
    EXPECT_FALSE(showsSelectionFrame({10, 10}, {11, 9}));
    EXPECT_TRUE(showsSelectionFrame({10, 10}, {11.5, 10}));
    EXPECT_TRUE(showsSelectionFrame({10, 10}, {10, 8.5}));
}

TEST(SelectionGeometry, SizeLabelShowsPixelsAndHangsUnderTheSelection)
{
    EXPECT_EQ(sizeLabelText(QSizeF(300, 200), 2.0), QStringLiteral("600 × 400"));
    EXPECT_EQ(sizeLabelText(QSizeF(100.7, 50.2), 1.0), QStringLiteral("100 × 50"));

    const QSizeF text(60, 14);
    // Centred under the rectangle's lower edge (view points: y upwards).
    EXPECT_EQ(sizeLabelBubble(QRectF(100, 300, 300, 200), text), QRectF(214, 266, 72, 26));
    // Near the left and bottom edges it stops 10 points short of them.
    EXPECT_EQ(sizeLabelBubble(QRectF(0, 5, 20, 100), text), QRectF(10, 10, 72, 26));
}

TEST(SelectionGeometry, LoupeMovesAwayFromTheRightAndTopEdges)
{
    const QRectF bounds(0, 0, 1920, 1080);
    EXPECT_EQ(loupeCentre({500, 500}, bounds), QPointF(582, 582));
    // 138 points from the right edge still fit; less does not.
    EXPECT_EQ(loupeCentre({1782, 500}, bounds).x(), 1864);
    EXPECT_EQ(loupeCentre({1782.5, 500}, bounds).x(), 1700.5);
    // 168 points below the top edge still fit; less puts it below the pointer.
    EXPECT_EQ(loupeCentre({500, 912}, bounds).y(), 994);
    EXPECT_EQ(loupeCentre({500, 912.5}, bounds).y(), 800.5);
    EXPECT_EQ(loupeRect({582, 582}), QRectF(536, 536, 92, 92));
    // The colour label's top edge is 4 points below the loupe.
    const QRectF label = loupeLabelBubble(QRectF(536, 536, 92, 92), QSizeF(100, 12));
    EXPECT_EQ(label, QRectF(526, 514, 112, 18));
    EXPECT_EQ(label.bottom(), 536 - 4);
}

TEST(SelectionGeometry, LoupeSamplesFourteenPixelsCutAtTheImageEdge)
{
    const QSize image(3840, 2160);
    // Scale 2: the pointer at (100, 1000) of a view 1080 high is pixel (200, 160).
    EXPECT_EQ(loupeSampleRect({100, 1000}, 1080, 2.0, image), QRect(193, 153, 14, 14));
    // At the top-left corner only the part inside the image remains.
    EXPECT_EQ(loupeSampleRect({0, 1080}, 1080, 2.0, image), QRect(0, 0, 7, 7));
    EXPECT_TRUE(loupeSampleRect({-50, 1080}, 1080, 2.0, image).isEmpty());
}

TEST(SelectionGeometry, ColourUnderThePointerReadsThePixelNotItsBytes)
{
    // Memory order differs (RGB32 keeps blue first), the colour must not.
    for (const QImage::Format format :
         {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied, QImage::Format_RGB888}) {
        QImage image(40, 20, format);
        image.fill(Qt::black);
        image.setPixelColor(30, 4, QColor(0xFF, 0x10, 0x80));
        // Scale 2, view 10 points high: view point (15, 8) is pixel (30, 4).
        EXPECT_EQ(pixelColorHex(image, {15, 8}, 10, 2.0), QStringLiteral("#FF1080"));
        EXPECT_EQ(pixelColorHex(image, {0, 10}, 10, 2.0), QStringLiteral("#000000"));
    }
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::black);
    EXPECT_EQ(pixelColorHex(image, {20, 5}, 10, 2.0), QStringLiteral("#FFFFFF")); // column 40
    EXPECT_EQ(pixelColorHex(QImage(), {5, 5}, 10, 2.0), QStringLiteral("#FFFFFF"));
    EXPECT_EQ(loupeLabelText({15, 8}, 10, 2.0, QStringLiteral("#FF1080")),
              QStringLiteral("30, 4 • #FF1080"));
}

TEST(SelectionGeometry, MovingACornerRepaintsStripsNotTheWholeRectangle)
{
    const auto area = [](const QRegion &region) {
        qint64 total = 0;
        for (const QRect &rect : region)
            total += qint64(rect.width()) * rect.height();
        return total;
    };
    const QRectF before(100, 100, 800, 600);
    const QRectF after(100, 100, 803, 602);
    const QRegion changed = changedSelectionArea(before, after);
    EXPECT_LT(area(changed), 800 * 600 / 10);
    EXPECT_TRUE(changed.contains(QPoint(902, 400))); // the new strip on the right
    EXPECT_TRUE(changed.contains(QPoint(100, 400))); // the left edge's frame
    EXPECT_FALSE(changed.contains(QPoint(500, 400)));
    // Appearing repaints the whole interior with its frame.
    EXPECT_TRUE(changedSelectionArea(std::nullopt, before).contains(QPoint(500, 400)));
}

TEST(SelectionGeometry, FrozenImageStandsInOnlyWithoutACompositor)
{
    EXPECT_EQ(overlayBackground(true, true), OverlayBackground::liveDesktop);
    EXPECT_EQ(overlayBackground(true, false), OverlayBackground::liveDesktop);
    EXPECT_EQ(overlayBackground(false, true), OverlayBackground::frozenImage);
    EXPECT_EQ(overlayBackground(false, false), OverlayBackground::liveDesktop);
}

TEST(SelectionGeometry, CandidateWindows)
{
    WindowInfo normal = FakeWindowList::make(1, QRectF(0, 0, 400, 300));
    WindowInfo own = FakeWindowList::make(2, QRectF(0, 0, 400, 300));
    own.ownProcess = true;
    WindowInfo withoutPid = FakeWindowList::make(3, QRectF(0, 0, 400, 300));
    withoutPid.pid.reset();
    WindowInfo hidden = FakeWindowList::make(4, QRectF(0, 0, 400, 300));
    hidden.isOnScreen = false;
    WindowInfo dock = FakeWindowList::make(5, QRectF(0, 0, 1920, 100));
    dock.layer = platform::dockWindowLayer;
    const WindowInfo narrow = FakeWindowList::make(6, QRectF(0, 0, 79, 200));
    const WindowInfo smallest = FakeWindowList::make(7, QRectF(0, 0, 80, 60));
    const WindowInfo flat = FakeWindowList::make(8, QRectF(0, 0, 200, 59.5));

    const QList<WindowInfo> kept =
        selectableWindows({normal, own, withoutPid, hidden, dock, narrow, smallest, flat});
    QList<platform::WindowId> ids;
    for (const WindowInfo &window : kept)
        ids << window.id;
    EXPECT_EQ(ids, QList<platform::WindowId>({1, 3, 7}));
}

TEST(SelectionGeometry, WindowLabelTextAndPlacement)
{
    WindowInfo window =
        FakeWindowList::make(1, QRectF(), QStringLiteral("Editor"), QStringLiteral("Notes"));
    EXPECT_EQ(windowLabelText(window), QStringLiteral("Editor — Notes"));
    window.title.clear();
    EXPECT_EQ(windowLabelText(window), QStringLiteral("Editor"));
    window.title = QStringLiteral("Notes");
    window.applicationName.clear();
    EXPECT_EQ(windowLabelText(window), QStringLiteral("Notes"));
    window.title.clear();
    EXPECT_EQ(windowLabelText(window), QStringLiteral("Window"));

    const QSizeF text(100, 16);
    // 10 points above the window's top edge (view points: y upwards), centred on it.
    EXPECT_EQ(windowLabelBox(QRectF(300, 200, 400, 300), text, 1080), QRectF(438, 510, 124, 26));
    // Near the top of the screen the box's top stays 14 points below it.
    const QRectF nearTop = windowLabelBox(QRectF(300, 700, 400, 370), text, 1080);
    EXPECT_EQ(nearTop.bottom(), 1080 - 14);
    // Never closer than 16 points to the left or bottom edge; the right edge is not clamped.
    EXPECT_EQ(windowLabelBox(QRectF(-300, -400, 320, 300), text, 1080).topLeft(), QPointF(16, 16));
    EXPECT_EQ(windowLabelBox(QRectF(1900, 200, 400, 300), text, 1080).right(), 2162);
}
