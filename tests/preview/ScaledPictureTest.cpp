// Captures shown scaled: a very large one first sampled pixel by pixel and smoothed on a worker
// thread, a normal one smoothed on the spot. A one-pixel checkerboard tells them apart: sampled,
// it stays black and white; smoothed, it turns grey.

#include "preview/ScaledPicture.h"
#include "platform/Background.h"
#include "preview/PreviewMediaView.h"
#include "support/BackgroundSettled.h"
#include "support/WaitUntil.h"

#include <QColor>
#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QThreadPool>
#include <gtest/gtest.h>
#include <vector>

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

// What the caller gets when told the smooth picture is in, at the size it shows.
struct Arrival {
    QImage picture;
    bool smooth = false;
};

// Lets every job on the background threads end without handling what they posted: a smoothing
// finished now waits in the event queue ahead of anything started after.
bool backgroundJobsEnded()
{
    return platform::backgroundThreads()->waitForDone(20000);
}

bool allRed(const QImage &picture)
{
    for (const QPoint point : {QPoint(2, 2), picture.rect().center(),
                               QPoint(picture.width() - 3, picture.height() - 3)}) {
        if (picture.pixelColor(point) != QColor(200, 20, 20))
            return false;
    }
    return true;
}

TEST(ScaledPicture, ASmoothingOverTakenByAnotherImageOrSizeIsDropped)
{
    QObject owner;
    std::vector<Arrival> arrivals;
    QSize asked = shown;
    ScaledPicture picture(&owner, [&] {
        arrivals.push_back({picture.at(asked, 1.0).toImage(), picture.isSmooth()});
    });
    const QSize smaller(300, 150);
    // The older smoothing is already in the queue when the newer one is asked for, so it is
    // handled first: once the newer one is in, the older one had its chance to show.

    // Another size: only the picture at the new size arrives.
    picture.setImage(checkerboard(large));
    picture.at(shown, 1.0);
    ASSERT_TRUE(backgroundJobsEnded());
    arrivals.clear();
    asked = smaller;
    picture.at(smaller, 1.0);
    ASSERT_TRUE(waitUntil([&] { return !arrivals.empty(); }, 20000));
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_TRUE(arrivals[0].smooth);
    EXPECT_EQ(arrivals[0].picture.size(), smaller);
    EXPECT_EQ(greyPoints(arrivals[0].picture), pointsSampled(arrivals[0].picture));

    // Another image at the same size: only the new image's picture arrives.
    asked = shown;
    picture.at(shown, 1.0);
    ASSERT_TRUE(backgroundJobsEnded());
    arrivals.clear();
    QImage red(large, QImage::Format_RGB32);
    red.fill(QColor(200, 20, 20));
    picture.setImage(red);
    picture.at(shown, 1.0);
    ASSERT_TRUE(waitUntil([&] { return !arrivals.empty(); }, 20000));
    ASSERT_EQ(arrivals.size(), 1u);
    EXPECT_TRUE(arrivals[0].smooth);
    EXPECT_EQ(arrivals[0].picture.size(), shown);
    EXPECT_TRUE(allRed(arrivals[0].picture)) << "the picture of the image before";

    // A normal capture is smoothed on the spot, without a worker.
    arrivals.clear();
    picture.setImage(checkerboard(QSize(1200, 600)));
    const QImage normal = picture.at(shown, 1.0).toImage();
    EXPECT_TRUE(picture.isSmooth());
    EXPECT_EQ(greyPoints(normal), pointsSampled(normal));
    ASSERT_TRUE(backgroundSettled());
    EXPECT_TRUE(arrivals.empty());
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
