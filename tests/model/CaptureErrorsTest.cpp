#include "model/CaptureErrors.h"
#include "platform/Log.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

TEST(CaptureErrors, MessagesKeepTheirPrefixAndReasonVerbatim)
{
    EXPECT_EQ(CaptureError::captureFailed("timeout").errorDescription(), "Capture failed: timeout");
    EXPECT_EQ(CaptureError::captureFailed("").errorDescription(), "Capture failed: ");
    EXPECT_EQ(CaptureError::queueFull().errorDescription(),
              "Corvanta is full - save or delete a capture.");
    EXPECT_STREQ(CaptureError::cancelled().what(), "Capture was cancelled.");
    EXPECT_EQ(CaptureActionError::copyFailed("x").errorDescription(),
              "Failed to copy to clipboard: x");
    EXPECT_EQ(CaptureActionError::saveCancelled().errorDescription(), "Save was cancelled.");
}

TEST(CaptureErrors, EqualityComparesCaseAndReason)
{
    EXPECT_NE(CaptureActionError::saveFailed("r"), CaptureActionError::copyFailed("r"));
    EXPECT_EQ(CaptureActionError::saveCancelled(), CaptureActionError::saveCancelled());
    EXPECT_NE(CaptureActionError::saveFailed("a"), CaptureActionError::saveFailed("b"));
    EXPECT_EQ(CaptureError::captureFailed("a"), CaptureError::captureFailed("a"));
}

TEST(Log, CategoriesLiveUnderTheProgramIdentifier)
{
    EXPECT_STREQ(Log::exportLog().categoryName(), "com.corvanta.app.export");
    LogCapture capture;
    qCInfo(Log::queue, "Enqueued capture item %s. Current count: %ld", "X", 3L);
    EXPECT_EQ(capture.messages("queue"), QStringList{"Enqueued capture item X. Current count: 3"});
}
