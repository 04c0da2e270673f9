#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "support/TempDirScope.h"
#include "tray/CaptureTrayItemView.h"
#include "tray/CaptureTrayItemViewPictures.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using Kind = CaptureItemState::Kind;

CaptureItemState stateOf(Kind kind)
{
    switch (kind) {
    case Kind::pending:
        return CaptureItemState::pending();
    case Kind::saving:
        return CaptureItemState::saving();
    case Kind::copying:
        return CaptureItemState::copying();
    case Kind::deleting:
        return CaptureItemState::deleting();
    case Kind::saved:
        return CaptureItemState::saved("a.png");
    case Kind::failed:
        return CaptureItemState::failed(CaptureActionError::saveFailed("disk full"));
    }
    return {};
}

QImage render(QWidget &widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
    return image;
}

class CellTest : public ::testing::Test {
protected:
    CaptureItem shot(QColor color = Qt::white, QSize size = {54, 38})
    {
        return makeScreenshot(filledImage(size.width(), size.height(), color));
    }
    CaptureItem recording() { return makeRecording(tmp.path() + "/movie.mp4"); }
    // The picture's frame in widget coordinates.
    static QPoint inFrame(double x, double y)
    {
        const int room = CaptureTrayItemView::shadowRoom();
        return QPoint(room + int(x), room + int(y));
    }

    TempDirScope tmp;
    TrayThumbnailCache pictures;
    int selections = 0;
};

} // namespace

TEST_F(CellTest, ThePlayBadgeMarksRecordingsAndTheBusyLayerRunningActions)
{
    const CaptureItem screenshot = shot();
    const CaptureItem movie = recording();
    for (Kind kind :
         {Kind::pending, Kind::saving, Kind::copying, Kind::deleting, Kind::saved, Kind::failed}) {
        const bool busy = kind == Kind::saving || kind == Kind::copying || kind == Kind::deleting;
        for (CaptureItem item : {screenshot, movie}) {
            item.setState(stateOf(kind));
            CaptureTrayItemView cell(item, false, {}, pictures);
            EXPECT_EQ(cell.showsPlayBadge(), item.isVideo());
            EXPECT_EQ(cell.showsBusyLayer(), busy) << int(kind);
        }
    }
}

TEST_F(CellTest, ABusyRecordingIsDimmedAboveItsBadge)
{
    CaptureItem item = shot(Qt::white);
    CaptureTrayItemView idle(item, false, {}, pictures);
    const QImage plain = render(idle);
    EXPECT_GT(qGray(plain.pixel(inFrame(27, 19))), 240);

    item.setState(CaptureItemState::saving());
    CaptureTrayItemView busy(item, false, {}, pictures);
    // The spinner leaves the middle free: half-dark white.
    const int dimmed = qGray(render(busy).pixel(inFrame(27, 19)));
    EXPECT_GT(dimmed, 100);
    EXPECT_LT(dimmed, 150);

    CaptureItem movie = recording();
    CaptureTrayItemView badge(movie, false, {}, pictures);
    // Just below the play symbol, inside the 16-point badge 4 points in from the corner.
    const QPoint belowSymbol = inFrame(54 - 12, 38 - 12 + 6);
    const int badged = qGray(render(badge).pixel(belowSymbol));
    movie.setState(CaptureItemState::copying());
    badge.setItem(movie);
    EXPECT_LT(qGray(render(badge).pixel(belowSymbol)), badged);
}

TEST_F(CellTest, AnOddlyShapedThumbnailIsLetterBoxedInsideTheBorder)
{
    CaptureTrayItemView cell(shot(Qt::red, {200, 40}), false, {}, pictures);
    const QImage image = render(cell);
    const QColor middle = image.pixelColor(inFrame(27, 19));
    EXPECT_GT(middle.red(), 240);
    EXPECT_LT(middle.green(), 20);
    // Above the picture the frame is see-through, apart from a little shadow.
    EXPECT_LT(image.pixelColor(inFrame(27, 6)).alpha(), 90);
    // The faint white border still runs along the whole frame.
    const QColor border = image.pixelColor(inFrame(27, 0));
    EXPECT_GT(border.alpha(), 15);
    EXPECT_GT(border.lightness(), 150);
}

TEST_F(CellTest, AClickAnywhereOnThePictureSelectsOnce)
{
    CaptureItem item = shot();
    item.setState(CaptureItemState::deleting());
    CaptureTrayItemView cell(
        item, false, [this] { ++selections; }, pictures);
    cell.show();
    QTest::mouseClick(&cell, Qt::LeftButton, {}, inFrame(27, 19));
    EXPECT_EQ(selections, 1);
    QTest::mouseClick(&cell, Qt::LeftButton, {}, inFrame(1, 1));
    EXPECT_EQ(selections, 2);
    // Only the shadow lies outside the frame.
    QTest::mouseClick(&cell, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(selections, 2);
}

TEST_F(CellTest, ADragIsNotAClick)
{
    CaptureTrayItemView cell(
        shot(), false, [this] { ++selections; }, pictures);
    cell.show();
    QSignalSpy drags(&cell, &TrayThumbnailButton::dragStarted);
    const QPoint from = inFrame(10, 10);
    QTest::mousePress(&cell, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, from + QPoint(30, 0),
                     cell.mapToGlobal(from + QPoint(30, 0)), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(&cell, &move);
    QApplication::sendEvent(&cell, &move);
    QTest::mouseRelease(&cell, Qt::LeftButton, {}, from);
    EXPECT_EQ(drags.count(), 1);
    EXPECT_EQ(selections, 0);
}

TEST_F(CellTest, HoverCountsOnlyOverThePicture)
{
    CaptureTrayItemView cell(shot(), false, {}, pictures);
    cell.show();
    QSignalSpy hovers(&cell, &TrayThumbnailButton::hoverChanged);
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&cell, &enter);
    EXPECT_EQ(hovers.count(), 0);
    QMouseEvent move(QEvent::MouseMove, inFrame(5, 5), cell.mapToGlobal(inFrame(5, 5)),
                     Qt::NoButton, Qt::NoButton, {});
    QApplication::sendEvent(&cell, &move);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&cell, &leave);
    ASSERT_EQ(hovers.count(), 2);
    EXPECT_TRUE(hovers[0][0].toBool());
    EXPECT_FALSE(hovers[1][0].toBool());
}

TEST_F(CellTest, TheAccessibilityLabelNamesTheKindAndTheTimeWithSeconds)
{
    const QLocale previous;
    QLocale::setDefault(QLocale::c());
    const QDateTime createdAt(QDate(2026, 3, 4), QTime(9, 7, 5));
    const CaptureItem screenshot = makeScreenshot(filledImage(10, 10, Qt::gray), createdAt);
    const CaptureItem movie = makeRecording(tmp.path() + "/m.mp4", createdAt);
    EXPECT_EQ(captureAccessibilityLabel(screenshot), "Screenshot from 09:07:05");
    EXPECT_EQ(captureAccessibilityLabel(movie), "Screen recording from 09:07:05");

    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QString american = captureAccessibilityLabel(movie);
    EXPECT_TRUE(american.startsWith("Screen recording from 9:07:05")) << american.toStdString();
    EXPECT_FALSE(american.contains("2026"));
    QLocale::setDefault(previous);

    CaptureTrayItemView cell(screenshot, false, {}, pictures);
    EXPECT_EQ(cell.accessibleName(), captureAccessibilityLabel(screenshot));
}

TEST_F(CellTest, PicturesAreMadeOncePerCaptureAndLookAndDroppedWithTheCapture)
{
    TempDirScope scope;
    const CaptureItem a = shot(Qt::red), b = shot(Qt::blue);
    int made = 0;
    const auto make = [&](const QImage &thumbnail) {
        ++made;
        return QPixmap::fromImage(thumbnail);
    };
    const qint64 first = pictures.picture(a, "x", make).cacheKey();
    EXPECT_EQ(pictures.picture(a, "x", make).cacheKey(), first);
    pictures.picture(a, "y", make);
    pictures.picture(b, "x", make);
    EXPECT_EQ(made, 3);

    // An edited capture keeps its identifier but brings a new thumbnail.
    CaptureQueue queue(5);
    queue.enqueue(a);
    queue.updateImage(a.id(), filledImage(40, 40, Qt::green));
    pictures.picture(queue.items().first(), "x", make);
    EXPECT_EQ(made, 4);
    EXPECT_EQ(pictures.count(), 3);

    pictures.retain({b.id()});
    EXPECT_EQ(pictures.count(), 1);
}
