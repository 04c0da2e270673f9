#include "app/TrayPreviewWiring.h"
#include "AppEnvironmentFixture.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "model/SettingsStore.h"
#include "pins/PinManager.h"
#include "pins/PinStackWindowController.h"
#include "platform/PointerMonitor.h"
#include "preview/QuickLookPreviewController.h"
#include "support/BackgroundSettled.h"
#include "support/WaitUntil.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchWindowController.h"
#include "tray/TrayInformation.h"

#include <QFile>
#include <QKeyEvent>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// The tray the program builds: the environment's own notch tray over the doubles, with three
// captures staged.
class TrayPreviewWiringTest : public AppEnvironmentFixture {
protected:
    void SetUp() override
    {
        AppEnvironment::Options options = environmentOptions();
        options.notchTray = true;
        environment = std::make_unique<AppEnvironment>(std::move(options));
        tray = dynamic_cast<NotchWindowController *>(
            environment->captureCoordinator().notchWindowController());
        ASSERT_NE(tray, nullptr);
        for (int i = 0; i < 3; ++i) {
            captures << makeScreenshot(filledImage(320 + i, 200, Qt::white));
            environment->queue().enqueue(captures.last());
        }
    }
    void TearDown() override
    {
        if (environment)
            environment->previewController().close();
    }

    // A key pressed on the expanded tray with the capture selected.
    void press(const CaptureItem &item, Qt::Key key, const QString &text)
    {
        environment->queue().setSelectedItemID(item.id());
        const QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, text);
        EXPECT_TRUE(tray->handleKeyDown(event)) << text.toStdString();
    }

    NotchWindowController *tray = nullptr;
    QList<CaptureItem> captures;
};

} // namespace

TEST_F(TrayPreviewWiringTest, OpenAndAnnotateShowTheSelectedCaptureInThePreview)
{
    QuickLookPreviewController &preview = environment->previewController();
    ASSERT_TRUE(tray->onQuickLook);
    tray->onQuickLook(captures.at(1));
    EXPECT_TRUE(preview.isVisible());
    EXPECT_TRUE(preview.isPersistent()) << "like a click on the thumbnail";
    EXPECT_EQ(preview.currentItemID(), captures.at(1).id());
    EXPECT_FALSE(preview.isMarkupMode());
    // The tray's own save goes with it: the coordinator asks where to save.
    preview.performSave(captures.at(1));
    EXPECT_TRUE(waitUntil([&] { return fakes.savePanel->shown.size() == 1; }));

    tray->onAnnotate(captures.at(0));
    EXPECT_EQ(preview.currentItemID(), captures.at(0).id());
    EXPECT_TRUE(preview.isMarkupMode());
}

TEST_F(TrayPreviewWiringTest, TextGoesToTheClipboardOrTheTraySaysThereIsNone)
{
    environment->settingsStore().setSoundEffectsEnabled(true);
    fakes.textRecognizer->answer({"Invoice 42"});
    tray->onOCR(captures.at(2));
    ASSERT_TRUE(waitUntil([&] { return fakes.pasteboard->calls.contains("string(Invoice 42)"); }));
    ASSERT_TRUE(
        waitUntil([&] { return tray->state().noticeFor(captures.at(2).id()) == "Copied!"; }));

    fakes.textRecognizer->result = {};
    tray->onOCR(captures.at(1));
    const QString none = QStringLiteral("No readable text was found in the image.");
    ASSERT_TRUE(waitUntil([&] { return tray->state().noticeFor(captures.at(1).id()) == none; }));
    EXPECT_EQ(tray->state().noticeAbout(captures.at(1).id())->tone, TrayNotice::Tone::problem);
    EXPECT_FALSE(tray->state().noticeFor(captures.at(2).id()))
        << "the notice belongs to its capture";
}

TEST_F(TrayPreviewWiringTest, TheTraySaysReadingWhileItWorksAndCopiedOnceTheTextIsCopied)
{
    fakes.textRecognizer->answer({"Invoice 42"});
    fakes.textRecognizer->hold();
    const QUuid id = captures.at(0).id();
    tray->onOCR(captures.at(0));
    EXPECT_EQ(tray->state().noticeAbout(id),
              (TrayNotice{id, "Reading...", TrayNotice::Tone::progress}));
    fakes.textRecognizer->release();
    ASSERT_TRUE(
        waitUntil([&] { return tray->state().noticeFor(id) != QStringLiteral("Reading..."); }));
    EXPECT_TRUE(fakes.pasteboard->calls.contains("string(Invoice 42)"));
    EXPECT_EQ(tray->state().noticeAbout(id),
              (TrayNotice{id, "Copied!", TrayNotice::Tone::success}));
    // As briefly as the preview's confirmation.
    ASSERT_TRUE(waitUntil([&] { return !tray->state().noticeFor(id); }));
}

// The text's turn on the clipboard is the key's: a copy pressed while the picture is still being
// decoded is the later one and keeps the clipboard, and the text copy ends without a word.
TEST_F(TrayPreviewWiringTest, ACopyPressedWhileTheTextsPictureDecodesKeepsTheClipboard)
{
    tray->show(std::nullopt, TrayInteractionState::expanded);
    fakes.textRecognizer->answer({"Invoice 42"});
    const QUuid read = captures.at(0).id();
    {
        PoolBlocker pool;
        press(captures.at(0), Qt::Key_T, QStringLiteral("t"));
        press(captures.at(1), Qt::Key_C, QStringLiteral("c"));
        // The copy's calls on the main thread come through while the picture waits for its decode.
        ASSERT_TRUE(waitUntil([&] { return environment->queue().items().at(1).state().isBusy(); }));
        bool through = false;
        QMetaObject::invokeMethod(
            qApp, [&through] { through = true; }, Qt::QueuedConnection);
        ASSERT_TRUE(waitUntil([&through] { return through; }));
    }
    ASSERT_TRUE(waitUntil([&] {
        return tray->state().noticeFor(read) != QStringLiteral("Reading...") &&
               !environment->queue().items().at(1).state().isBusy();
    }));
    ASSERT_TRUE(backgroundSettled());
    EXPECT_EQ(fakes.pasteboard->calls, QStringList("offer(image/png,image/tiff)"))
        << qPrintable(fakes.pasteboard->calls.join(" "));
    EXPECT_FALSE(tray->state().noticeFor(read))
        << qPrintable(tray->state().noticeFor(read).value_or(QString()));
}

TEST_F(TrayPreviewWiringTest, TheExpandedTraysKeysReadTextOpenThePreviewAndPin)
{
    environment->settingsStore().setSoundEffectsEnabled(true);
    tray->show(std::nullopt, TrayInteractionState::expanded);
    ASSERT_EQ(tray->interactionState(), TrayInteractionState::expanded);

    fakes.textRecognizer->answer({"Invoice 42"});
    press(captures.at(1), Qt::Key_T, QStringLiteral("t"));
    ASSERT_TRUE(waitUntil([&] { return fakes.pasteboard->calls.contains("string(Invoice 42)"); }));
    EXPECT_TRUE(
        waitUntil([&] { return tray->state().noticeFor(captures.at(1).id()) == "Copied!"; }));

    press(captures.at(2), Qt::Key_Space, QStringLiteral(" "));
    QuickLookPreviewController &preview = environment->previewController();
    EXPECT_TRUE(preview.isVisible());
    EXPECT_EQ(preview.currentItemID(), captures.at(2).id());

    press(captures.at(0), Qt::Key_P, QStringLiteral("p"));
    ASSERT_TRUE(waitUntil([&] { return environment->pinManager().stackController(); }));
    PinStackWindowController *deck = environment->pinManager().stackController();
    ASSERT_EQ(deck->items().size(), 1);
    EXPECT_EQ(deck->items().first()->id(), captures.at(0).id());
    environment->pinManager().closeAll();
}

TEST_F(TrayPreviewWiringTest, WithItsPictureGoneTheTraySaysSoRatherThanReadingNothing)
{
    fakes.textRecognizer->answer({"Invoice 42"});
    const CaptureItem gone = captures.at(1);
    ASSERT_TRUE(QFile::remove(gone.storedImage(QDeadlineTimer(10000)).pngPath));
    tray->onOCR(gone);
    ASSERT_TRUE(waitUntil([&] {
        return tray->state().noticeFor(gone.id()) ==
               QStringLiteral("Couldn't read text (its picture can no longer be read)");
    }));
    EXPECT_EQ(tray->state().noticeAbout(gone.id())->tone, TrayNotice::Tone::problem);
    EXPECT_FALSE(fakes.pasteboard->calls.contains("string(Invoice 42)"));
}

// A capture whose file keeps its header but lost its body, or became a named pipe, is refused by
// each of the tray's actions before anything is offered, asked or pinned, and the tray says the
// newest refusal.
TEST_F(TrayPreviewWiringTest, APictureDamagedAfterItsHeaderIsRefusedAndTheNewestRefusalShows)
{
    environment->settingsStore().setSoundEffectsEnabled(true);
    tray->show(std::nullopt, TrayInteractionState::expanded);
    ASSERT_NE(tray->trayView(), nullptr);
    const QString gone = QStringLiteral("its picture can no longer be read");
    for (const Spoil damage : {Spoil::cut, Spoil::scrambled, Spoil::pipe}) {
        SCOPED_TRACE(int(damage));
        const CaptureItem item = makeScreenshot(noisyImage(160, 100, quint32(damage)));
        environment->queue().enqueue(item);
        ASSERT_TRUE(spoilFile(item.storedImage(QDeadlineTimer(10000)).pngPath, damage));
        const auto says = [&](const QString &text) {
            return waitUntil([&] {
                for (const CaptureItem &staged : environment->queue().items()) {
                    if (staged.id() != item.id())
                        continue;
                    const auto shown =
                        TrayInformation::status(staged, tray->state().noticeAbout(item.id()));
                    return shown && shown->text == text;
                }
                return false;
            });
        };

        press(item, Qt::Key_P, QStringLiteral("p"));
        EXPECT_TRUE(says("Couldn't pin (" + gone + ")"));
        EXPECT_EQ(environment->pinManager().stackController(), nullptr) << "no grey card";
        QWidget *large = tray->trayView()->findChild<QWidget *>("largeThumbnail");
        ASSERT_NE(large, nullptr);
        QTest::mousePress(large, Qt::LeftButton, {}, large->rect().center());
        QTest::mouseMove(large, large->rect().center() + QPoint(40, 0));
        EXPECT_TRUE(says("Couldn't drag (" + gone + ")"));
        QTest::mouseRelease(large, Qt::LeftButton, {}, large->rect().center());
        press(item, Qt::Key_C, QStringLiteral("c"));
        EXPECT_TRUE(says("Couldn't copy (Failed to copy to clipboard: " + gone + ")"));
        press(item, Qt::Key_S, QStringLiteral("s"));
        EXPECT_TRUE(says("Couldn't save (Failed to save screenshot: " + gone + ")"));
        press(item, Qt::Key_P, QStringLiteral("p"));
        EXPECT_TRUE(says("Couldn't pin (" + gone + ")")) << "newer than the failed save";
    }
    EXPECT_TRUE(fakes.pasteboard->calls.isEmpty()) << "nothing offered";
    EXPECT_TRUE(fakes.soundPlayer->calls.isEmpty()) << "no copy or save sound";
    EXPECT_TRUE(fakes.savePanel->shown.isEmpty()) << "no name asked for a picture not there";
}

// A capture's picture is decoded away from the main thread for every action that needs it: while
// the background threads are held up, the tray's pin, copy and save do nothing yet and the
// program goes on answering; once they go on, each ends with the capture's picture.
TEST_F(TrayPreviewWiringTest, ThePictureIsDecodedAwayFromTheMainThread)
{
    tray->show(std::nullopt, TrayInteractionState::expanded);
    QList<QImage> pictures;
    QList<CaptureItem> staged;
    for (quint32 seed = 1; seed <= 4; ++seed) {
        pictures << noisyImage(160, 100, seed);
        staged << makeScreenshot(pictures.last());
        environment->queue().enqueue(staged.last());
        // Written again by someone else: a file no longer known whole, to be decoded.
        const QString path = staged.last().storedImage(QDeadlineTimer(10000)).pngPath;
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        file.close();
        ASSERT_TRUE(QFile::remove(path));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    {
        PoolBlocker pool;
        press(staged[0], Qt::Key_P, QStringLiteral("p"));
        press(staged[1], Qt::Key_C, QStringLiteral("c"));
        press(staged[2], Qt::Key_S, QStringLiteral("s"));
        // Deleted while its picture waits to be decoded: it makes no card.
        press(staged[3], Qt::Key_P, QStringLiteral("p"));
        environment->queue().remove(staged[3].id());
        QTest::qWait(200);
        EXPECT_EQ(environment->pinManager().stackController(), nullptr);
        EXPECT_TRUE(fakes.pasteboard->calls.isEmpty());
        EXPECT_TRUE(fakes.savePanel->shown.isEmpty());
    }
    ASSERT_TRUE(waitUntil([&] {
        const PinStackWindowController *deck = environment->pinManager().stackController();
        return deck && !deck->items().isEmpty() && !fakes.pasteboard->calls.isEmpty() &&
               !fakes.savePanel->shown.isEmpty();
    }));
    ASSERT_TRUE(backgroundSettled());
    const QList<PinItemPtr> cards = environment->pinManager().stackController()->items();
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(cards.first()->id(), staged[0].id());
    QImage pasted;
    ASSERT_TRUE(pasted.loadFromData(fakes.pasteboard->paste("image/png"), "PNG"));
    EXPECT_EQ(pasted.convertToFormat(QImage::Format_RGB32), pictures[1]);
}
