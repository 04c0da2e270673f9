#include "app/TrayPreviewWiring.h"
#include "AppEnvironmentFixture.h"
#include "model/CaptureQueue.h"
#include "model/CaptureTestSupport.h"
#include "model/SettingsStore.h"
#include "platform/PointerMonitor.h"
#include "preview/QuickLookPreviewController.h"
#include "support/WaitUntil.h"
#include "tray/NotchWindowController.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

class TrayPreviewWiringTest : public AppEnvironmentFixture {
protected:
    void SetUp() override
    {
        build();
        tray = std::make_unique<NotchWindowController>(NotchWindowController::Services{
            .queue = environment->queue(),
            .settings = environment->settingsStore(),
            .callbacks = {},
            .displays = *fakes.displays,
            .recorder = nullptr,
            .neighbours = {},
            .panels = nullptr,
            .pointerMonitor = nullptr,
            .compositor = fakes.compositor.get(),
            .screenGeometry = {},
            .timers = nullptr,
        });
        StagingTrayCallbacks actions;
        actions.onSave = [this](const CaptureItem &) { saves++; };
        connectTrayToPreview({.preview = environment->previewController(),
                              .ocr = environment->ocrService(),
                              .settings = environment->settingsStore()},
                             *tray, environment->queue(), actions);
        for (int i = 0; i < 3; ++i) {
            captures << makeScreenshot(filledImage(320 + i, 200, Qt::white));
            environment->queue().enqueue(captures.last());
        }
    }
    void TearDown() override
    {
        environment->previewController().close();
        tray.reset();
    }

    std::unique_ptr<NotchWindowController> tray;
    QList<CaptureItem> captures;
    int saves = 0;
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
    // The tray's own save goes with it.
    preview.performSave(captures.at(1));
    EXPECT_EQ(saves, 1);

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
    const QUuid id = captures.at(0).id();
    tray->onOCR(captures.at(0));
    ASSERT_TRUE(tray->state().noticeAbout(id));
    EXPECT_EQ(*tray->state().noticeAbout(id),
              (TrayNotice{id, "Reading...", TrayNotice::Tone::progress}));
    ASSERT_TRUE(
        waitUntil([&] { return tray->state().noticeFor(id) != QStringLiteral("Reading..."); }));
    EXPECT_TRUE(fakes.pasteboard->calls.contains("string(Invoice 42)"));
    EXPECT_EQ(tray->state().noticeAbout(id),
              (TrayNotice{id, "Copied!", TrayNotice::Tone::success}));
    // As briefly as the preview's confirmation.
    ASSERT_TRUE(waitUntil([&] { return !tray->state().noticeFor(id); }));
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
