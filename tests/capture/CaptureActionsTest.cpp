#include "capture/ActionTestSupport.h"
#include "capture/ClipboardService.h"
#include "capture/SaveService.h"
#include "support/BackgroundSettled.h"
#include "support/CaptureCoordinatorFixture.h"
#include "support/FakeImageWriter.h"
#include "support/FakePasteboard.h"
#include "support/FakeSavePanel.h"
#include "support/Joined.h"
#include "support/WaitUntil.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class CaptureActionsTest : public CaptureCoordinatorFixture {
protected:
    // A capture in the queue, with the log cleared after it was staged.
    CaptureItem staged()
    {
        coordinator();
        const CaptureItem item = makeItem();
        m_queue.enqueue(item);
        m_log.clear();
        return item;
    }

    // The capture's state in the queue; nothing once it has left.
    std::optional<CaptureItemState> stateOf(const CaptureItem &item) const
    {
        for (const CaptureItem &queued : m_queue.items()) {
            if (queued.id() == item.id())
                return queued.state();
        }
        return std::nullopt;
    }

    bool feedbackGiven() const
    {
        return m_log.contains(QStringLiteral("sound.")) ||
               m_log.contains(QStringLiteral("haptic."));
    }
};

TEST_F(CaptureActionsTest, SaveGivesFeedbackBeforeTheSavedStateAndOnlyWhenEnabled)
{
    m_settings.setExportFormat(ImageExportFormat::jpeg);
    const CaptureItem item = staged();
    m_saver.gate.close();
    QCoro::Task<void> saving = coordinator().saveCapture(item);
    EXPECT_EQ(stateOf(item), CaptureItemState::saving());
    m_saver.gate.open();
    QCoro::waitFor(saving);

    EXPECT_EQ(m_log.events(),
              (QStringList{"queue.items(1)", "save.save(jpg)", "sound.play(complete@0)",
                           "haptic.generic", "queue.items(1)"}));
    EXPECT_EQ(stateOf(item), CaptureItemState::saved("Shot 1.png"));
    // Modal to the whole program: no window to attach the panel to.
    EXPECT_EQ(m_saver.windows, QList<QWidget *>{nullptr});

    m_settings.setSoundEffectsEnabled(false);
    m_settings.setHapticsEnabled(false);
    m_log.clear();
    QCoro::waitFor(coordinator().saveCapture(item));
    EXPECT_FALSE(feedbackGiven());
    EXPECT_EQ(stateOf(item), CaptureItemState::saved("Shot 1.png"));
}

TEST_F(CaptureActionsTest, SaveThatDoesNotSucceedKeepsTheCaptureStaged)
{
    const CaptureItem item = staged();
    struct Case {
        std::exception_ptr thrown;
        CaptureItemState expected;
    };
    const CaptureActionError refused =
        CaptureActionError::saveFailed(QStringLiteral("Could not create image destination."));
    // Each save starts from where the previous one left the capture.
    for (const Case &c : {
             Case{std::make_exception_ptr(CaptureActionError::saveCancelled()),
                  CaptureItemState::pending()},
             Case{std::make_exception_ptr(refused), CaptureItemState::failed(refused)},
             Case{std::make_exception_ptr(std::runtime_error("the disk is full")),
                  CaptureItemState::failed(
                      CaptureActionError::saveFailed(QStringLiteral("the disk is full")))},
             Case{std::make_exception_ptr(CaptureActionError::saveCancelled()),
                  CaptureItemState::pending()},
         }) {
        m_saver.failure = c.thrown;
        QCoro::waitFor(coordinator().saveCapture(item));
        EXPECT_EQ(stateOf(item), c.expected) << stateOf(item)->statusText().toStdString();
    }
    EXPECT_EQ(m_queue.items().size(), 1);
    EXPECT_FALSE(feedbackGiven());
    // Only the error that was not the save service's own is worth a line.
    EXPECT_EQ(m_lines.lines().filter(QStringLiteral("capture|")),
              QStringList{"capture|error|Action on a staged capture failed: the disk is full"})
        << joined(m_lines.lines());
}

TEST_F(CaptureActionsTest, CopyStartsAsATaskAndReturnsTheCaptureToPending)
{
    const CaptureItem item = staged();
    coordinator().copyCapture(item);
    EXPECT_EQ(stateOf(item), CaptureItemState::copying());
    EXPECT_TRUE(m_clipboard.copied.isEmpty()) << "the copy runs after copyCapture returns";

    ASSERT_TRUE(waitUntil([&] { return stateOf(item) == CaptureItemState::pending(); }));
    EXPECT_EQ(m_log.events(),
              (QStringList{"queue.items(1)", "clipboard.copy", "sound.play(message@0)",
                           "haptic.alignment", "queue.items(1)"}));

    m_settings.setSoundEffectsEnabled(false);
    m_settings.setHapticsEnabled(false);
    m_log.clear();
    QCoro::waitFor(coordinator().performCopy(item));
    EXPECT_FALSE(feedbackGiven());
    EXPECT_EQ(stateOf(item), CaptureItemState::pending());
}

TEST_F(CaptureActionsTest, CopyRemovesTheCaptureWhenSetAndReconcilesAnEmptiedTray)
{
    m_settings.setCopyRemovesCapture(true);
    const CaptureItem first = staged();
    const CaptureItem last = staged();

    QCoro::waitFor(coordinator().performCopy(first));
    EXPECT_FALSE(stateOf(first).has_value());
    EXPECT_EQ(m_log.events(), (QStringList{"clipboard.copy", "sound.play(message@0)",
                                           "haptic.alignment", "queue.items(1)"}));

    m_log.clear();
    QCoro::waitFor(coordinator().performCopy(last));
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_EQ(m_log.events().mid(at("queue.items")),
              (QStringList{"queue.items(0)", "tray.reconcile"}));
}

TEST_F(CaptureActionsTest, FailedCopyLeavesTheCaptureFailedInTheQueue)
{
    m_settings.setCopyRemovesCapture(true);
    const CaptureItem item = staged();
    const CaptureActionError refused =
        CaptureActionError::copyFailed(QStringLiteral("the clipboard did not take it"));

    m_clipboard.failure = std::make_exception_ptr(refused);
    QCoro::waitFor(coordinator().performCopy(item));
    EXPECT_EQ(stateOf(item), CaptureItemState::failed(refused));

    m_clipboard.failure = std::make_exception_ptr(std::runtime_error("no X server"));
    QCoro::waitFor(coordinator().performCopy(item));
    EXPECT_EQ(stateOf(item), CaptureItemState::failed(
                                 CaptureActionError::copyFailed(QStringLiteral("no X server"))));
    EXPECT_FALSE(feedbackGiven());
    EXPECT_FALSE(m_log.contains("tray.reconcile"));
}

TEST_F(CaptureActionsTest, CopyOvertakenByALaterOneLeavesItTheClipboardAndTheOutcome)
{
    auto pasteboard = std::make_shared<FakePasteboard>();
    ClipboardService clipboard(pasteboard);
    m_clipboardService = &clipboard;
    coordinator();
    const CaptureItem shot = makeScreenshotInMemory(m_tmp, filledImage(40, 30, Qt::red));
    const QString movie = m_tmp.path() + QStringLiteral("/Recording-1.mp4");
    QFile(movie).open(QIODevice::WriteOnly);
    const CaptureItem recording = makeRecording(movie);
    m_queue.enqueue(shot);
    m_queue.enqueue(recording);
    // Every TIFF begun in a round waits until the round ends. Shared with the encoding threads,
    // none of which is left waiting once the test has ended.
    struct TiffHold {
        QSemaphore begun;
        std::atomic<bool> held = false;
    };
    const auto hold = std::make_shared<TiffHold>();
    const auto settle = qScopeGuard([&] {
        hold->held = false;
        EXPECT_TRUE(backgroundSettled());
    });
    pasteboard->fakeEncoder->beforeTiff = [hold] {
        hold->begun.release();
        for (const QDeadlineTimer limit(20000); hold->held && !limit.hasExpired();)
            QThread::msleep(1);
    };
    int overtakings = 0;
    const auto overtaken = [&](const CaptureItem &later, const std::function<void()> &meanwhile) {
        m_log.clear();
        pasteboard->calls.clear();
        hold->held = true;
        coordinator().copyCapture(shot);
        EXPECT_TRUE(waitUntil([&] { return hold->begun.tryAcquire(); }));
        meanwhile();
        coordinator().copyCapture(later);
        EXPECT_TRUE(waitUntil([&] { return !stateOf(later)->isBusy(); }));
        hold->held = false;
        ++overtakings;
        EXPECT_TRUE(waitUntil([&] {
            return m_lines.lines()
                       .filter(QStringLiteral("export|info|Left the clipboard to a later copy"))
                       .size() == overtakings;
        }));
    };

    overtaken(recording, [] {});
    EXPECT_EQ(pasteboard->calls, QStringList("file(" + QUrl::fromLocalFile(movie).toString() + ")"))
        << joined(pasteboard->calls);
    EXPECT_EQ(stateOf(shot), CaptureItemState::pending());
    EXPECT_EQ(m_log.events().filter(QStringLiteral("sound.")).size(), 1) << joined(m_log.events());

    // A later copy of the same capture gives it its state, here a failure.
    overtaken(shot, [&] { pasteboard->pngFails = true; });
    EXPECT_TRUE(pasteboard->calls.isEmpty()) << joined(pasteboard->calls);
    EXPECT_EQ(stateOf(shot), CaptureItemState::failed(CaptureActionError::copyFailed(
                                 QStringLiteral("Could not generate PNG data"))));
    EXPECT_FALSE(feedbackGiven());
    m_coordinator.reset(); // before the service above goes
}

TEST_F(CaptureActionsTest, AutoCopyMarksCopyingAndCopiesAfterTheTrayShows)
{
    m_settings.setAutoCopyOnCapture(true);
    const CaptureItem item = makeItem();
    coordinator().enqueue(item);
    EXPECT_EQ(stateOf(item), CaptureItemState::copying());
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.show(confirmation)"));
    EXPECT_FALSE(m_log.contains("clipboard.copy"));

    ASSERT_TRUE(waitUntil([&] { return stateOf(item) == CaptureItemState::pending(); }));
    EXPECT_EQ(m_log.events().mid(at("tray.show")),
              (QStringList{"tray.show(confirmation)", "clipboard.copy", "sound.play(message@0)",
                           "haptic.alignment", "queue.items(1)"}));
}

TEST_F(CaptureActionsTest, TrayActionsRunAsTasksThatOutliveTheirCallers)
{
    const CaptureItem item = staged();
    m_clipboard.gate.close();
    m_saver.gate.close();

    // The tray's handlers return before anything happens; copying is marked a turn later still.
    m_trays.callbacks.onCopy(item);
    m_trays.callbacks.onSave(item);
    EXPECT_TRUE(m_log.events().isEmpty());
    ASSERT_TRUE(
        waitUntil([&] { return m_clipboard.gate.waiting() + m_saver.gate.waiting() == 2; }));

    // Nothing keeps the started tasks but themselves; they still finish.
    m_saver.gate.open();
    ASSERT_TRUE(waitUntil([&] { return stateOf(item)->kind() == CaptureItemState::Kind::saved; }));
    m_clipboard.gate.open();
    ASSERT_TRUE(waitUntil([&] { return stateOf(item) == CaptureItemState::pending(); }));

    // Delete runs at once.
    m_trays.callbacks.onDelete(item);
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.reconcile"));
}

TEST_F(CaptureActionsTest, NothingIsTouchedOnceTheCoordinatorIsGone)
{
    const CaptureItem item = staged();
    const StagingTrayCallbacks callbacks = m_trays.callbacks;

    // A copy under way when the coordinator goes ends without a trace.
    m_clipboard.gate.close();
    coordinator().copyCapture(item);
    ASSERT_TRUE(waitUntil([&] { return m_clipboard.gate.waiting() == 1; }));
    m_coordinator.reset();
    m_clipboard.gate.open();
    ASSERT_TRUE(waitUntil([&] { return m_clipboard.gate.waiting() == 0; }));
    QTest::qWait(20);
    EXPECT_FALSE(feedbackGiven());
    EXPECT_EQ(stateOf(item), CaptureItemState::copying());

    // The tray's callbacks do nothing.
    m_log.clear();
    callbacks.onSave(item);
    callbacks.onCopy(item);
    callbacks.onDelete(item);
    QTest::qWait(20);
    EXPECT_TRUE(m_log.events().isEmpty());
    EXPECT_EQ(m_queue.items().size(), 1);
}

TEST_F(CaptureActionsTest, PinAndTrayDeletionsRemoveTheCaptureAndReconcileWhenEmpty)
{
    const CaptureItem first = staged();
    const CaptureItem second = staged();

    m_pins.postPinItemDeleted(first.id());
    EXPECT_EQ(m_queue.items().size(), 1);
    EXPECT_FALSE(m_log.contains(QStringLiteral("tray.reconcile")));

    coordinator().deleteCapture(second);
    EXPECT_TRUE(m_queue.items().isEmpty());
    EXPECT_EQ(m_log.events().last(), QStringLiteral("tray.reconcile"));

    // A pin of a capture no longer staged changes nothing, but an empty queue still
    // reconciles; a pin without an identifier is ignored.
    m_log.clear();
    m_pins.postPinItemDeleted(QUuid::createUuid());
    EXPECT_EQ(m_log.events(), QStringList{QStringLiteral("tray.reconcile")});
    m_pins.postPinItemDeleted(QUuid());
    EXPECT_EQ(m_log.events().size(), 1);
}

TEST_F(CaptureActionsTest, UnreadableImageFailsSaveAndCopyWithTheServicesErrors)
{
    auto pasteboard = std::make_shared<FakePasteboard>();
    auto panel = std::make_shared<FakeSavePanel>();
    auto writer = std::make_shared<FakeImageWriter>();
    panel->answer = QUrl::fromLocalFile(m_tmp.path() + QStringLiteral("/Saved.png"));
    ClipboardService clipboard(pasteboard);
    SaveService saver(panel, writer);
    m_clipboardService = &clipboard;
    m_saveService = &saver;
    coordinator();
    const CaptureItem item = makeUnreadableScreenshot(m_tmp);
    m_queue.enqueue(item);
    m_log.clear();

    QCoro::waitFor(coordinator().performCopy(item));
    EXPECT_EQ(stateOf(item), CaptureItemState::failed(CaptureActionError::copyFailed(
                                 QStringLiteral("its picture can no longer be read"))));
    EXPECT_TRUE(pasteboard->calls.isEmpty()) << "the clipboard keeps what it held";

    QCoro::waitFor(coordinator().saveCapture(item));
    EXPECT_EQ(stateOf(item), CaptureItemState::failed(CaptureActionError::saveFailed(
                                 QStringLiteral("its picture can no longer be read"))));
    EXPECT_TRUE(panel->shown.isEmpty()) << "no name asked for nothing";
    EXPECT_TRUE(writer->calls().isEmpty());
    EXPECT_FALSE(feedbackGiven());
    m_coordinator.reset(); // before the services above go
}

} // namespace
