#include "capture/OCRService.h"
#include "capture/ActionTestSupport.h"
#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "model/CaptureErrors.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeHaptics.h"
#include "support/FakeLoginItem.h"
#include "support/FakePasteboard.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeTextRecognizer.h"
#include "support/WaitUntil.h"

#include <QSemaphore>
#include <gtest/gtest.h>

namespace {

class OCRServiceTest : public ::testing::Test {
protected:
    std::optional<OCRError> recognizeError()
    {
        return errorOf<OCRError>(service.recognizeTextInBackground(image));
    }

    TempDirScope tmp;
    QImage image = filledImage(40, 20, Qt::white);
    std::shared_ptr<FakeTextRecognizer> recognizer = std::make_shared<FakeTextRecognizer>();
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    std::shared_ptr<FakeSoundPlayer> sounds = std::make_shared<FakeSoundPlayer>();
    std::shared_ptr<FakeHaptics> haptics = std::make_shared<FakeHaptics>();
    FeedbackService feedback{sounds, haptics};
    OCRService service{recognizer, pasteboard, feedback};
};

TEST_F(OCRServiceTest, RegionsBecomeLinesAsReadOffTheMainThread)
{
    recognizer->answer({"First line", "  second, indented  "});
    // A region without a reading adds no empty line.
    recognizer->result.regions.insert(1, std::nullopt);
    EXPECT_EQ(QCoro::waitFor(service.recognizeTextInBackground(image)),
              "First line\n  second, indented  ");
    EXPECT_EQ(recognizer->onMainThread.load(), 0);
}

TEST_F(OCRServiceTest, ContainsTextOnlyForTextBeyondBlanks)
{
    recognizer->answer({" ", "\n x \t"});
    EXPECT_TRUE(QCoro::waitFor(service.containsText(image)));
    recognizer->answer({" \n", "\t"});
    EXPECT_FALSE(QCoro::waitFor(service.containsText(image)));
    recognizer->result = {};
    EXPECT_FALSE(QCoro::waitFor(service.containsText(image)));
    recognizer->answer({"words"});
    recognizer->result.error = "cannot load the English language data";
    EXPECT_FALSE(QCoro::waitFor(service.containsText(image)));
    EXPECT_TRUE(pasteboard->calls.isEmpty());
}

TEST_F(OCRServiceTest, NoTextAndFailuresAreErrors)
{
    recognizer->result = {};
    EXPECT_EQ(recognizeError(), OCRError::noTextFound());
    recognizer->answer({"   ", "\t"});
    EXPECT_EQ(recognizeError(), OCRError::noTextFound());

    recognizer->result.error = "cannot load the English language data";
    const std::optional<OCRError> error = recognizeError();
    EXPECT_EQ(error, OCRError::recognitionFailed("cannot load the English language data"));
    EXPECT_EQ(error->errorDescription(),
              "Text recognition failed: cannot load the English language data");
}

TEST_F(OCRServiceTest, CopyTextFillsTheClipboardAndAlwaysTaps)
{
    FakeLoginItem loginItem;
    UserDefaults defaults(tmp.path() + "/Corvanta.conf");
    SettingsStore settings(defaults, loginItem);
    recognizer->answer({"one", "two"});
    settings.setSoundEffectsEnabled(false);
    EXPECT_EQ(QCoro::waitFor(service.copyText(image, settings)), "one\ntwo");
    EXPECT_EQ(pasteboard->calls, QStringList({"string(one\ntwo)"}))
        << "the text takes the clipboard's place at once: a paste never finds it empty";
    EXPECT_TRUE(sounds->calls.isEmpty());
    EXPECT_EQ(haptics->performed, QList({platform::HapticPattern::alignment}));
    settings.setSoundEffectsEnabled(true);
    QCoro::waitFor(service.copyText(image, settings));
    EXPECT_EQ(sounds->calls.size(), 1);

    // A failure leaves the clipboard alone and stays silent.
    pasteboard->calls.clear();
    recognizer->result = {};
    EXPECT_EQ(errorOf<OCRError>(service.copyText(image, settings)), OCRError::noTextFound());
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_EQ(haptics->performed.size(), 2);
    // So does a clipboard that refused the text.
    recognizer->answer({"one"});
    pasteboard->refusedTypes = {"text/plain"};
    EXPECT_EQ(errorOf<CaptureActionError>(service.copyText(image, settings)),
              CaptureActionError::copyFailed("the clipboard did not take it"));
    EXPECT_EQ(haptics->performed.size(), 2);
    EXPECT_EQ(sounds->calls.size(), 1);
}

// Text and pictures take turns on one clipboard: whichever was asked for last stays there, and
// the one overtaken neither writes nor sounds.
TEST_F(OCRServiceTest, TheCopyAskedForLastKeepsTheClipboardWhicheverEndsFirst)
{
    FakeLoginItem loginItem;
    UserDefaults defaults(tmp.path() + "/Corvanta.conf");
    SettingsStore settings(defaults, loginItem);
    settings.setSoundEffectsEnabled(true);
    ClipboardService clipboard(pasteboard);
    recognizer->answer({"read text"});

    recognizer->hold();
    QCoro::Task<std::optional<QString>> reading = service.copyText(image, settings);
    EXPECT_TRUE(QCoro::waitFor(clipboard.copyImage(filledImage(8, 6, Qt::red))));
    recognizer->release();
    EXPECT_EQ(QCoro::waitFor(std::move(reading)), std::nullopt);
    EXPECT_EQ(pasteboard->calls, QStringList({"offer(image/png,image/tiff)"}));
    EXPECT_TRUE(sounds->calls.isEmpty());

    QSemaphore begun, resume;
    pasteboard->fakeEncoder->beforeTiff = [&] {
        begun.release();
        resume.tryAcquire(1, 10000);
    };
    QCoro::Task<bool> picture = clipboard.copyImage(filledImage(8, 6, Qt::blue));
    ASSERT_TRUE(waitUntil([&] { return begun.tryAcquire(); }));
    EXPECT_EQ(QCoro::waitFor(service.copyText(image, settings)), "read text");
    resume.release();
    EXPECT_FALSE(QCoro::waitFor(std::move(picture)));
    EXPECT_EQ(pasteboard->calls.last(), "string(read text)");
    EXPECT_EQ(sounds->calls.size(), 1);
}

} // namespace
