#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "capture/ActionTestSupport.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeHaptics.h"
#include "support/FakeLoginItem.h"
#include "support/FakePasteboard.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeTextRecognizer.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using Result = platform::TextRecognizer::Result;

namespace {

class OCRServiceTest : public ::testing::Test {
protected:
    QString recognize() { return QCoro::waitFor(service.recognizeTextInBackground(image)); }
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

TEST_F(OCRServiceTest, RegionsBecomeLinesInTheirOrderAsRead)
{
    recognizer->result = FakeTextRecognizer::lines({"First line", "  second, indented  "});
    EXPECT_EQ(recognize(), "First line\n  second, indented  ");
    ASSERT_EQ(recognizer->threads().size(), 1);
    EXPECT_NE(recognizer->threads().first(), QCoreApplication::instance()->thread());

    // A region without a reading adds no empty line.
    recognizer->result.regions.insert(1, std::nullopt);
    EXPECT_EQ(recognize(), "First line\n  second, indented  ");
}

TEST_F(OCRServiceTest, NothingOrOnlyBlanksIsNoText)
{
    recognizer->result = {};
    EXPECT_EQ(recognizeError(), OCRError::noTextFound());
    recognizer->result = FakeTextRecognizer::lines({"   ", "\t"});
    EXPECT_EQ(recognizeError(), OCRError::noTextFound());
    recognizer->result.regions = {std::nullopt};
    EXPECT_EQ(recognizeError(), OCRError::noTextFound());
}

TEST_F(OCRServiceTest, RecognizerFailureIsReportedWithItsReason)
{
    recognizer->result.error = "cannot load the English language data";
    const std::optional<OCRError> error = recognizeError();
    EXPECT_EQ(error, OCRError::recognitionFailed("cannot load the English language data"));
    EXPECT_EQ(error->errorDescription(),
              "Text recognition failed: cannot load the English language data");
    EXPECT_EQ(OCRError::noTextFound().errorDescription(),
              "No readable text was found in the image.");
    EXPECT_FALSE(OCRError::recognitionFailed("a") == OCRError::recognitionFailed("b"));
}

TEST_F(OCRServiceTest, ContainsTextIsFalseOnEveryError)
{
    recognizer->result = FakeTextRecognizer::lines({"word"});
    EXPECT_TRUE(QCoro::waitFor(service.containsText(image)));
    recognizer->result = {};
    EXPECT_FALSE(QCoro::waitFor(service.containsText(image)));
    recognizer->result.error = "broken";
    EXPECT_FALSE(QCoro::waitFor(service.containsText(image)));
}

TEST_F(OCRServiceTest, CopyTextFillsTheClipboardAndAlwaysTaps)
{
    FakeLoginItem loginItem;
    UserDefaults defaults(tmp.path() + "/Corvanta.conf");
    SettingsStore settings(defaults, loginItem);

    recognizer->result = FakeTextRecognizer::lines({"one", "two"});
    settings.setSoundEffectsEnabled(true);
    EXPECT_EQ(QCoro::waitFor(service.copyText(image, settings)), "one\ntwo");
    EXPECT_EQ(pasteboard->calls, QStringList({"clear", "string(one\ntwo)"}));
    EXPECT_EQ(sounds->calls.size(), 1);
    EXPECT_EQ(haptics->performed, QList({platform::HapticPattern::alignment}));

    settings.setSoundEffectsEnabled(false);
    QCoro::waitFor(service.copyText(image, settings));
    EXPECT_EQ(sounds->calls.size(), 1);
    EXPECT_EQ(haptics->performed.size(), 2);

    // A failure leaves the clipboard and stays silent.
    pasteboard->calls.clear();
    recognizer->result = {};
    EXPECT_EQ(errorOf<OCRError>(service.copyText(image, settings)), OCRError::noTextFound());
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_EQ(haptics->performed.size(), 2);
}

} // namespace
