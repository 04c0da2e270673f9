#include "capture/ClipboardService.h"
#include "capture/ActionTestSupport.h"
#include "model/CaptureErrors.h"
#include "support/FakePasteboard.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

namespace {

class ClipboardServiceTest : public ::testing::Test {
protected:
    void copy(const CaptureItem &item) { QCoro::waitFor(service.copy(item)); }
    std::optional<CaptureActionError> copyError(const CaptureItem &item)
    {
        return errorOf<CaptureActionError>(service.copy(item));
    }
    // Something another program left on the clipboard.
    void fillClipboard()
    {
        pasteboard->setString(QStringLiteral("earlier"));
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
    copy(item);

    EXPECT_EQ(pasteboard->calls,
              QStringList({"clear", "data(image/png)", "data(image/tiff)"}));
    ASSERT_EQ(pasteboard->offeredTypes(), QStringList({"image/png", "image/tiff"}));
    EXPECT_EQ(pasteboard->offered[0].second, "PNG 64x48");
    EXPECT_EQ(pasteboard->offered[1].second, "TIFF 64x48");
    for (QThread *thread : pasteboard->encodingThreads())
        EXPECT_NE(thread, QCoreApplication::instance()->thread());
    EXPECT_EQ(log.messages("export"),
              QStringList({"Copying capture item " + idText(item) + " to clipboard",
                           "Successfully copied capture to clipboard"}));
}

TEST_F(ClipboardServiceTest, OneAcceptedRepresentationIsEnough)
{
    pasteboard->refusedTypes = {"image/png"};
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))), std::nullopt);
    EXPECT_EQ(pasteboard->offeredTypes(), QStringList({"image/tiff"}));

    pasteboard->refusedTypes = {"image/tiff"};
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))), std::nullopt);
    EXPECT_EQ(pasteboard->offeredTypes(), QStringList({"image/png"}));

    // PNG alone, when TIFF could not be made.
    pasteboard->refusedTypes.clear();
    pasteboard->tiffFails = true;
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))), std::nullopt);
    EXPECT_EQ(pasteboard->offeredTypes(), QStringList({"image/png"}));
}

TEST_F(ClipboardServiceTest, BothRepresentationsRefusedFails)
{
    pasteboard->refusedTypes = {"image/png", "image/tiff"};
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))),
              CaptureActionError::copyFailed("NSPasteboard write failed"));
    EXPECT_TRUE(log.lines().contains("export|error|NSPasteboard rejected image data"));

    // A refused PNG with no TIFF to fall back on is the same failure.
    pasteboard->refusedTypes = {"image/png"};
    pasteboard->tiffFails = true;
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))),
              CaptureActionError::copyFailed("NSPasteboard write failed"));
}

TEST_F(ClipboardServiceTest, WithoutPngDataTheClipboardKeepsItsContents)
{
    fillClipboard();
    pasteboard->pngFails = true;
    EXPECT_EQ(copyError(makeScreenshot(filledImage(8, 8, Qt::red))),
              CaptureActionError::copyFailed("Could not generate PNG data"));
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_EQ(pasteboard->text, "earlier");
    EXPECT_TRUE(log.lines().contains("export|error|Failed to generate PNG data for clipboard"));
}

TEST_F(ClipboardServiceTest, UnreadableImageIsNeverCopiedAsABlankPicture)
{
    const CaptureItem item = makeUnreadableScreenshot(tmp);
    fillClipboard();
    EXPECT_EQ(copyError(item), CaptureActionError::copyFailed("Could not generate PNG data"));
    EXPECT_EQ(pasteboard->encodings(), 0);
    EXPECT_EQ(pasteboard->text, "earlier");
}

TEST_F(ClipboardServiceTest, RecordingIsOfferedAsItsMovieFileOnly)
{
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile(movie).open(QIODevice::WriteOnly);
    const CaptureItem item = makeRecording(movie);
    copy(item);

    EXPECT_EQ(pasteboard->calls,
              QStringList({"clear", "file(" + QUrl::fromLocalFile(movie).toString() + ")"}));
    EXPECT_EQ(pasteboard->fileURL, QUrl::fromLocalFile(movie));
    EXPECT_TRUE(pasteboard->offered.isEmpty());
    EXPECT_EQ(pasteboard->encodings(), 0);
    EXPECT_EQ(log.messages("export"),
              QStringList({"Copying capture item " + idText(item) + " to clipboard"}));

    // A refused file URL is only logged.
    pasteboard->refuseFileURL = true;
    EXPECT_EQ(copyError(item), std::nullopt);
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));
}

TEST_F(ClipboardServiceTest, RecordingWithoutItsMovieFails)
{
    fillClipboard();
    const CaptureItem item = makeRecording(tmp.path() + "/Recording-gone.mp4");
    const std::optional<CaptureActionError> error = copyError(item);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), CaptureActionError::Kind::copyFailed);
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_EQ(pasteboard->text, "earlier");
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));
}

} // namespace
