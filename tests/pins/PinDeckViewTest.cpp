#include "PinTestSupport.h"

#include "model/CaptureTestSupport.h"
#include "pins/PinCardDrawing.h"
#include "pins/PinGeometry.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "support/AnimationClock.h"
#include "support/FileOpens.h"
#include "support/WaitUntil.h"

#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// What a drag of the card carries once it is made, or null when the card says why there is none.
std::unique_ptr<QMimeData> dragged(PinStackContentView &view, const QUuid &id)
{
    auto data = std::make_shared<std::unique_ptr<QMimeData>>();
    view.dragData(id, [data](QMimeData *made) { data->reset(made); });
    waitUntil([&] { return *data || view.noticeAbout(id).startsWith("Couldn't drag"); });
    return std::move(*data);
}

// The deck over doubles: pin size 100, pins of solid colours.
class PinDeckViewTest : public ::testing::Test {
protected:
    PinDeckViewTest()
    {
        model.settings.setPinSize(100);
        model.settings.setPinBorderWidth(0);
    }

    StackedMediaStack &stack() { return deck.view()->stack(); }
    QPoint centreOf(int index, QPointF inCard = {-1, -1})
    {
        waitUntil([this] { return !stack().isAnimating(); });
        const StackLayoutConfig &config = stack().config();
        if (inCard.x() < 0)
            inCard = QPointF(config.itemSize.width() / 2, config.itemSize.height() / 2);
        return StackLayout::cardTransform(config, stack().currentPoses()[index],
                                          stack().pileRect().center())
            .map(inCard)
            .toPoint();
    }
    QImage grab() { return deck.view()->grab().toImage(); }

    PinModel model;
    PinStackWindowController deck{model.settings, model.services()};
};

TEST_F(PinDeckViewTest, ThePanelSitsInTheCornerAndTakesInputOnlyOnThePile)
{
    deck.add(imagePin(Qt::red));
    QWidget *panel = deck.window();
    ASSERT_NE(panel, nullptr);
    // Pin size 100 at the top right: 972 wide, inset 20 from the visible frame's corner
    // (the display's top 25 points are not in it).
    EXPECT_EQ(panel->geometry(), QRect(448, 25 + 20, 972, 151));
    const std::optional<QRegion> input = model.panels->inputRegion(panel);
    ASSERT_TRUE(input);
    const QRect pile = stack().pileRect().toAlignedRect();
    EXPECT_EQ(pile.size(), QRectF(QPointF(), StackLayout::pileSize(stack().config(), 1, false))
                               .toAlignedRect()
                               .size());
    EXPECT_EQ(input->boundingRect(), QRect(972 - pile.width(), 0, pile.width(), pile.height()));

    model.settings.setPinPlacement(PinPlacement::bottomLeft);
    EXPECT_TRUE(
        waitUntil([&] { return panel->geometry().topLeft() == QPoint(20, 900 - 20 - 151); }));
    model.settings.setPinPadding(40);
    EXPECT_TRUE(
        waitUntil([&] { return panel->geometry().topLeft() == QPoint(40, 900 - 40 - 151); }));
    EXPECT_EQ(model.panels->inputRegion(panel)->boundingRect().bottomLeft(), QPoint(0, 150));
    model.settings.setPinSize(200);
    // 1864 points of deck from x = 40: cut at the display's edge; as tall as the fanned cards.
    const int tall = qRound(StackLayout::pileSize(PinGeometry::deckConfig(200), 1, true).height());
    EXPECT_GT(tall, 223);
    EXPECT_TRUE(
        waitUntil([&] { return panel->geometry() == QRect(40, 900 - 40 - tall, 1400, tall); }));
}

TEST_F(PinDeckViewTest, AShownDeckGlidesToItsNewCornerAndAHiddenOneMovesAtOnce)
{
    AnimationClock animations;
    deck.add(imagePin(Qt::red));
    QWidget *panel = deck.window();
    ASSERT_NE(panel, nullptr);
    const QRect topRight(448, 25 + 20, 972, 151);
    const QRect bottomLeft(20, 900 - 20 - 151, 972, 151);
    ASSERT_EQ(panel->geometry(), topRight);
    model.settings.setPinPlacement(PinPlacement::bottomLeft);
    QCoreApplication::processEvents();
    animations.advanceBy(64);
    const QRect midway = panel->geometry();
    EXPECT_TRUE(topRight.x() > midway.x() && midway.x() > bottomLeft.x()) << midway.x();
    EXPECT_TRUE(topRight.y() < midway.y() && midway.y() < bottomLeft.y()) << midway.y();
    animations.advanceBy(200);
    EXPECT_EQ(panel->geometry(), bottomLeft);

    // Hidden, as while a screenshot is taken.
    panel->hide();
    model.settings.setPinPlacement(PinPlacement::topRight);
    QCoreApplication::processEvents();
    EXPECT_EQ(panel->geometry(), topRight);
}

TEST_F(PinDeckViewTest, WithoutACompositorThePanelIsCutToItsCards)
{
    // The rounded corners are cut off too: a square corner there would show black. With one card,
    // no other card can cover the corner.
    deck.add(imagePin(Qt::red));
    const QPoint outerCorner = centreOf(0, QPointF(0.5, 0.5));
    const QPoint innerCorner = centreOf(0, QPointF(8, 8));
    EXPECT_FALSE(deck.window()->mask().contains(outerCorner));
    EXPECT_TRUE(deck.window()->mask().contains(innerCorner));

    deck.add(imagePin(Qt::green));
    const QPoint centre = centreOf(1);
    const QRegion mask = deck.window()->mask();
    ASSERT_FALSE(mask.isEmpty());
    EXPECT_TRUE(mask.contains(centre));
    const QRect pile = stack().pileRect().toAlignedRect();
    const auto area = [](const QRegion &region) {
        qint64 sum = 0;
        for (const QRect &rect : region)
            sum += qint64(rect.width()) * rect.height();
        return sum;
    };
    EXPECT_LT(area(mask), area(QRegion(pile))) << "the turned cards leave the frame's corners";
    EXPECT_TRUE(pile.contains(mask.boundingRect().center()));

    // In motion the cut follows the cards, frame by frame, never the whole frame.
    stack().setExpanded(true);
    ASSERT_TRUE(stack().isAnimating());
    bool sawMotion = false;
    while (stack().isAnimating()) {
        QTest::qWait(20);
        const QRegion moving = deck.window()->mask();
        EXPECT_LT(area(moving), area(QRegion(stack().pileRect().toAlignedRect())));
        sawMotion = true;
    }
    EXPECT_TRUE(sawMotion);
    EXPECT_EQ(deck.window()->mask(), stack().drawnShape());
}

TEST_F(PinDeckViewTest, ADisplayChangeMovesTheDeckToTheDisplayUnderThePointer)
{
    deck.add(imagePin(Qt::red));
    model.displays->change({FakeDisplays::make(7, QRect(0, 0, 800, 600), 1.0, true)});
    model.displays->setPointer(QPointF(10, 10));
    model.panels->defaultVisibleFrame.reset();
    EXPECT_TRUE(waitUntil([&] { return deck.window()->geometry() == QRect(0, 20, 780, 151); }));
}

TEST_F(PinDeckViewTest, CardsShowThePinsWithTheBorderAndOpacityOfTheSettings)
{
    deck.add(imagePin(Qt::red));
    const QPoint centre = centreOf(0);
    EXPECT_EQ(grab().pixelColor(centre), QColor(Qt::red));

    model.settings.setPinDefaultOpacity(0.5);
    const QColor half = grab().pixelColor(centre);
    EXPECT_NEAR(half.redF() * half.alphaF(), 0.5, 0.02);

    model.settings.setPinDefaultOpacity(1.0);
    model.settings.setAccentTheme(AccentTheme::green);
    model.settings.setPinBorderColor(PinBorderColor::accent);
    model.settings.setPinBorderWidth(6);
    const QPoint edge = centreOf(0, QPointF(50, 1.5));
    const QColor border = grab().pixelColor(edge);
    EXPECT_GT(border.alpha(), 200) << "the accent border is drawn, not clear";
    EXPECT_GT(border.green(), border.red());
}

TEST_F(PinDeckViewTest, TheCapsuleActsOnTheCardUnderThePointerOfTheFannedPile)
{
    const PinItemPtr a = imagePin(Qt::red);
    const PinItemPtr b = imagePin(Qt::blue);
    deck.add(a);
    deck.add(b); // first: b, a
    QWidget *view = &stack();
    const PinCardDrawing::Capsule capsule = PinCardDrawing::capsule(stack().config().itemSize, 3);
    // On the collapsed pile the capsule's place is only the card.
    QTest::mouseMove(view, centreOf(1, capsule.buttons[2].center()));
    QTest::mouseClick(view, Qt::LeftButton, {}, centreOf(1, capsule.buttons[2].center()));
    EXPECT_TRUE(stack().isExpanded());
    EXPECT_EQ(deck.items().size(), 2);
    ASSERT_TRUE(waitUntil([this] { return !stack().isAnimating(); }));

    // Copy on the first card, once the fan has settled under the pointer.
    QTest::mouseMove(view, centreOf(0));
    ASSERT_TRUE(waitUntil([this] { return stack().activeHoverID() && !stack().isAnimating(); }));
    const auto button = [this](int index) {
        return PinCardDrawing::uprightCapsule(stack().cardTransform(0), stack().config().itemSize,
                                              3)
            .buttons[index]
            .center()
            .toPoint();
    };
    QTest::mouseClick(view, Qt::LeftButton, {}, button(0));
    ASSERT_TRUE(waitUntil([this] { return !model.pasteboard->calls.isEmpty(); }));
    EXPECT_EQ(model.pasteboard->calls.first(), "offer(image/png,image/tiff)");
    EXPECT_EQ(deck.items().size(), 2);

    // Remove on the first card: announced, taken off, the other stays.
    QTest::mouseClick(view, Qt::LeftButton, {}, button(2));
    EXPECT_EQ(model.deleted(), QList<QUuid>{b->id()});
    ASSERT_EQ(deck.items().size(), 1);
    EXPECT_EQ(deck.items().first(), a);

    // A click on the card itself opens it.
    QTest::mouseMove(view, centreOf(0));
    QTest::mouseClick(view, Qt::LeftButton, {}, centreOf(0, QPointF(20, 20)));
    EXPECT_TRUE(waitUntil([this] { return model.urlOpener->opened.size() == 1; }));
}

TEST_F(PinDeckViewTest, CopyWithCloseOnCopyRemovesThePinAndClosesAnEmptyDeck)
{
    model.settings.setPinCloseOnCopy(true);
    const PinItemPtr only = imagePin(Qt::red);
    deck.add(only);
    deck.copyItem(only);
    EXPECT_TRUE(waitUntil([&] { return deck.window() == nullptr; }));
    EXPECT_EQ(model.deleted(), QList<QUuid>{only->id()});
}

TEST_F(PinDeckViewTest, APinWhoseFileWentStaysDrawnAndItsActionsSayWhyOnItsCard)
{
    model.settings.setPinCloseOnCopy(true);
    const CaptureItem capture = makeCapture(Qt::red);
    const QString file = capture.storedImage(QDeadlineTimer(10000)).pngPath;
    const PinItemPtr pinned = PinItem::fromCapture(capture);
    deck.add(imagePin(Qt::blue));
    deck.add(pinned); // first: pinned, blue
    stack().setExpanded(true);
    // The colour at a point of a card of the fanned pile, once the cards are at rest.
    const auto on = [this](int index, QPointF inCard = {-1, -1}) {
        waitUntil([this] { return !stack().isAnimating(); });
        const QSizeF size = stack().config().itemSize;
        if (inCard.x() < 0)
            inCard = QPointF(size.width() / 2, size.height() / 2);
        const QPoint point = stack().cardTransform(index).map(inCard).toPoint();
        return grab().pixelColor(point);
    };
    EXPECT_EQ(on(0), QColor(Qt::red));

    ASSERT_TRUE(QFile::remove(file));
    const QSizeF before = stack().config().itemSize;
    model.settings.setPinSize(140);
    ASSERT_TRUE(waitUntil([&] { return stack().config().itemSize != before; }));
    EXPECT_EQ(on(0), QColor(Qt::red)) << "redrawn, not grey";
    EXPECT_EQ(on(1), QColor(Qt::blue));

    // Each action finds out away from the main thread, then says why.
    const auto says = [&](const char *text) {
        return waitUntil([&] { return deck.view()->noticeAbout(pinned->id()) == text; });
    };
    deck.copyItem(pinned);
    EXPECT_TRUE(says("Couldn't copy (its picture can no longer be read)"));
    // Over the card: its top is covered by the message's dark plate.
    const QColor top = on(0, QPointF(stack().config().itemSize.width() / 2, 10));
    EXPECT_LT(top.red(), 100) << top.name().toStdString();
    EXPECT_EQ(deck.items().size(), 2) << "a pin that was not copied stays";
    deck.saveItem(pinned);
    EXPECT_TRUE(says("Couldn't save (its picture can no longer be read)"));
    deck.openItem(pinned);
    EXPECT_TRUE(says("Couldn't open (its picture can no longer be read)"));
    EXPECT_EQ(dragged(*deck.view(), pinned->id()), nullptr) << "no drag of nothing";
    EXPECT_TRUE(says("Couldn't drag (its picture can no longer be read)"));
    const std::unique_ptr<QMimeData> blue(dragged(*deck.view(), deck.items().last()->id()));
    ASSERT_NE(blue, nullptr);
    EXPECT_EQ(blue->urls().size(), 1);
    EXPECT_TRUE(model.pasteboard->calls.isEmpty());
    EXPECT_TRUE(model.sounds->calls.isEmpty());
    EXPECT_TRUE(model.savePanel->shown.isEmpty());
    EXPECT_TRUE(model.urlOpener->opened.isEmpty());
    EXPECT_TRUE(deck.view()->noticeAbout(deck.items().last()->id()).isEmpty());
}

// A pinned capture whose file kept its header but lost its body is neither opened nor dragged
// out, and its card says why; a pinned capture of another picture beside it opens as itself. The
// file is read once: neither the card's repaints nor the actions read it again, and the card
// does not go back to it, not even drawn at another size once the file changed.
TEST_F(PinDeckViewTest, APinWhoseFileNoLongerDecodesIsNotOpenedNorDraggedAndItsCardSaysWhy)
{
    const auto repaint = [this] {
        grab();
        platform::backgroundThreads()->waitForDone(10000);
        QCoreApplication::processEvents();
    };
    for (const Spoil damage : {Spoil::cut, Spoil::scrambled}) {
        SCOPED_TRACE(int(damage));
        const QImage picture = noisyImage(120, 80, 2 * quint32(damage));
        const CaptureItem broken = makeScreenshot(noisyImage(120, 80, 2 * quint32(damage) + 1));
        const PinItemPtr intact = PinItem::fromCapture(makeScreenshot(picture));
        const QString path = broken.storedImage(QDeadlineTimer(10000)).pngPath;
        ASSERT_TRUE(spoilFile(path, damage));
        FileOpens opens(path);
        const PinItemPtr spoilt = PinItem::fromCapture(broken);
        deck.add(intact);
        deck.add(spoilt); // first
        model.urlOpener->opened.clear();
        for (int times = 0; times < 8; ++times)
            repaint();
        EXPECT_EQ(opens.count(), 1) << "its card's picture is decoded once, not at every repaint";

        deck.openItem(spoilt);
        EXPECT_TRUE(waitUntil([&] {
            return deck.view()->noticeAbout(spoilt->id()) ==
                   "Couldn't open (its picture can no longer be read)";
        }));
        EXPECT_EQ(dragged(*deck.view(), spoilt->id()), nullptr) << "no drag of a broken file";
        EXPECT_EQ(deck.view()->noticeAbout(spoilt->id()),
                  "Couldn't drag (its picture can no longer be read)");

        deck.openItem(intact);
        ASSERT_TRUE(waitUntil([&] { return !model.urlOpener->opened.isEmpty(); }));
        ASSERT_EQ(model.urlOpener->opened.size(), 1) << "the broken file was not opened";
        EXPECT_EQ(QImage(model.urlOpener->opened.first().toLocalFile())
                      .convertToFormat(QImage::Format_RGB32),
                  picture);
        EXPECT_EQ(opens.count(), 1) << "what was found broken is not read again";

        for (int side = 110; side <= 130; side += 10) {
            const timespec touched[2] = {{side, 0}, {side, 0}}; // another version of the file
            ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), touched, 0), 0);
            const QSizeF card = stack().config().itemSize;
            model.settings.setPinSize(side);
            ASSERT_TRUE(waitUntil([&] { return stack().config().itemSize != card; }));
            repaint();
        }
        EXPECT_EQ(opens.count(), 1) << "a card that found nothing does not load again";
    }
}

// A card before the pressed one goes as its drag begins: the drag carries and shows the card.
TEST_F(PinDeckViewTest, ADragCarriesThePressedCardWhenACardBeforeItGoes)
{
    for (const QColor colour : {Qt::yellow, Qt::blue, Qt::green, Qt::red})
        deck.add(PinItem::fromCapture(makeCapture(colour))); // first: red, green, blue, yellow
    QList<QUrl> carried;
    QImage shown;
    stack().setDragRunner([&](QDrag &drag) {
        carried = drag.mimeData()->urls();
        shown = drag.pixmap().toImage();
        return Qt::CopyAction;
    });
    for (const bool whileMade : {false, true}) {
        stack().setExpanded(true);
        const QPoint at = centreOf(2);
        const QColor colour = deck.items()[2]->capture()->thumbnail().pixelColor(0, 0);
        carried.clear();
        PoolBlocker pool;
        QTest::mousePress(&stack(), Qt::LeftButton, {}, at);
        if (!whileMade)
            deck.remove(deck.items().first());
        QTest::mouseMove(&stack(), at + QPoint(40, 0));
        if (whileMade)
            deck.remove(deck.items().first());
        pool.release();
        EXPECT_TRUE(waitUntil([&] { return !carried.isEmpty(); }));
        QTest::mouseRelease(&stack(), Qt::LeftButton, {}, at);
        EXPECT_EQ(QImage(carried.value(0).toLocalFile()).convertToFormat(QImage::Format_RGB32),
                  solidImage(64, 40, colour).convertToFormat(QImage::Format_RGB32));
        EXPECT_EQ(shown.pixelColor(shown.rect().center()), colour);
    }
}

TEST_F(PinDeckViewTest, GhostModeDimsAllButTheHoveredCard)
{
    model.settings.setPinDefaultGhostMode(true);
    model.settings.setPinDefaultOpacity(0.9);
    deck.add(imagePin(Qt::red));
    deck.add(imagePin(Qt::red));
    stack().setExpanded(true);
    const QPoint first = centreOf(0, QPointF(20, 35));
    const QPoint second = centreOf(1, QPointF(80, 15)); // above the capsule
    QTest::mouseMove(&stack(), second);
    waitUntil([this] { return !stack().isAnimating(); });
    const QImage image = grab();
    // The red that shows through (the card's shadow darkens what is behind it).
    const auto red = [&image](QPoint point) {
        const QColor color = image.pixelColor(point);
        return color.redF() * color.alphaF();
    };
    EXPECT_NEAR(red(first), 0.3, 0.03);
    EXPECT_NEAR(red(second), 0.9, 0.03);
}

// Where the card at index lies on the screen (Qt coordinates), as drawn now.
QPolygonF cardOnScreen(StackedMediaStack &stack, int index)
{
    const QRectF card(QPointF(0, 0), stack.config().itemSize);
    return stack.cardTransform(index).map(QPolygonF(card)).translated(stack.mapToGlobal(QPoint()));
}

TEST_F(PinDeckViewTest, TheFanIsSlightAndEveryCardLiesWholeOnTheVisibleScreen)
{
    const QRectF visible(0, 25, 1440, 875); // the visible frame, in Qt coordinates
    for (const double size : {400.0, 1000.0})
        EXPECT_LE(PinGeometry::deckConfig(size).expandedSpread, 20.0) << size;

    for (const PinPlacement placement : {PinPlacement::topRight, PinPlacement::bottomLeft}) {
        PinModel corner;
        corner.settings.setPinSize(400);
        corner.settings.setPinPlacement(placement);
        PinStackWindowController pins(corner.settings, corner.services());
        for (int count = 1; count <= 8; count += 7) {
            pins.closeAll();
            for (int i = 0; i < count; ++i)
                pins.add(imagePin(QColor::fromHsv(i * 40, 200, 200)));
            StackedMediaStack &fan = pins.view()->stack();
            fan.setExpanded(true);
            ASSERT_TRUE(waitUntil([&] { return !fan.isAnimating(); }));
            const QRectF panel = pins.window()->geometry();
            EXPECT_TRUE(visible.contains(panel)) << count;
            for (int index = 0; index < count; ++index) {
                // Hovered, the card grows and lifts above the others: still whole.
                QTest::mouseMove(&fan, fan.cardTransform(index)
                                           .map(QPointF(fan.config().itemSize.width() * 0.1,
                                                        fan.config().itemSize.height() * 0.1))
                                           .toPoint());
                ASSERT_TRUE(waitUntil([&] { return !fan.isAnimating(); }));
                if (count > 1)
                    continue;
                EXPECT_LE(std::abs(fan.currentPoses()[index].rotation), 15.0) << "one card";
            }
            for (int index = 0; index < count; ++index) {
                const QPolygonF card = cardOnScreen(fan, index);
                EXPECT_TRUE(visible.adjusted(-0.5, -0.5, 0.5, 0.5).contains(card.boundingRect()))
                    << count << " " << index;
                EXPECT_TRUE(panel.adjusted(-0.5, -0.5, 0.5, 0.5).contains(card.boundingRect()))
                    << "not cut at the panel's edge: " << count << " " << index;
            }
        }
    }
}

TEST_F(PinDeckViewTest, TheCapsuleStandsUprightOnTheTurnedCard)
{
    model.settings.setPinSize(400);
    model.settings.setPinBorderWidth(0);
    for (int i = 0; i < 3; ++i)
        deck.add(imagePin(Qt::white));
    stack().setExpanded(true);
    QTest::mouseMove(&stack(), centreOf(0));
    ASSERT_TRUE(waitUntil([this] { return stack().activeHoverID() && !stack().isAnimating(); }));
    const QTransform card = stack().cardTransform(0);
    ASSERT_GT(std::abs(stack().currentPoses()[0].rotation), 3.0) << "the first card is turned";
    const PinCardDrawing::Capsule capsule =
        PinCardDrawing::uprightCapsule(card, stack().config().itemSize, 3);
    EXPECT_GE(capsule.buttons.first().height(), 16.0) << "symbols large enough to read";
    // Level: both ends of the capsule are dark on the white card, and it lies inside the card.
    const QImage image = grab();
    const QRectF frame = capsule.frame;
    for (const QPointF end : {QPointF(frame.left() + 6, frame.center().y()),
                              QPointF(frame.right() - 6, frame.center().y()),
                              QPointF(frame.center().x(), frame.top() + 2),
                              QPointF(frame.center().x(), frame.bottom() - 2)})
        EXPECT_LT(image.pixelColor(end.toPoint()).lightness(), 120) << end.x() << "," << end.y();
    const QPolygonF shape = card.map(QPolygonF(QRectF(QPointF(), stack().config().itemSize)));
    for (const QPointF corner :
         {frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight()})
        EXPECT_TRUE(shape.containsPoint(corner, Qt::OddEvenFill));

    // Its save-as asks with the deck's panel as the dialog's parent, so it opens above the cards.
    QTest::mouseClick(&stack(), Qt::LeftButton, {}, capsule.buttons[1].center().toPoint());
    ASSERT_EQ(model.savePanel->windows.size(), 1);
    EXPECT_EQ(model.savePanel->windows.first(), deck.window());

    // Its remove button takes the card off; it fades on the deck's close-up spring, as far as it
    // is 100 ms in.
    qint64 now = 0;
    stack().setClock([&now] { return now; });
    QTest::mouseClick(&stack(), Qt::LeftButton, {}, capsule.buttons[2].center().toPoint());
    EXPECT_EQ(deck.items().size(), 2);
    ASSERT_EQ(stack().leavingPoses().size(), 1);
    now = 100;
    EXPECT_TRUE(waitUntil([this] { return stack().leavingPoses()[0].opacity < 1; }));
    EXPECT_NEAR(stack().leavingPoses()[0].opacity,
                1 - PinStackWindowController::closeUpSpring.value(0.1), 0.01);
}

// A deck closed and dropped in one turn (the program quitting) takes its panel along: the
// panel's drawing ahead is still queued, and it reads the settings, which go next.
TEST(PinDeckLifetime, AClosedPanelGoesWithItsDeck)
{
    auto model = std::make_unique<PinModel>();
    QPointer<QWidget> panel;
    {
        PinStackWindowController deck(model->settings, model->services());
        deck.add(imagePin(Qt::red));
        deck.add(imagePin(Qt::blue));
        panel = deck.window();
        ASSERT_NE(panel, nullptr);
        deck.closeAll();
    }
    EXPECT_TRUE(panel.isNull());
    model.reset();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace
