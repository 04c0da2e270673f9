#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "model/TemporaryFiles.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString logId(const CaptureItem &item)
{
    return item.id().toString(QUuid::WithoutBraces).toUpper();
}

QList<QUuid> ids(const CaptureQueue &queue)
{
    QList<QUuid> out;
    for (const CaptureItem &item : queue.items())
        out << item.id();
    return out;
}

class CaptureQueueTest : public ::testing::Test {
protected:
    CaptureItem shot(QColor color = Qt::gray) { return makeScreenshot(filledImage(20, 10, color)); }

    TempDirScope tmp;
    LogCapture log;
};

} // namespace

TEST_F(CaptureQueueTest, EnqueueKeepsNewestFirstAndDropsTheOldestAtCapacity)
{
    CaptureQueue queue(3);
    const CaptureItem a = shot(), b = shot(), c = shot(), d = shot();
    queue.enqueue(a);
    queue.enqueue(b);
    queue.enqueue(c);
    EXPECT_EQ(ids(queue), (QList<QUuid>{c.id(), b.id(), a.id()}));

    log.clear();
    QSignalSpy itemsSpy(&queue, &CaptureQueue::itemsChanged);
    QSignalSpy selectionSpy(&queue, &CaptureQueue::selectedItemIDChanged);
    queue.enqueue(d);
    EXPECT_EQ(ids(queue), (QList<QUuid>{d.id(), c.id(), b.id()}));
    EXPECT_EQ(queue.selectedItemID(), d.id());
    EXPECT_EQ(itemsSpy.count(), 2);
    EXPECT_EQ(selectionSpy.count(), 1);
    EXPECT_EQ(log.messages("queue"),
              (QStringList{"Removed oldest item " + logId(a) + " to respect max capacity of 3",
                           "Enqueued capture item " + logId(d) + ". Current count: 3"}));
}

TEST_F(CaptureQueueTest, ALoweredCapacityTakesEffectAtTheNextEnqueue)
{
    CaptureQueue queue(8);
    QList<CaptureItem> staged;
    for (int i = 0; i < 5; ++i) {
        staged << shot();
        queue.enqueue(staged.last());
    }
    QSignalSpy capacitySpy(&queue, &CaptureQueue::maxCapacityChanged);
    queue.setMaxCapacity(2);
    queue.setMaxCapacity(2);
    EXPECT_EQ(capacitySpy.count(), 2); // every assignment is announced
    EXPECT_EQ(queue.items().size(), 5);

    log.clear();
    const CaptureItem newest = shot();
    queue.enqueue(newest);
    EXPECT_EQ(ids(queue), (QList<QUuid>{newest.id(), staged[4].id()}));
    const QStringList lines = log.messages("queue");
    ASSERT_EQ(lines.size(), 5);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(lines[i],
                  "Removed oldest item " + logId(staged[i]) + " to respect max capacity of 2");

    queue.setMaxCapacity(0);
    queue.enqueue(shot());
    const CaptureItem last = shot();
    queue.enqueue(last);
    EXPECT_EQ(ids(queue), QList<QUuid>{last.id()});
}

TEST_F(CaptureQueueTest, RemovingMovesTheSelectionOnlyWhenTheSelectedCaptureLeaves)
{
    CaptureQueue queue(8);
    const CaptureItem a = shot(), b = shot(), c = shot();
    queue.enqueue(a);
    queue.enqueue(b);
    queue.enqueue(c);

    queue.setSelectedItemID(a.id());
    queue.remove(b.id());
    EXPECT_EQ(queue.selectedItemID(), a.id());
    queue.remove(a.id());
    EXPECT_EQ(queue.selectedItemID(), c.id());
    EXPECT_EQ(log.messages("queue").last(),
              "Removed capture item " + logId(a) + ". Remaining count: 1");

    // A selection naming a capture that is gone falls back to the newest.
    queue.setSelectedItemID(a.id());
    EXPECT_EQ(queue.selectedItem()->id(), c.id());

    queue.setSelectedItemID(c.id());
    queue.remove(c.id());
    EXPECT_EQ(queue.selectedItemID(), std::nullopt);
    EXPECT_FALSE(queue.selectedItem());
}

TEST_F(CaptureQueueTest, RemovingTheSelectedCaptureSelectsTheNewestOfSeveral)
{
    CaptureQueue queue(8);
    const CaptureItem oldest = shot(), older = shot(), newer = shot(), newest = shot();
    for (const CaptureItem &item : {oldest, older, newer, newest})
        queue.enqueue(item);

    queue.setSelectedItemID(newer.id());
    queue.remove(newer.id());
    EXPECT_EQ(queue.selectedItemID(), newest.id());
    EXPECT_EQ(queue.selectedItem()->id(), newest.id());

    // Removing the newest while it is selected hands the selection to the next newest.
    queue.remove(newest.id());
    EXPECT_EQ(queue.selectedItemID(), older.id());
    EXPECT_EQ(ids(queue), (QList<QUuid>{older.id(), oldest.id()}));
}

TEST_F(CaptureQueueTest, MarksChangeOnlyTheStateOfAKnownCapture)
{
    CaptureQueue queue(8);
    const CaptureItem a = shot(), b = shot();
    queue.enqueue(a);
    queue.enqueue(b);
    QSignalSpy itemsSpy(&queue, &CaptureQueue::itemsChanged);
    QSignalSpy selectionSpy(&queue, &CaptureQueue::selectedItemIDChanged);

    queue.markSaving(QUuid::createUuid());
    queue.markFailed(QUuid::createUuid(), CaptureActionError::saveCancelled());
    EXPECT_EQ(itemsSpy.count(), 0);

    queue.markSaved(a.id(), "shot.png");
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(selectionSpy.count(), 0);
    EXPECT_EQ(queue.items()[1].state(), CaptureItemState::saved("shot.png"));
    EXPECT_EQ(queue.items()[0].state(), CaptureItemState::pending());
    queue.markCopying(a.id());
    EXPECT_EQ(queue.items()[1].state(), CaptureItemState::copying());
    EXPECT_EQ(ids(queue), (QList<QUuid>{b.id(), a.id()}));
}

TEST_F(CaptureQueueTest, ClearAllAnnouncesAndLogsEvenWhenEmpty)
{
    CaptureQueue queue(8);
    QSignalSpy itemsSpy(&queue, &CaptureQueue::itemsChanged);
    QSignalSpy selectionSpy(&queue, &CaptureQueue::selectedItemIDChanged);
    queue.clearAll();
    EXPECT_EQ(itemsSpy.count(), 1);
    EXPECT_EQ(selectionSpy.count(), 1);
    EXPECT_EQ(log.messages("queue"), QStringList{"Cleared all capture items from queue"});
}

TEST_F(CaptureQueueTest, UpdateImageReplacesTheScreenshotInPlace)
{
    CaptureQueue queue(8);
    const CaptureItem a = shot(), b = shot(Qt::red), c = shot();
    queue.enqueue(a);
    queue.enqueue(b);
    queue.enqueue(c);
    queue.markSaving(b.id());
    queue.setSelectedItemID(a.id());
    waitForWrites();

    const QImage edited = filledImage(300, 100, Qt::green);
    queue.updateImage(b.id(), edited);
    const CaptureItem updated = queue.items()[1];
    EXPECT_EQ(updated.id(), b.id());
    EXPECT_EQ(updated.state(), CaptureItemState::saving());
    EXPECT_EQ(updated.fileName(), b.fileName());
    EXPECT_EQ(updated.createdAt(), b.createdAt());
    EXPECT_EQ(updated.pixelWidth(), 300);
    EXPECT_EQ(updated.thumbnail().size(), QSize(200, 66));
    EXPECT_EQ(queue.selectedItemID(), a.id());
    EXPECT_EQ(log.messages("queue").last(), "Updated image for capture item " + logId(b));

    // Once the memory copy is gone, the file on disk is the edited image.
    waitForWrites();
    EXPECT_EQ(updated.image(), edited);
    EXPECT_EQ(QImage(tmp.captureFile(b.fileName())), edited);
}

TEST_F(CaptureQueueTest, UpdateImageLeavesARecordingAsItWas)
{
    CaptureQueue queue(8);
    const CaptureItem recording = makeRecording(tmp.path() + "/Recording-x.mov");
    queue.enqueue(recording);
    QSignalSpy itemsSpy(&queue, &CaptureQueue::itemsChanged);
    log.clear();
    queue.updateImage(recording.id(), filledImage(10, 10, Qt::red));
    EXPECT_EQ(itemsSpy.count(), 0);
    EXPECT_TRUE(queue.items()[0].isVideo());
    EXPECT_EQ(queue.items()[0].fileName(), recording.fileName());
    EXPECT_EQ(log.lines().filter("queue|warning|").size(), 1);
}

TEST_F(CaptureQueueTest, RemovedEvictedAndClearedCapturesLoseTheirFilesLater)
{
    TemporaryFiles::setCleanupDelay(std::chrono::milliseconds(300));
    CaptureQueue queue(1);
    const QString movie = tmp.path() + "/Recording-y.mov";
    QFile(movie).open(QIODevice::WriteOnly);
    const CaptureItem evicted = shot();
    const CaptureItem recording = makeRecording(movie);
    const CaptureItem cleared = shot();
    queue.enqueue(evicted);
    const std::optional<QUrl> evictedDrag = evicted.makeDragFileURL();
    ASSERT_TRUE(evictedDrag);
    queue.enqueue(recording);
    const std::optional<QUrl> recordingDrag = recording.makeDragFileURL();
    ASSERT_TRUE(recordingDrag);
    waitForWrites();
    const QString evictedPng = tmp.captureFile(evicted.fileName());
    const QString clearedPng = tmp.captureFile(cleared.fileName());
    ASSERT_TRUE(QFile::exists(clearedPng));
    ASSERT_TRUE(QFile::exists(evictedPng));

    queue.remove(recording.id());
    queue.enqueue(cleared);
    queue.clearAll();
    const QStringList files{
        movie,      recordingDrag->toLocalFile(), QFileInfo(recordingDrag->toLocalFile()).path(),
        evictedPng, evictedDrag->toLocalFile(),   QFileInfo(evictedDrag->toLocalFile()).path(),
        clearedPng};
    for (const QString &file : files)
        EXPECT_TRUE(QFile::exists(file)) << qPrintable(file) << " is kept for a while";
    const auto anyLeft = [&] {
        return std::any_of(files.begin(), files.end(),
                           [](const QString &f) { return QFile::exists(f); });
    };
    EXPECT_TRUE(waitUntil([&] { return !anyLeft(); }));
    TemporaryFiles::setCleanupDelay(std::chrono::seconds(180));
}
