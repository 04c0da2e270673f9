#include "preview/QuickLookPreviewView.h"
#include "PreviewViewFixture.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationEditorView.h"
#include "preview/PreviewMediaView.h"
#include "preview/PreviewNotice.h"
#include "preview/QuickLookPreviewController.h"
#include "support/BackgroundSettled.h"
#include "support/FakeHaptics.h"
#include "support/FakeMoviePlayer.h"
#include "support/FakePasteboard.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeTextRecognizer.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"
#include "tray/TrayNeighbours.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QSlider>
#include <QTemporaryFile>
#include <QTest>
#include <gtest/gtest.h>

TEST_F(PreviewViewTest, ScreenshotHeaderAndToolbar)
{
    show(screenshot);
    ASSERT_TRUE(view);
    const QStringList texts = labels();
    EXPECT_TRUE(texts.contains(screenshot.fileName()));
    EXPECT_TRUE(texts.contains(QStringLiteral("2880 × 1800 pt")));
    EXPECT_TRUE(texts.contains(QStringLiteral("Area Selection")));
    for (const char *name : {"Copy", "Copy Text (OCR)", "Pin to Screen", "Markup...",
                             "Save to Disk", "Share...", "Delete", "Close"})
        EXPECT_TRUE(button(QString::fromLatin1(name))) << name;
    EXPECT_FALSE(button(QStringLiteral("Play")));

    QTest::mouseClick(button(QStringLiteral("Save to Disk")), Qt::LeftButton);
    QTest::mouseClick(button(QStringLiteral("Pin to Screen")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !calls.isEmpty() && !pins.pinned.isEmpty(); }));
    EXPECT_EQ(calls, QStringList({"save"}));
    EXPECT_EQ(pins.pinned, QList<QUuid>({screenshot.id()}));
}

TEST_F(PreviewViewTest, CopyConfirmsForAMomentEvenWithoutAHandler)
{
    controller.show(screenshot, queue, {}, {}, {});
    QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->isCopied(); }));
    EXPECT_TRUE(button(QStringLiteral("Copied!")));
    ASSERT_TRUE(waitUntil([&] { return !view->isCopied(); }, 3000));
    EXPECT_TRUE(button(QStringLiteral("Copy")));
}

TEST_F(PreviewViewTest, CopiedShowsOnlyOnceTheCopyHasEndedWellAndCtrlCCopiesTheSameWay)
{
    const CaptureItem other = makeScreenshot(filledImage(64, 48, Qt::blue));
    queue.enqueue(other);
    waitForWrites();
    copiesEndAtOnce = false;
    show(screenshot);
    // A copy that a later one overtook is neither copied nor failed.
    QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return copied.size() == 1; }));
    queue.markCopyOvertaken(screenshot.id());
    ASSERT_FALSE(view->isCopied());
    EXPECT_TRUE(view->notice()->text().isEmpty()) << qPrintable(view->notice()->text());

    QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return copied.size() == 2; }));
    EXPECT_FALSE(view->isCopied()) << "still copying";
    queue.markPending(other.id());
    EXPECT_FALSE(view->isCopied()) << "another capture";
    queue.markPending(screenshot.id());
    EXPECT_TRUE(view->isCopied());
    EXPECT_TRUE(button(QStringLiteral("Copied!")));
    // What befalls the capture once that copy has ended is no news of it.
    ASSERT_TRUE(waitUntil([&] { return !view->isCopied(); }, 3000));
    queue.markSaving(screenshot.id());
    EXPECT_FALSE(view->isCopied());
    queue.markFailed(screenshot.id(), CaptureActionError::saveFailed("disk full"));
    EXPECT_TRUE(view->notice()->text().isEmpty()) << qPrintable(view->notice()->text());

    show(other);
    const auto ctrlC = [this] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_C, Qt::ControlModifier);
        QApplication::sendEvent(view, &key);
    };
    ctrlC();
    ASSERT_TRUE(waitUntil([&] { return copied.size() == 3; }));
    EXPECT_EQ(copied.last().id(), other.id());
    queue.markFailed(other.id(), CaptureActionError::copyFailed("the clipboard did not take it"));
    EXPECT_FALSE(view->isCopied());
    EXPECT_EQ(view->notice()->text(),
              "“" + other.fileName() + "” could not be copied (the clipboard did not take it).");

    // Ctrl+C on a capture whose file holds anything but its picture says so, as Copy does.
    ASSERT_TRUE(spoilFile(other.storedImage().pngPath));
    show(other);
    ctrlC();
    ASSERT_TRUE(waitUntil([&] {
        return view->notice()->text() == "“" + other.fileName() +
                                             "” could not be copied: its picture can no longer "
                                             "be read.";
    }));
    EXPECT_EQ(copied.size(), 3) << "nothing to copy";
}

TEST_F(PreviewViewTest, TextRecognitionCopiesTextOrNothing)
{
    show(screenshot);
    recognizer->answer({"\nFirst line", "second"});
    QTest::mouseClick(button(QStringLiteral("Copy Text (OCR)")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->ocrJustCopied(); }));
    EXPECT_TRUE(button(QStringLiteral("Copied! ")));
    EXPECT_EQ(pasteboard->calls, QStringList{QStringLiteral("string(\nFirst line\nsecond)")})
        << "the text replaces the contents in one step, never after an empty clipboard";
    ASSERT_TRUE(waitUntil([&] { return !view->isOCRProcessing(); }, 3000));
    EXPECT_TRUE(button(QStringLiteral("Copy Text (OCR)")));

    // No text: the clipboard is left alone and nothing is confirmed; the log says why.
    LogCapture log;
    pasteboard->calls.clear();
    recognizer->result = {};
    QTest::mouseClick(button(QStringLiteral("Copy Text (OCR)")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !view->isOCRProcessing(); }));
    EXPECT_FALSE(view->ocrJustCopied());
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_TRUE(
        log.lines().contains("overlay|error|OCR failed: No readable text was found in the image."))
        << qPrintable(log.lines().join('\n'));
}

// The text's turn on the clipboard is the press's: a copy asked for while the picture is still
// being decoded is the later one, and the text copy ends without writing or confirming anything.
TEST_F(PreviewViewTest, ACopyAskedForWhileTheTextsPictureDecodesKeepsTheClipboard)
{
    recognizer->answer({"Invoice 42"});
    {
        PoolBlocker pool;
        show(screenshot);
        QTest::mouseClick(button(QStringLiteral("Copy Text (OCR)")), Qt::LeftButton);
        pasteboard->takeTurn();
        pasteboard->setString(QStringLiteral("a later copy"));
    }
    ASSERT_TRUE(backgroundSettled());
    EXPECT_EQ(pasteboard->calls, QStringList("string(a later copy)"));
    EXPECT_FALSE(view->ocrJustCopied());
    EXPECT_FALSE(view->isOCRProcessing()) << "no Reading... left";
    EXPECT_TRUE(button(QStringLiteral("Copy Text (OCR)")));
    EXPECT_TRUE(view->notice()->text().isEmpty()) << qPrintable(view->notice()->text());
}

TEST_F(PreviewViewTest, MarkupSaveWritesTheEditedImageBack)
{
    show(screenshot);
    QTest::mouseClick(button(QStringLiteral("Markup...")), Qt::LeftButton);
    ASSERT_TRUE(controller.isMarkupMode());
    ASSERT_TRUE(view->editor());
    AnnotationEditorState &state = view->editor()->state();
    state.handleDragChanged(QPointF(0, 50), QPointF(100, 50));
    state.handleDragEnded(QPointF(0, 50), QPointF(100, 50), QSizeF(288, 180));

    view->editor()->saveAndDismiss();
    ASSERT_TRUE(waitUntil([&] { return !controller.isMarkupMode(); }));
    const QImage staged = queue.items().first().image();
    EXPECT_EQ(QColor(staged.pixel(500, 500)), QColor(0xFF, 0x3B, 0x30))
        << "the arrow is in the staged capture";
    EXPECT_EQ(QColor(controller.currentItem()->image().pixel(500, 500)), QColor(0xFF, 0x3B, 0x30));
    EXPECT_EQ(controller.currentItemID(), screenshot.id());
    EXPECT_FALSE(view->editor());
}

TEST_F(PreviewViewTest, RecordingPlaysPausesAndRewindsAtTheEnd)
{
    QTemporaryFile movie(QDir::tempPath() + QStringLiteral("/XXXXXX.mp4"));
    ASSERT_TRUE(movie.open());
    const CaptureItem recording = makeRecording(movie.fileName());
    queue.enqueue(recording);
    show(recording);
    EXPECT_TRUE(labels().contains(QStringLiteral("Screen Recording")));
    ASSERT_TRUE(button(QStringLiteral("Play")));
    EXPECT_TRUE(button(QStringLiteral("Show in Folder")));
    EXPECT_TRUE(button(QStringLiteral("Open in Video Player")));
    EXPECT_FALSE(button(QStringLiteral("Copy Text (OCR)")));
    EXPECT_EQ(playerLog.size(), 1) << "the player opens without playing";

    QTest::mouseClick(button(QStringLiteral("Play")), Qt::LeftButton);
    EXPECT_TRUE(view->isPlaying());
    EXPECT_TRUE(button(QStringLiteral("Pause")));
    // Status reports change the button in place: the toolbar is not built again for each.
    QAbstractButton *pause = button(QStringLiteral("Pause"));
    for (int i = 0; i < 50; ++i)
        emit lastPlayer->playingChanged(true);
    EXPECT_EQ(button(QStringLiteral("Pause")), pause);
    lastPlayer->finish();
    EXPECT_FALSE(view->isPlaying());
    EXPECT_EQ(playerLog.last(), QStringLiteral("rewound"));
    EXPECT_EQ(button(QStringLiteral("Play")), pause);

    // The timeline: the seek bar moves the player, the mute button mutes it.
    auto *seekBar = view->findChild<QSlider *>(QStringLiteral("seekBar"));
    ASSERT_TRUE(seekBar && seekBar->isVisible());
    EXPECT_EQ(seekBar->maximum(), 1000);
    EXPECT_EQ(view->findChild<QLabel *>(QStringLiteral("totalTime"))->text(),
              QStringLiteral("0:01"));
    seekBar->setSliderDown(true);
    seekBar->setSliderPosition(400);
    seekBar->setSliderDown(false);
    EXPECT_TRUE(playerLog.contains(QStringLiteral("seek 400")));
    auto *mute = view->findChild<QAbstractButton *>(QStringLiteral("muteButton"));
    ASSERT_TRUE(mute);
    QTest::mouseClick(mute, Qt::LeftButton);
    EXPECT_TRUE(lastPlayer->isMuted());
    EXPECT_EQ(mute->toolTip(), QStringLiteral("Unmute"));

    // Space in the preview reaches the same player.
    QTest::mouseClick(button(QStringLiteral("Play")), Qt::LeftButton);
    controller.nextItem();
    EXPECT_EQ(controller.currentItemID(), screenshot.id());
    EXPECT_EQ(playerLog.last(), QStringLiteral("pause")) << "paging away stops the recording";
}

TEST_F(PreviewViewTest, RecordingShowsItsPosterReadBackFromItsFile)
{
    QTemporaryFile movie(QDir::tempPath() + QStringLiteral("/XXXXXX.mp4"));
    ASSERT_TRUE(movie.open());
    const CaptureItem recording = makeRecording(movie.fileName());
    queue.enqueue(recording);
    waitForWrites();
    ASSERT_TRUE(recording.storedImage().pixels.isNull());
    show(recording);
    auto *media = view->findChild<PreviewMediaView *>();
    ASSERT_TRUE(media);
    EXPECT_TRUE(waitUntil([&] { return media->hasFullImage(); }));
    // The recording's player goes while the log it writes to is still there.
    show(screenshot);
}

TEST_F(PreviewViewTest, DeletingTheLastCaptureCloses)
{
    show(screenshot);
    QTest::mouseClick(button(QStringLiteral("Delete")), Qt::LeftButton);
    EXPECT_EQ(calls, QStringList({"delete"}));
    EXPECT_FALSE(controller.isVisible());
    EXPECT_TRUE(queue.items().isEmpty());
}

// The preview follows the queue: a capture deleted under it gives way to the one that took its
// place, and the preview closes once none is left.
TEST_F(PreviewViewTest, ACaptureDeletedUnderThePreviewGivesWayToTheNext)
{
    const CaptureItem second = makeScreenshot(filledImage(300, 200, Qt::red));
    const CaptureItem third = makeScreenshot(filledImage(300, 200, Qt::blue));
    queue.enqueue(second);
    queue.enqueue(third);
    // Newest first: third, second, screenshot.
    show(second);
    queue.remove(second.id());
    EXPECT_EQ(controller.currentItemID(), screenshot.id()) << "the capture that took its place";
    EXPECT_TRUE(controller.notice().isEmpty()) << "nothing was lost";
    QTest::mouseClick(button(QStringLiteral("Pin to Screen")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return !pins.pinned.isEmpty(); }));
    EXPECT_EQ(pins.pinned, QList<QUuid>({screenshot.id()}));

    queue.remove(screenshot.id());
    EXPECT_EQ(controller.currentItemID(), third.id()) << "the last one gone: the one before it";
    queue.remove(third.id());
    EXPECT_FALSE(controller.isVisible());
    EXPECT_FALSE(controller.currentItem());
}

// Deleted under the markup editor, the capture takes its marks with it, and the preview says so;
// a save still running is not written back to a capture that is gone.
TEST_F(PreviewViewTest, ACaptureDeletedUnderMarkupSaysTheMarksAreLost)
{
    const CaptureItem other = makeScreenshot(filledImage(300, 200, Qt::red));
    queue.enqueue(other);
    for (bool saving : {false, true}) {
        show(screenshot);
        QTest::mouseClick(button(QStringLiteral("Markup...")), Qt::LeftButton);
        AnnotationEditorState &state = view->editor()->state();
        state.handleDragChanged(QPointF(0, 50), QPointF(100, 50));
        state.handleDragEnded(QPointF(0, 50), QPointF(100, 50), QSizeF(288, 180));
        if (saving)
            view->editor()->saveAndDismiss();
        const CaptureItem deleted = screenshot;
        queue.remove(deleted.id());
        EXPECT_FALSE(controller.isMarkupMode()) << saving;
        EXPECT_EQ(controller.currentItemID(), other.id()) << saving;
        EXPECT_TRUE(controller.notice().contains(QStringLiteral("could not be kept"))) << saving;
        EXPECT_TRUE(controller.notice().contains(deleted.fileName())) << saving;
        ASSERT_TRUE(view->notice());
        EXPECT_TRUE(view->notice()->isVisible()) << saving;
        ASSERT_TRUE(backgroundSettled());
        ASSERT_EQ(queue.items().size(), 1) << "nothing came back";
        EXPECT_EQ(queue.items().first().image().pixel(150, 100), QColor(Qt::red).rgb());
        controller.dismissNotice();
        EXPECT_TRUE(controller.notice().isEmpty());
        EXPECT_EQ(controller.currentItemID(), other.id());
        screenshot = makeScreenshot(filledImage(2880, 1800, Qt::white));
        queue.enqueue(screenshot);
    }

    // The last capture gone under marks: the preview stays until the user has read why.
    queue.remove(other.id());
    show(screenshot);
    QTest::mouseClick(button(QStringLiteral("Markup...")), Qt::LeftButton);
    AnnotationEditorState &state = view->editor()->state();
    state.handleDragChanged(QPointF(0, 50), QPointF(100, 50));
    state.handleDragEnded(QPointF(0, 50), QPointF(100, 50), QSizeF(288, 180));
    queue.remove(screenshot.id());
    EXPECT_TRUE(controller.isVisible());
    EXPECT_FALSE(controller.currentItem());
    EXPECT_FALSE(controller.notice().isEmpty());
    controller.dismissNotice();
    EXPECT_FALSE(controller.isVisible());

    // Without marks there is nothing to tell: the preview just closes.
    screenshot = makeScreenshot(filledImage(400, 200, Qt::white));
    queue.enqueue(screenshot);
    show(screenshot);
    QTest::mouseClick(button(QStringLiteral("Markup...")), Qt::LeftButton);
    queue.remove(screenshot.id());
    EXPECT_FALSE(controller.isVisible());
}

TEST_F(PreviewViewTest, CopyVideoOfAMovieThatIsGoneSaysSoInsteadOfCopied)
{
    const QString movie = temp.path() + QStringLiteral("/Recording-gone.mp4");
    const CaptureItem recording = makeRecording(movie);
    queue.enqueue(recording);
    show(recording);
    QTest::mouseClick(button(QStringLiteral("Copy Video")), Qt::LeftButton);
    EXPECT_TRUE(copied.isEmpty());
    EXPECT_FALSE(view->isCopied());
    EXPECT_EQ(view->notice()->text(),
              "“" + recording.fileName() + "” could not be copied: the recording file is missing.");
    // The same button copies the movie once it is there.
    QFile file(movie);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    QTest::mouseClick(button(QStringLiteral("Copy Video")), Qt::LeftButton);
    EXPECT_EQ(copied.size(), 1);
    EXPECT_TRUE(view->isCopied());
    // The recording's player goes while the log it writes to is still there.
    show(screenshot);
}
