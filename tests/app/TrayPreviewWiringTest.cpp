#include "app/TrayPreviewWiring.h"
#include "AppEnvironmentFixture.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "model/SettingsStore.h"
#include "pins/PinManager.h"
#include "platform/PointerMonitor.h"
#include "preview/QuickLookPreviewController.h"
#include "support/WaitUntil.h"
#include "tray/NotchWindowController.h"

#include <QFile>
#include <QKeyEvent>
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
    PinStackWindowController *deck = environment->pinManager().stackController();
    ASSERT_NE(deck, nullptr);
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
