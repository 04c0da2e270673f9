#include "PinTestSupport.h"

#include "pins/PinAutoPinner.h"
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
    PinManager manager{model.services()};
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
    manager.setSettings(&model.settings);
    manager.pin(a);
    manager.pin(b);
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

} // namespace
