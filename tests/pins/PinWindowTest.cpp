#include "PinTestSupport.h"

#include "model/CaptureTestSupport.h"
#include "pins/PinContentView.h"
#include "pins/PinWindowController.h"
#include "support/AnimationClock.h"
#include "support/FileOpens.h"
#include "support/WaitUntil.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFile>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

namespace {

using Button = PinContentView::Button;

// Floating pins over doubles: a 2.0 display of 1440 × 900 points whose visible frame is
// (0, 0, 1440, 875), no compositor (fades end at once).
class PinWindowTest : public ::testing::Test {
protected:
    PinWindowTest()
    {
        model.displays->set({FakeDisplays::make(1, QRect(0, 0, 2880, 1800), 2.0, true)});
    }

    std::shared_ptr<PinWindowController> open(const PinItemPtr &item)
    {
        PinWindowServices services;
        services.displays = model.displays;
        services.panels = model.panels;
        services.actions = model.services().actions;
        services.earlierHeights = [this](const PinWindowController *window) {
            return manager.earlierHeights(window);
        };
        auto controller = std::make_shared<PinWindowController>(
            item, model.settings, [this](PinWindowController *closed) { this->closed << closed; },
            services);
        manager.addActivePin(controller);
        return controller;
    }

    PinModel model;
    PinManager manager{model.settings, model.services()};
    QList<PinWindowController *> closed;
};

TEST_F(PinWindowTest, WindowsFitTheirPictureAndCascadeFromTheCorner)
{
    AnimationClock animations;
    const auto a = open(imagePin(Qt::red)); // 80 × 60 pixels: 120 × 120 points
    const auto b = open(
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(1600, 900, Qt::green))));
    const auto c = open(
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(600, 1200, Qt::blue))));
    EXPECT_EQ(a->displaySize(), QSizeF(120, 120));
    EXPECT_EQ(b->displaySize(), QSizeF(400, 225));
    EXPECT_EQ(c->displaySize(), QSizeF(200, 400));
    EXPECT_EQ(b->displayImage().size(), QSize(800, 450)) << "drawn for the display's pixels";

    // Top right, padding 20: the third window goes below 120 + 16 and 225 + 16.
    EXPECT_EQ(c->frame(model.displays->mainDisplay(), 2.0),
              QRectF(1440 - 200 - 20, 875 - 400 - 20 - 377, 200, 400));
    c->show();
    ASSERT_NE(c->window(), nullptr);
    EXPECT_EQ(c->window()->geometry(), QRect(1220, 900 - 78 - 400, 200, 400));
    // A shown window glides to its new corner.
    model.settings.setPinPlacement(PinPlacement::bottomLeft);
    animations.advanceBy(64);
    const QPoint midway = c->window()->geometry().topLeft();
    EXPECT_TRUE(1220 > midway.x() && midway.x() > 20) << midway.x();
    EXPECT_TRUE(900 - 78 - 400 > midway.y() && midway.y() > 900 - 397 - 400) << midway.y();
    animations.advanceBy(200);
    EXPECT_EQ(c->window()->geometry().topLeft(), QPoint(20, 900 - 397 - 400));
}

// A pinned capture whose picture lives on disk is decoded away from the main thread: its
// thumbnail shows until then, its picture after.
TEST_F(PinWindowTest, APinnedCapturesPictureOnDiskIsDecodedInTheBackground)
{
    const QImage picture = noisyImage(400, 225, 7);
    const CaptureItem capture = makeScreenshot(picture);
    FileOpens opens(capture.storedImage(QDeadlineTimer(10000)).pngPath);
    PoolBlocker pool;
    const auto window = open(PinItem::fromCapture(capture));
    EXPECT_EQ(opens.count(), 0);
    EXPECT_FALSE(window->displayImage().isNull()) << "its thumbnail";
    pool.release();
    const auto shown = [&] {
        const QImage image = window->displayImage().convertToFormat(QImage::Format_RGB32);
        return image ==
               picture.scaled(image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    };
    EXPECT_TRUE(waitUntil(shown));
}

TEST_F(PinWindowTest, GhostModeOnlyChangesTheOpacityAndFadesThePictureThere)
{
    AnimationClock animations;
    model.settings.setPinDefaultGhostMode(true);
    model.settings.setPinDefaultOpacity(0.8);
    const auto pin = open(imagePin(Qt::red));
    EXPECT_TRUE(pin->isGhostMode());
    EXPECT_EQ(pin->opacity(), 0.45);
    pin->show();
    const auto pictureAlpha = [&] {
        QWidget *view = pin->window();
        return qAlpha(view->grab().toImage().pixel(view->rect().center()));
    };
    // 0.2 s, easing in and out.
    const auto faded = [](double from, double to, int ms) {
        const double p = ms / 200.0;
        return from + (to - from) * (p < 0.5 ? 2 * p * p : 1 - 2 * (1 - p) * (1 - p));
    };
    const int ghostly = pictureAlpha();
    pin->toggleGhostMode();
    EXPECT_FALSE(pin->isGhostMode());
    EXPECT_EQ(pin->opacity(), 0.8);
    animations.advanceBy(48);
    EXPECT_NEAR(pin->pictureOpacity(), faded(0.45, 0.8, 48), 0.01);
    animations.advanceBy(48);
    const int midway = pictureAlpha();
    animations.advanceBy(48);
    EXPECT_NEAR(pin->pictureOpacity(), faded(0.45, 0.8, 144), 0.01);
    animations.advanceBy(56);
    EXPECT_EQ(pin->pictureOpacity(), 0.8);
    EXPECT_LT(ghostly, midway);
    EXPECT_LT(midway, pictureAlpha());
    model.settings.setPinPadding(30);
    EXPECT_TRUE(pin->isGhostMode()) << "a settings change brings the default back";
    EXPECT_EQ(pin->pictureOpacity(), 0.45);
    EXPECT_FALSE(pin->window()->testAttribute(Qt::WA_TransparentForMouseEvents));
    // Long after everything settled, a toggle fades alike.
    animations.advanceBy(500);
    pin->toggleGhostMode();
    animations.advanceBy(96);
    EXPECT_NEAR(pin->pictureOpacity(), faded(0.45, 0.8, 96), 0.01);
}

TEST_F(PinWindowTest, ClosesByItselfAfterTheDelayUnlessClosedFirst)
{
    const auto never = open(imagePin(Qt::red));
    never->show();
    EXPECT_FALSE(never->isAutoClosePending()) << "0 never closes";

    model.settings.setPinAutoCloseDelay(0.05);
    const auto soon = open(imagePin(Qt::green));
    soon->show();
    EXPECT_TRUE(soon->isAutoClosePending());
    EXPECT_TRUE(waitUntil([&] { return closed.contains(soon.get()); }, 2000));
    EXPECT_EQ(soon->window(), nullptr);

    AnimationClock animations;
    const auto byHand = open(imagePin(Qt::blue));
    byHand->show();
    byHand->teardown();
    EXPECT_FALSE(byHand->isAutoClosePending());
    animations.advanceBy(200); // past the fade-out
    EXPECT_EQ(closed.count(byHand.get()), 1);
    animations.advanceBy(200);
    EXPECT_EQ(closed.count(byHand.get()), 1);
}

TEST_F(PinWindowTest, TheViewOffersTheActionsOfItsKindOfPin)
{
    const auto image = open(imagePin(Qt::red));
    image->show();
    auto *imageView = qobject_cast<PinContentView *>(image->window());
    ASSERT_NE(imageView, nullptr);
    EXPECT_EQ(imageView->buttons(), (QList<Button>{Button::ghost, Button::copy, Button::save,
                                                   Button::open, Button::close}));
    EXPECT_EQ(imageView->contextMenuItems(),
              (QStringList{"Copy", "Save Image...", "Ghost Mode", "", "Close Pin"}));
    EXPECT_FALSE(imageView->infoText());

    const QString path = model.tempDir.path() + "/notes.txt";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("hello");
    file.close();
    const auto filePin =
        open(std::make_shared<const PinItem>(PinContent::makeFile(QUrl::fromLocalFile(path))));
    filePin->show();
    auto *fileView = qobject_cast<PinContentView *>(filePin->window());
    EXPECT_EQ(fileView->buttons(), (QList<Button>{Button::ghost, Button::copy, Button::reveal,
                                                  Button::open, Button::close}));
    filePin->toggleGhostMode();
    EXPECT_EQ(fileView->contextMenuItems(),
              (QStringList{"Copy", "Open", "Show in Folder", "Solid Mode", "", "Close Pin"}));
    ASSERT_TRUE(fileView->infoText());
    EXPECT_TRUE(fileView->infoText()->contains(" • "));

    model.settings.setPinBorderColor(PinBorderColor::accent);
    model.settings.setAccentTheme(AccentTheme::monochrome);
    EXPECT_EQ(fileView->borderColor(), color(AccentTheme::monochrome));

    // Copying a file pin offers its file; closing announces the pin and unlists it.
    fileView->trigger(Button::copy);
    EXPECT_EQ(model.pasteboard->calls.last(), "file(" + QUrl::fromLocalFile(path).toString() + ")");
    EXPECT_TRUE(fileView->justCopied());
    fileView->trigger(Button::close);
    EXPECT_EQ(model.deleted(), QList<QUuid>{filePin->item()->id()});
    EXPECT_EQ(manager.activePins().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return closed.contains(filePin.get()); }, 2000));
}

TEST_F(PinWindowTest, TheButtonsFadeInWithTheirHelpAndShowInFolderSelectsTheFile)
{
    AnimationClock animations;
    const QString path = model.tempDir.path() + "/notes.txt";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const auto image = open(imagePin(Qt::blue));
    const auto filePin =
        open(std::make_shared<const PinItem>(PinContent::makeFile(QUrl::fromLocalFile(path))));
    image->show();
    filePin->show();
    auto *imageView = qobject_cast<PinContentView *>(image->window());
    auto *fileView = qobject_cast<PinContentView *>(filePin->window());
    ASSERT_TRUE(imageView && fileView);

    // Inside the red close button, below its cross.
    const QPoint inClose = imageView->buttonRects().last().center().toPoint() + QPoint(0, 9);
    const auto closeRed = [&] { return QColor(imageView->grab().toImage().pixel(inClose)).red(); };
    const auto hover = [](PinContentView *view, bool inside) {
        if (inside) {
            QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)));
            QApplication::sendEvent(view, &enter);
        } else {
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(view, &leave);
        }
    };
    const int atRest = closeRed();
    hover(imageView, true);
    animations.advanceBy(64);
    const int fadingIn = closeRed();
    animations.advanceBy(150);
    const int shown = closeRed();
    EXPECT_LT(atRest, fadingIn);
    EXPECT_LT(fadingIn, shown);
    hover(imageView, false);
    animations.advanceBy(64);
    EXPECT_LT(closeRed(), shown);
    EXPECT_GT(closeRed(), atRest);
    animations.advanceBy(150);
    EXPECT_EQ(closeRed(), atRest);

    const auto helpAt = [](PinContentView *view, QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, view->mapToGlobal(at));
        QApplication::sendEvent(view, &help);
        return help.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    QStringList helps;
    hover(fileView, true);
    hover(imageView, true);
    animations.advanceBy(200);
    for (PinContentView *view : {imageView, fileView}) {
        for (const QRectF &rect : view->buttonRects())
            helps << helpAt(view, rect.center().toPoint());
    }
    EXPECT_EQ(helps, (QStringList{"Ghost Mode", "Copy", "Save Image", "Open", "Close Pin",
                                  "Ghost Mode", "Copy", "Show in Folder", "Open", "Close Pin"}));
    EXPECT_EQ(helpAt(imageView, QPoint(4, imageView->height() - 4)), QString());

    // Without a file manager that selects files, the folder opens.
    const QPoint onReveal = fileView->buttonRects()[2].center().toPoint();
    QTest::mouseClick(fileView, Qt::LeftButton, {}, onReveal);
    EXPECT_EQ(model.urlOpener->revealed, QList<QUrl>{QUrl::fromLocalFile(path)});
    EXPECT_EQ(model.urlOpener->opened, QList<QUrl>{QUrl::fromLocalFile(model.tempDir.path())});
}

TEST_F(PinWindowTest, TheManagerClosesFloatingWindowsWithoutAnnouncingOnCloseAll)
{
    const CaptureItem capture = makeCapture();
    const auto first = open(PinItem::fromCapture(capture));
    const auto second = open(imagePin(Qt::red));
    first->show();
    second->show();
    manager.unpin(capture.id());
    EXPECT_EQ(manager.activePins().size(), 1);
    EXPECT_EQ(model.deleted(), QList<QUuid>{capture.id()});
    manager.closeAll();
    EXPECT_TRUE(manager.activePins().isEmpty());
    EXPECT_EQ(model.deleted().size(), 1);
    EXPECT_TRUE(waitUntil([&] { return closed.size() == 2; }, 2000));
}

} // namespace
