#include "PinTestSupport.h"

#include "pins/PinAutoPinner.h"
#include "pins/PinStackContentView.h"
#include "pins/PinStackWindowController.h"
#include "support/WaitUntil.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

class PinAutoPinnerTest : public ::testing::Test {
protected:
    // Lets the queued deliveries of the queue's changes run.
    void settle() { QCoreApplication::processEvents(); }
    QList<QUuid> deckIds() const
    {
        QList<QUuid> ids;
        if (manager.stackController()) {
            for (const PinItemPtr &item : manager.stackController()->items())
                ids << item->id();
        }
        return ids;
    }

    PinModel model;
    PinManager manager{model.settings, model.services()};
    PinAutoPinner autoPinner{manager};
};

TEST_F(PinAutoPinnerTest, PinsEachNewCaptureOnceWhenOn)
{
    model.settings.setAutoPinEnabled(true);
    const CaptureItem waiting = makeCapture();
    model.queue.enqueue(waiting);
    autoPinner.start(model.queue, model.settings);
    settle();
    EXPECT_EQ(deckIds(), QList<QUuid>{waiting.id()}) << "the first delivery pins the first";

    const CaptureItem fresh = makeCapture();
    model.queue.enqueue(fresh);
    settle();
    model.queue.markSaving(fresh.id());
    settle();
    EXPECT_EQ(deckIds(), (QList<QUuid>{fresh.id(), waiting.id()}));
    EXPECT_EQ(autoPinner.lastProcessedItemID(), fresh.id());
    EXPECT_EQ(&manager.stackController()->settings(), &model.settings);
}

TEST_F(PinAutoPinnerTest, CapturesLeavingTheQueueLoseTheirPinsAlsoWhenOff)
{
    autoPinner.start(model.queue, model.settings);
    const CaptureItem a = makeCapture();
    const CaptureItem b = makeCapture();
    model.queue.enqueue(a);
    model.queue.enqueue(b);
    settle();
    EXPECT_TRUE(deckIds().isEmpty()) << "auto-pin is off";
    QCoro::waitFor(manager.pin(a));
    QCoro::waitFor(manager.pin(b));
    model.queue.remove(a.id());
    settle();
    EXPECT_EQ(deckIds(), QList<QUuid>{b.id()});
    EXPECT_TRUE(model.deleted().contains(a.id()));
    model.queue.clearAll();
    settle();
    EXPECT_TRUE(deckIds().isEmpty());
}

TEST_F(PinAutoPinnerTest, TurningItOnPinsNothingUntilANewCaptureArrives)
{
    autoPinner.start(model.queue, model.settings);
    const CaptureItem old = makeCapture();
    model.queue.enqueue(old);
    settle();
    model.settings.setAutoPinEnabled(true);
    settle();
    EXPECT_TRUE(deckIds().isEmpty());
    model.queue.markSaving(old.id());
    settle();
    EXPECT_TRUE(deckIds().isEmpty()) << "the capture was in the queue before";
    const CaptureItem fresh = makeCapture();
    model.queue.enqueue(fresh);
    settle();
    EXPECT_EQ(deckIds(), QList<QUuid>{fresh.id()});
}

TEST_F(PinAutoPinnerTest, ACaptureFirstAgainIsNotPinnedTwice)
{
    model.settings.setAutoPinEnabled(true);
    autoPinner.start(model.queue, model.settings);
    const CaptureItem older = makeCapture();
    const CaptureItem newer = makeCapture();
    model.queue.enqueue(older);
    settle();
    model.queue.enqueue(newer);
    settle();
    ASSERT_EQ(deckIds(), (QList<QUuid>{newer.id(), older.id()}));

    // Removing the newest pin drops its capture; the older one is first again.
    model.queue.remove(newer.id());
    settle();
    EXPECT_EQ(deckIds(), QList<QUuid>{older.id()}) << "one pin per capture";
    model.queue.markSaving(older.id());
    settle();
    EXPECT_EQ(deckIds(), QList<QUuid>{older.id()});
}

TEST_F(PinAutoPinnerTest, AMarkedUpCaptureShowsAndCopiesItsNewImageOnEveryPin)
{
    autoPinner.start(model.queue, model.settings);
    const CaptureItem secret = makeCapture(Qt::darkCyan);
    const CaptureItem other = makeCapture(Qt::yellow);
    model.queue.enqueue(other);
    model.queue.enqueue(secret);
    settle();
    QCoro::waitFor(manager.pin(other));
    QCoro::waitFor(manager.pin(secret));
    QCoro::waitFor(manager.pin(secret)); // two cards of one capture
    PinStackWindowController &deck = *manager.stackController();
    StackedMediaStack &stack = deck.view()->stack();
    const auto cardColours = [&] {
        waitUntil([&] { return !stack.isAnimating(); });
        const QImage frame = deck.view()->grab().toImage();
        QList<QColor> colours;
        const StackLayoutConfig &config = stack.config();
        for (int index = 0; index < stack.visibleCount(); ++index)
            colours << frame.pixelColor(
                StackLayout::cardTransform(config, stack.currentPoses()[index],
                                           stack.pileRect().center())
                    .map(QPointF(config.itemSize.width() / 2, config.itemSize.height() / 2))
                    .toPoint());
        return colours;
    };
    stack.setExpanded(true);
    ASSERT_EQ(cardColours(), (QList<QColor>{Qt::darkCyan, Qt::darkCyan, Qt::yellow}));

    model.queue.updateImage(secret.id(), solidImage(64, 40, Qt::black)); // redacted
    EXPECT_EQ(cardColours(), (QList<QColor>{Qt::black, Qt::black, Qt::yellow}));
    ASSERT_EQ(deck.items().size(), 3);
    EXPECT_EQ(deck.items()[0]->bitmap().pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(deck.items()[1]->bitmap().pixelColor(1, 1), QColor(Qt::black));
    EXPECT_EQ(deck.items()[0]->id(), secret.id());
    EXPECT_EQ(deck.items()[2]->bitmap().pixelColor(1, 1), QColor(Qt::yellow));
}

} // namespace
