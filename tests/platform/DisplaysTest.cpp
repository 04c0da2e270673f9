#include "platform/Displays.h"
#include "platform/x11/X11Displays.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

using namespace platform;

namespace {

Display rawDisplay(DisplayId id, QRect rootRect, double scale = 1.0, bool isMain = false)
{
    Display display;
    display.id = id;
    display.name = QStringLiteral("out-%1").arg(id);
    display.rootRect = rootRect;
    display.scale = scale;
    display.isMain = isMain;
    return display;
}

// The main display at root (1080, 400), a taller portrait display to its left at the root
// origin reaching 440 pixels below the main display, and a display of scale 2 to the right.
QList<Display> layout()
{
    return arrangeDisplays({rawDisplay(2, QRect(0, 0, 1080, 1920)),
                            rawDisplay(1, QRect(1080, 400, 1920, 1080), 1.0, true),
                            rawDisplay(3, QRect(3000, 400, 3840, 2160), 2.0)});
}

} // namespace

TEST(Displays, ArrangingPutsTheMainDisplayFirstAndFillsBothFrames)
{
    const QList<Display> displays = layout();
    ASSERT_EQ(displays.size(), 3);
    EXPECT_EQ(displays[0].id, 1u);
    EXPECT_TRUE(displays[0].isMain);
    EXPECT_FALSE(displays[1].isMain);
    EXPECT_EQ(displays[0].captureFrame, QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displays[0].screenFrame, QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displays[1].captureFrame, QRectF(-1080, -400, 1080, 1920));
    EXPECT_EQ(displays[1].screenFrame, QRectF(-1080, -440, 1080, 1920));
    // Scale 2 keeps the display's origin and halves its size in points.
    EXPECT_EQ(displays[2].captureFrame, QRectF(1920, 0, 1920, 1080));
    EXPECT_EQ(displays[2].screenFrame, QRectF(1920, 0, 1920, 1080));
}

TEST(Displays, ArrangingMarksExactlyOneMainDisplayAndSanitisesScales)
{
    const QList<Display> unmarked = arrangeDisplays(
        {rawDisplay(5, QRect(0, 0, 100, 100), 0.0), rawDisplay(6, QRect(100, 0, 100, 100), NAN)});
    EXPECT_TRUE(unmarked[0].isMain);
    EXPECT_EQ(unmarked[0].id, 5u);
    EXPECT_EQ(unmarked[0].scale, 1.0);
    EXPECT_EQ(unmarked[1].scale, 1.0);

    const QList<Display> twice = arrangeDisplays({rawDisplay(5, QRect(0, 0, 10, 10), 1, false),
                                                  rawDisplay(6, QRect(10, 0, 10, 10), 1, true),
                                                  rawDisplay(7, QRect(20, 0, 10, 10), 1, true)});
    EXPECT_EQ(twice[0].id, 6u);
    EXPECT_EQ(std::count_if(twice.begin(), twice.end(), [](const Display &d) { return d.isMain; }),
              1);
    EXPECT_TRUE(arrangeDisplays({}).isEmpty());
}

TEST(Displays, PointsConvertBetweenRootCaptureAndScreen)
{
    const QList<Display> displays = layout();
    // Near the top of the left display.
    EXPECT_EQ(rootToCapture(QPointF(10, 20), displays), QPointF(-1070, -380));
    EXPECT_EQ(rootToScreen(QPointF(10, 20), displays), QPointF(-1070, 1460));
    EXPECT_EQ(captureToRoot(QPointF(-1070, -380), displays), QPointF(10, 20));
    EXPECT_EQ(screenToRoot(QPointF(-1070, 1460), displays), QPointF(10, 20));
    // On the main display.
    EXPECT_EQ(rootToCapture(QPointF(1080, 400), displays), QPointF(0, 0));
    EXPECT_EQ(rootToScreen(QPointF(1080, 1480), displays), QPointF(0, 0));
    // On the scale-2 display, 200 pixels are 100 points.
    EXPECT_EQ(rootToCapture(QPointF(3200, 500), displays), QPointF(2020, 50));
    EXPECT_EQ(captureToRoot(QPointF(2020, 50), displays), QPointF(3200, 500));
    // capture and screen: y' = H - y with H the main display's height.
    EXPECT_EQ(captureToScreen(QPointF(30, 80), displays), QPointF(30, 1000));
    EXPECT_EQ(screenToCapture(QPointF(30, 1000), displays), QPointF(30, 80));
}

TEST(Displays, RectanglesConvertWithTheDisplayOfTheirCentre)
{
    const QList<Display> displays = layout();
    EXPECT_EQ(rootToCapture(QRectF(1180, 500, 400, 300), displays), QRectF(100, 100, 400, 300));
    EXPECT_EQ(rootToScreen(QRectF(1180, 500, 400, 300), displays), QRectF(100, 680, 400, 300));
    EXPECT_EQ(screenToRoot(QRectF(100, 680, 400, 300), displays), QRectF(1180, 500, 400, 300));
    EXPECT_EQ(captureToScreen(QRectF(100, 100, 400, 300), displays), QRectF(100, 680, 400, 300));
    EXPECT_EQ(screenToCapture(QRectF(100, 680, 400, 300), displays), QRectF(100, 100, 400, 300));
    // A window straddling the left and the main display, mostly on the left one.
    EXPECT_EQ(rootToCapture(QRectF(900, 600, 200, 100), displays), QRectF(-180, 200, 200, 100));
    EXPECT_EQ(rootToCapture(QRectF(3200, 600, 400, 200), displays), QRectF(2020, 100, 200, 100));
    EXPECT_EQ(captureToRoot(QRectF(2020, 100, 200, 100), displays), QRectF(3200, 600, 400, 200));
    // Outside every display: the main display's origin and scale.
    EXPECT_EQ(rootToCapture(QRectF(100, 5000, 10, 10), displays), QRectF(-980, 4600, 10, 10));
}

TEST(Displays, WithoutDisplaysRootIsCaptureAndTheMainHeightIs1000)
{
    EXPECT_EQ(rootToCapture(QPointF(5, 10), {}), QPointF(5, 10));
    EXPECT_EQ(captureToScreen(QPointF(5, 10), {}), QPointF(5, 990));
    EXPECT_EQ(captureToScreen(QRectF(0, 100, 50, 200), {}), QRectF(0, 700, 50, 200));
}

TEST(Displays, PixelLengthsTruncateAndNeverDropBelowOne)
{
    EXPECT_EQ(pixelSize(QSizeF(1512, 982), 2.0), QSize(3024, 1964));
    EXPECT_EQ(pixelLength(333, 1.25), 416);
    EXPECT_EQ(pixelLength(2.9, 1.0), 2);
    EXPECT_EQ(pixelLength(0.3, 1.0), 1);
    EXPECT_EQ(pixelLength(-5, 1.0), 1);
    EXPECT_EQ(pixelLength(NAN, 2.0), 1);
    EXPECT_EQ(pixelLength(1e300, 2.0), INT_MAX);
}

TEST(Displays, LookupsFallBackToTheMainDisplayThenNothing)
{
    const QList<Display> displays = layout();
    EXPECT_EQ(displayForId(displays, 3)->id, 3u);
    EXPECT_EQ(displayForId(displays, 99)->id, 1u);
    EXPECT_FALSE(displayForId({}, 1).has_value());

    // x = 0 is the main display's left edge and belongs to it; just left of it is the left display.
    EXPECT_EQ(displayContaining(displays, QPointF(0, 500))->id, 1u);
    EXPECT_EQ(displayContaining(displays, QPointF(-0.5, 500))->id, 2u);
    EXPECT_EQ(displayContaining(displays, QPointF(-500, -300))->id, 2u);
    // Above the main display, beside the taller one: no display, so the main one.
    EXPECT_EQ(displayContaining(displays, QPointF(500, 1200))->id, 1u);
    EXPECT_FALSE(displayContaining({}, QPointF(0, 0)).has_value());
}

namespace {

class FixedDisplays : public Displays {
public:
    QList<Display> list;
    std::optional<QPointF> pointer;
    QList<Display> displays() const override { return list; }
    std::optional<QPointF> pointerLocation() const override { return pointer; }
};

} // namespace

TEST(Displays, DisplayUnderPointerUsesTheMainDisplayWhenThePointerIsUnknown)
{
    FixedDisplays displays;
    EXPECT_FALSE(displays.displayUnderPointer().has_value());
    displays.list = layout();
    EXPECT_EQ(displays.displayUnderPointer()->id, 1u);
    displays.pointer = QPointF(-100, 0);
    EXPECT_EQ(displays.displayUnderPointer()->id, 2u);
    EXPECT_EQ(displays.display(3)->id, 3u);
    EXPECT_EQ(displays.mainDisplay()->id, 1u);
}

TEST(Displays, TheSnapshotCountsAResizedDesktopAsAChangeEvenWithTheSameDisplays)
{
    DisplaySnapshot snapshot;
    EXPECT_TRUE(snapshot.set(layout(), QSize(6840, 2560)));
    EXPECT_FALSE(snapshot.set(layout(), QSize(6840, 2560)));

    // The desktop grows past its displays (RandR's screen size alone): readers see the same
    // displays, but the change is reported.
    EXPECT_TRUE(snapshot.set(layout(), QSize(7000, 2600)));
    EXPECT_EQ(snapshot.get(), layout());
    EXPECT_FALSE(snapshot.set(layout(), QSize(7000, 2600)));

    QList<Display> moved = layout();
    moved[1].rootRect.translate(0, 10);
    EXPECT_TRUE(snapshot.set(arrangeDisplays(moved), QSize(7000, 2600)));
    EXPECT_EQ(snapshot.get(), arrangeDisplays(moved));
}
