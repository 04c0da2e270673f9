#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "support/AwaitError.h"
#include "support/TempDirScope.h"
#include "tray/CaptureTrayView.h"
#include "tray/TrayState.h"
#include "tray/TrayTestSupport.h"
#include "tray/TrayViewTestSupport.h"

#include <QFile>
#include <QMimeData>
#include <gtest/gtest.h>
#include <memory>

using namespace std::chrono_literals;

namespace {

class TrayInteractionsTest : public ::testing::Test {
protected:
    TrayInteractionsTest()
    {
        queue.enqueue(older);
        queue.enqueue(newer);
        interactions.setHoverScheduler(clock.scheduler());
    }

    TrayNeighbours neighbours()
    {
        TrayNeighbours n;
        n.preview = &preview;
        n.pinning = &pinning;
        return n;
    }

    TrayViewActions recordingActions()
    {
        TrayViewActions actions;
        actions.onSave = [this](const CaptureItem &item) { calls << "save " + name(item); };
        actions.onCopy = [this](const CaptureItem &item) { calls << "copy " + name(item); };
        actions.onDelete = [this](const CaptureItem &item) { calls << "delete " + name(item); };
        return actions;
    }

    static QMimeData *dragOf(TrayInteractions &tray, const CaptureItem &item)
    {
        return tray.makeDragProvider(item, awaited(item.prepareDragFile()));
    }

    QString name(const CaptureItem &item) const
    {
        return item.id() == older.id() ? QStringLiteral("older") : QStringLiteral("newer");
    }

    TempDirScope tmp;
    CaptureItem older = makeScreenshot(filledImage(30, 20, Qt::red));
    CaptureItem newer = makeScreenshot(filledImage(30, 20, Qt::blue));
    CaptureQueue queue{10};
    FakeTrayPreview preview;
    FakeTrayPinning pinning;
    ManualHoverClock clock;
    QStringList calls;
    TrayInteractions interactions{queue, neighbours(), recordingActions(), nullptr};
};

} // namespace

TEST_F(TrayInteractionsTest, ActionsRunOnTheSelectedCaptureWhateverIsHovered)
{
    queue.setSelectedItemID(older.id());
    interactions.handleThumbnailHover(newer, true);
    for (TrayButtonID button : allCases<TrayButtonID>())
        interactions.performAction(button);
    // Open, annotate and text recognition have no controller callbacks here: nothing happens.
    EXPECT_EQ(calls, (QStringList{"copy older", "save older", "delete older"}));
    EXPECT_EQ(pinning.pinned, QList<QUuid>{older.id()});

    // A selection naming no queued capture falls back to the newest.
    calls.clear();
    queue.setSelectedItemID(QUuid::createUuid());
    interactions.performAction(TrayButtonID::copy);
    EXPECT_EQ(calls, QStringList{"copy newer"});
}

TEST_F(TrayInteractionsTest, ActionsDoNothingWithoutASelectionOrACallback)
{
    queue.clearAll();
    for (TrayButtonID button : allCases<TrayButtonID>())
        interactions.performAction(button);
    EXPECT_TRUE(calls.isEmpty());
    EXPECT_TRUE(pinning.pinned.isEmpty());

    queue.enqueue(older);
    interactions.setActions({});
    interactions.performAction(TrayButtonID::save);
    TrayInteractions unwired(queue, {}, {}, nullptr);
    unwired.performAction(TrayButtonID::pin);
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(TrayInteractionsTest, ARestOfSixTenthsOfASecondOpensThePreview)
{
    interactions.handleThumbnailHover(older, true);
    clock.advance(500ms);
    interactions.handleThumbnailHover(older, false);
    clock.advance(1000ms);
    EXPECT_TRUE(preview.shown.isEmpty());
    EXPECT_EQ(preview.closeCount, 0);

    interactions.handleThumbnailHover(older, true);
    clock.advance(599ms);
    EXPECT_TRUE(preview.shown.isEmpty());
    clock.advance(1ms);
    EXPECT_EQ(preview.shown, QList<QUuid>{older.id()});
    EXPECT_FALSE(preview.persistent);
    // The preview gets the tray's own save, copy and delete.
    preview.onCopy(older);
    EXPECT_EQ(calls, QStringList{"copy older"});
}

TEST_F(TrayInteractionsTest, LeavingClosesOnlyThePreviewOfThatCapture)
{
    interactions.handleThumbnailHover(older, true);
    clock.advance(600ms);

    interactions.handleThumbnailHover(newer, false);
    clock.advance(200ms);
    EXPECT_EQ(preview.closeCount, 0);

    interactions.handleThumbnailHover(older, false);
    clock.advance(99ms);
    EXPECT_EQ(preview.closeCount, 0);
    clock.advance(1ms);
    EXPECT_EQ(preview.closeCount, 1);
}

TEST_F(TrayInteractionsTest, AnOpenPreviewFollowsThePointerToTheNextThumbnailAtOnce)
{
    interactions.handleThumbnailHover(older, true);
    clock.advance(600ms);
    // Leaving one thumbnail for the next cancels the close the leaving started.
    interactions.handleThumbnailHover(older, false);
    interactions.handleThumbnailHover(newer, true);
    clock.advance(0ms);
    EXPECT_EQ(preview.shown, (QList<QUuid>{older.id(), newer.id()}));
    EXPECT_EQ(preview.closeCount, 0);
}

TEST_F(TrayInteractionsTest, AClickSelectsAndKeepsThePreviewAgainstHoverAndLeave)
{
    interactions.handleThumbnailHover(newer, true);
    interactions.handleThumbnailTap(older);
    EXPECT_EQ(queue.selectedItemID(), older.id());
    EXPECT_TRUE(preview.persistent);
    EXPECT_EQ(preview.shown, QList<QUuid>{older.id()});
    EXPECT_FALSE(clock.isPending());

    interactions.handleThumbnailHover(older, false);
    clock.advance(200ms);
    interactions.handleThumbnailHover(newer, true);
    clock.advance(600ms);
    EXPECT_EQ(preview.closeCount, 0);
    EXPECT_EQ(preview.shown, QList<QUuid>{older.id()});

    interactions.handleThumbnailTap(newer);
    EXPECT_EQ(preview.shown, (QList<QUuid>{older.id(), newer.id()}));
    EXPECT_TRUE(preview.persistent);
}

TEST_F(TrayInteractionsTest, ACaptureDeletedDuringTheRestIsNotPreviewed)
{
    interactions.handleThumbnailHover(older, true);
    queue.remove(older.id());
    clock.advance(600ms);
    EXPECT_TRUE(preview.shown.isEmpty());
}

TEST_F(TrayInteractionsTest, StartingADragClosesAHoverPreviewButNotAPersistentOne)
{
    interactions.handleThumbnailHover(older, true);
    clock.advance(600ms);
    interactions.handleThumbnailHover(newer, true);
    std::unique_ptr<QMimeData> data(dragOf(interactions, older));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(preview.closeCount, 1);
    EXPECT_FALSE(clock.isPending());

    interactions.handleThumbnailTap(older);
    data.reset(dragOf(interactions, older));
    EXPECT_EQ(preview.closeCount, 1);
    EXPECT_TRUE(preview.visible);
}

TEST_F(TrayInteractionsTest, ADragWithNoFileToCarryDoesNotStartAndTheTraySaysWhy)
{
    TrayState state([](TrayInteractionState, std::optional<TrayPosition>) { return QSizeF(); },
                    [] { return false; }, std::make_shared<ManualTrayTimers>());
    TrayInteractions told(queue, neighbours(), recordingActions(), &state);
    waitForWrites();
    ASSERT_TRUE(spoilFile(older.storedImage().pngPath));
    const CaptureItem recording = makeRecording(tmp.path() + "/Recording-gone.mp4");
    interactions.handleThumbnailHover(older, true);
    clock.advance(600ms);
    ASSERT_TRUE(preview.visible);

    EXPECT_EQ(dragOf(told, older), nullptr);
    EXPECT_EQ(state.noticeFor(older.id()), "Couldn't drag (its picture can no longer be read)");
    EXPECT_EQ(dragOf(told, recording), nullptr);
    EXPECT_EQ(state.noticeFor(recording.id()), "Couldn't drag (the recording file is missing)");
    EXPECT_EQ(preview.closeCount, 0) << "the preview stays for a drag that did not start";

    const std::unique_ptr<QMimeData> data(dragOf(told, newer));
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->urls().size(), 1);
    EXPECT_FALSE(state.noticeFor(newer.id()));
}

TEST_F(TrayInteractionsTest, WithoutAPreviewClicksOnlySelectAndHoversDoNothing)
{
    TrayInteractions bare(queue, {}, recordingActions(), nullptr);
    ManualHoverClock bareClock;
    bare.setHoverScheduler(bareClock.scheduler());
    bare.handleThumbnailHover(older, true);
    EXPECT_FALSE(bareClock.isPending());
    bare.handleThumbnailTap(older);
    EXPECT_EQ(queue.selectedItemID(), older.id());
    std::unique_ptr<QMimeData> data(dragOf(bare, older));
    EXPECT_NE(data, nullptr);
}
