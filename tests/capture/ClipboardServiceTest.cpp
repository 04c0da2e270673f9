#include "capture/ClipboardService.h"
#include "capture/ActionTestSupport.h"
#include "model/CaptureErrors.h"
#include "support/FakePasteboard.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

class ClipboardServiceTest : public ::testing::Test {
protected:
    std::optional<CaptureActionError> copy(const CaptureItem &item)
    {
        return errorOf<CaptureActionError>(service.copy(item));
    }
    // What another program left on the clipboard.
    void fillClipboard()
    {
        pasteboard->setString("earlier");
        pasteboard->calls.clear();
    }

    TempDirScope tmp;
    LogCapture log;
    std::shared_ptr<FakePasteboard> pasteboard = std::make_shared<FakePasteboard>();
    ClipboardService service{pasteboard};
};

TEST_F(ClipboardServiceTest, ScreenshotIsOfferedAsPngThenTiffEncodedOffTheMainThread)
{
    const CaptureItem item = makeScreenshot(filledImage(64, 48, Qt::green));
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_EQ(pasteboard->calls, QStringList({"clear", "data(image/png)", "data(image/tiff)"}));
    EXPECT_EQ(pasteboard->offered, (QList<QPair<QString, QByteArray>>{
                                       {"image/png", "PNG 64x48"}, {"image/tiff", "TIFF 64x48"}}));
    EXPECT_EQ(pasteboard->encodingsOnMainThread.load(), 0);
    EXPECT_EQ(log.messages("export"),
              QStringList({"Copying capture item " + idText(item) + " to clipboard",
                           "Successfully copied capture to clipboard"}));
}

TEST_F(ClipboardServiceTest, OneAcceptedRepresentationIsEnoughButNoneFails)
{
    const CaptureItem item = makeScreenshot(filledImage(8, 8, Qt::red));
    pasteboard->refusedTypes = {"image/png"};
    EXPECT_EQ(copy(item), std::nullopt);
    pasteboard->refusedTypes = {"image/tiff"};
    EXPECT_EQ(copy(item), std::nullopt);

    // A refused PNG with no TIFF to fall back on.
    pasteboard->refusedTypes = {"image/png"};
    pasteboard->tiffFails = true;
    EXPECT_EQ(copy(item), CaptureActionError::copyFailed("NSPasteboard write failed"));
    EXPECT_TRUE(log.lines().contains("export|error|NSPasteboard rejected image data"));
}

TEST_F(ClipboardServiceTest, WithoutPngDataTheClipboardKeepsItsContents)
{
    fillClipboard();
    pasteboard->pngFails = true;
    EXPECT_EQ(copy(makeScreenshot(filledImage(8, 8, Qt::red))),
              CaptureActionError::copyFailed("Could not generate PNG data"));
    EXPECT_TRUE(log.lines().contains("export|error|Failed to generate PNG data for clipboard"));

    // An image that can no longer be read is never copied as a blank picture.
    pasteboard->pngFails = false;
    const int encodings = pasteboard->encodings.load();
    EXPECT_EQ(copy(makeUnreadableScreenshot(tmp)),
              CaptureActionError::copyFailed("Could not generate PNG data"));
    EXPECT_EQ(pasteboard->encodings.load(), encodings);
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_EQ(pasteboard->text, "earlier");
}

TEST_F(ClipboardServiceTest, RecordingIsOfferedAsItsMovieFileOnly)
{
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile(movie).open(QIODevice::WriteOnly);
    const CaptureItem item = makeRecording(movie);
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_EQ(pasteboard->calls,
              QStringList({"clear", "file(" + QUrl::fromLocalFile(movie).toString() + ")"}));
    EXPECT_EQ(pasteboard->encodings.load(), 0);

    // A refused file URL is only logged.
    pasteboard->refuseFileURL = true;
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));
}

TEST_F(ClipboardServiceTest, RecordingWithoutItsMovieFails)
{
    fillClipboard();
    const std::optional<CaptureActionError> error =
        copy(makeRecording(tmp.path() + "/Recording-gone.mp4"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), CaptureActionError::Kind::copyFailed);
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));
}

} // namespace
