// Captures shown scaled: a very large one first sampled pixel by pixel and smoothed on a worker
// thread, a normal one smoothed on the spot. A one-pixel checkerboard tells them apart: sampled,
// it stays black and white; smoothed, it turns grey.

#include "preview/ScaledPicture.h"
#include "preview/PreviewMediaView.h"
#include "support/WaitUntil.h"

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <gtest/gtest.h>

namespace {

QImage checkerboard(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<quint32 *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = (x + y) % 2 ? 0xffffffffu : 0xff000000u;
    }
    return image;
}

// Points of the picture that are neither near black nor near white: the mark of smoothing.
int greyPoints(const QImage &picture)
{
    int grey = 0;
    for (int y = 2; y < picture.height() - 2; y += 7) {
        for (int x = 2; x < picture.width() - 2; x += 7) {
            const int value = qGray(picture.pixel(x, y));
            if (value > 60 && value < 195)
                ++grey;
        }
    }
    return grey;
}

int pointsSampled(const QImage &picture)
{
    return ((picture.height() - 5) / 7 + 1) * ((picture.width() - 5) / 7 + 1);
}

const QSize large(6000, 3000);
const QSize shown(600, 300);

TEST(ScaledPicture, ALargeImageIsSampledAtOnceAndSmoothedOnAWorker)
{
    QObject owner;
    int smoothed = 0;
    ScaledPicture picture(&owner, [&] { ++smoothed; });
    picture.setImage(checkerboard(large));
    const QImage quick = picture.at(shown, 1.0).toImage();
    EXPECT_EQ(quick.size(), shown);
    EXPECT_FALSE(picture.isSmooth());
    EXPECT_EQ(greyPoints(quick), 0) << "sampled: only black and white";

    ASSERT_TRUE(waitUntil([&] { return smoothed == 1; }, 20000));
    const QImage smooth = picture.at(shown, 1.0).toImage();
    EXPECT_TRUE(picture.isSmooth());
    EXPECT_EQ(smooth.size(), shown);
    EXPECT_EQ(greyPoints(smooth), pointsSampled(smooth)) << "smoothed: grey everywhere";
}

TEST(ScaledPicture, ASmoothingOverTakenByAnotherImageOrSizeIsDropped)
{
    QObject owner;
    int smoothed = 0;
    ScaledPicture picture(&owner, [&] { ++smoothed; });
    picture.setImage(checkerboard(large));
    picture.at(shown, 1.0);
    // Another image before the first is smoothed: only the new one's picture arrives.
    QImage red(large, QImage::Format_RGB32);
    red.fill(QColor(200, 20, 20));
    picture.setImage(red);
    picture.at(QSize(300, 150), 1.0);
    ASSERT_TRUE(waitUntil([&] { return smoothed >= 1; }, 20000));
    QTest::qWait(300);
    EXPECT_EQ(smoothed, 1);
    const QImage shownNow = picture.at(QSize(300, 150), 1.0).toImage();
    EXPECT_EQ(shownNow.size(), QSize(300, 150));
    EXPECT_EQ(shownNow.pixelColor(150, 75), QColor(200, 20, 20));

    // A normal capture is smoothed on the spot, without a worker.
    picture.setImage(checkerboard(QSize(1200, 600)));
    const QImage normal = picture.at(shown, 1.0).toImage();
    EXPECT_TRUE(picture.isSmooth());
    EXPECT_EQ(greyPoints(normal), pointsSampled(normal));
    QTest::qWait(100);
    EXPECT_EQ(smoothed, 1);
}

// Counts the paints a widget gets.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

TEST(ScaledPicture, ThePreviewRepaintsOnceTheSmoothPictureIsIn)
{
    PreviewMediaView view;
    PaintCounter counter;
    view.installEventFilter(&counter);
    view.resize(640, 360);
    view.setImage(checkerboard(large));
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    // Nothing but the smooth picture coming in asks for a second paint.
    ASSERT_TRUE(waitUntil([&] { return counter.paints >= 2; }, 20000));
    const QImage now =
        view.grab(view.pictureRect().toAlignedRect().adjusted(12, 12, -12, -12)).toImage();
    EXPECT_EQ(greyPoints(now), pointsSampled(now));
}

} // namespace
