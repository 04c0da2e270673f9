#include "capture/ClipboardService.h"
#include "capture/ActionTestSupport.h"
#include "model/CaptureErrors.h"
#include "model/CapturedImageStorage.h"
#include "model/TemporaryFiles.h"
#include "platform/qt/QtPasteboard.h"
#include "support/FakePasteboard.h"
#include "support/LogCapture.h"
#include "support/SimpleTiff.h"
#include "support/WaitUntil.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QPainter>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage patternImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(17, 34, 51));
    QPainter painter(&image);
    painter.fillRect(width / 4, height / 5, width / 3, height / 2, QColor(250, 120, 0));
    painter.fillRect(0, height - 3, width, 3, QColor(0, 200, 90));
    return image;
}

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

TEST_F(ClipboardServiceTest, ScreenshotInMemoryIsOfferedAsPngAndTiffEachEncodedOnceBeforehand)
{
    const CaptureItem item = makeScreenshotInMemory(tmp, filledImage(64, 48, Qt::green));
    QSemaphore begun, resume;
    pasteboard->fakeEncoder->beforeTiff = [&] {
        begun.release();
        resume.acquire();
    };
    QCoro::Task<bool> copying = service.copy(item);
    ASSERT_TRUE(begun.tryAcquire(1, 10000));
    QCoreApplication::processEvents();
    EXPECT_TRUE(pasteboard->calls.isEmpty()) << "offered while its TIFF was being made";
    resume.release();
    EXPECT_EQ(errorOf<CaptureActionError>(std::move(copying)), std::nullopt);
    EXPECT_EQ(pasteboard->calls, QStringList({"offer(image/png,image/tiff)"}));
    EXPECT_EQ(log.messages("export"),
              QStringList({"Copying capture item " + idText(item) + " to clipboard",
                           "Successfully copied capture to clipboard"}));

    EXPECT_EQ(pasteboard->paste("image/tiff"), "TIFF 64x48");
    EXPECT_EQ(pasteboard->paste("image/png"), "PNG 64x48");
    EXPECT_EQ(pasteboard->paste("image/png"), "PNG 64x48");
    EXPECT_EQ(pasteboard->encodings.load(), 2);
}

TEST_F(ClipboardServiceTest, FinishedPngIsOfferedAsItIsOnDiskOrMadeWholeAgain)
{
    const CaptureItem item = makeScreenshot(patternImage(40, 30));
    waitForWrites();
    QFile file(tmp.captureFile(item.fileName()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray onDisk = file.readAll();
    EXPECT_EQ(copy(item), std::nullopt);
    // The capture leaves the tray and its file goes before anyone pastes.
    file.remove();
    EXPECT_EQ(pasteboard->paste("image/png"), onDisk);
    EXPECT_EQ(pasteboard->paste("image/tiff"), "TIFF 40x30");
    EXPECT_EQ(pasteboard->encodings.load(), 1) << "only the TIFF is made";

    // A file that lost its end chunk still decodes here, but other programs refuse it: what is
    // offered is a new PNG of its picture, which they read.
    const QImage noise = noisyImage(90, 70, 5);
    const CaptureItem endless = makeScreenshot(noise);
    ASSERT_TRUE(spoilFile(endless.storedImage(QDeadlineTimer(10000)).pngPath, Spoil::endCut));
    EXPECT_EQ(copy(endless), std::nullopt);
    QImage pasted;
    ASSERT_TRUE(pasted.loadFromData(pasteboard->paste("image/png"), "PNG"));
    EXPECT_EQ(pasted.convertToFormat(QImage::Format_RGB32), noise);
}

TEST_F(ClipboardServiceTest, WhatIsOfferedDoesNotKeepThePasteboardAlive)
{
    // The fake keeps its offers inside itself, as a clipboard object keeps what it offers.
    auto own = std::make_shared<FakePasteboard>();
    const std::weak_ptr<FakePasteboard> watched = own;
    {
        ClipboardService ownService(own);
        const CaptureItem image = makeScreenshotInMemory(tmp, filledImage(32, 24, Qt::red));
        ASSERT_EQ(errorOf<CaptureActionError>(ownService.copy(image)), std::nullopt);
    }
    EXPECT_EQ(own->paste("image/png"), "PNG 32x24") << "offered before the service went";
    EXPECT_EQ(own->offeredTypes(), QStringList({"image/png", "image/tiff"}));
    own.reset();
    EXPECT_TRUE(watched.expired()) << "the pasteboard outlives everyone who holds it";
}

TEST_F(ClipboardServiceTest, JustCapturedScreenshotPastesTheCapturesOwnPng)
{
    // Large enough that its PNG is still being written when the copy is made.
    const CaptureItem item = makeScreenshot(patternImage(1600, 1200));
    EXPECT_EQ(copy(item), std::nullopt);
    const QByteArray pasted = pasteboard->paste("image/png");
    QFile file(tmp.captureFile(item.fileName()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(pasted, file.readAll());
    EXPECT_EQ(pasteboard->paste("image/tiff"), "TIFF 1600x1200");
    EXPECT_EQ(pasteboard->encodings.load(), 1) << "the same PNG is not encoded twice";
}

// A copy begun as the capture's file is written makes its TIFF from the pixels kept a while
// after the write, without decoding the file; after that while nothing holds them any more.
TEST_F(ClipboardServiceTest, ACopyRightAfterTheWriteMakesItsTiffFromThePixelsKeptAWhile)
{
    using namespace std::chrono_literals;
    const std::chrono::milliseconds kept = CapturedImageStorage::setRecentPixelsKept(1h);
    const auto restore = qScopeGuard([kept] { CapturedImageStorage::setRecentPixelsKept(kept); });
    const QImage picture = patternImage(64, 48);
    const CaptureItem item = makeScreenshot(picture);
    waitForWrites();
    ASSERT_TRUE(item.storedImage().pixels.isNull()) << "written";
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_EQ(pasteboard->fakeEncoder->tiffImage.constBits(), picture.constBits())
        << "made from the pixels kept, not from the file decoded";

    CapturedImageStorage::setRecentPixelsKept(0ms);
    const QImage later = patternImage(48, 64);
    const CaptureItem laterItem = makeScreenshot(later);
    waitForWrites();
    EXPECT_TRUE(waitUntil([&] { return later.isDetached(); })) << "let go of";
}

TEST_F(ClipboardServiceTest, OneAcceptedRepresentationIsEnoughButNoneFails)
{
    const CaptureItem item = makeScreenshot(filledImage(8, 8, Qt::red));
    pasteboard->refusedTypes = {"image/png"};
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_EQ(pasteboard->offeredTypes(), QStringList("image/tiff"));
    pasteboard->refusedTypes = {"image/tiff"};
    EXPECT_EQ(copy(item), std::nullopt);
    EXPECT_EQ(pasteboard->offeredTypes(), QStringList("image/png"));

    pasteboard->refusedTypes = {"image/png", "image/tiff"};
    EXPECT_EQ(copy(item), CaptureActionError::copyFailed("the clipboard did not take it"));
    EXPECT_TRUE(log.lines().contains("export|error|NSPasteboard rejected image data"));
}

TEST_F(ClipboardServiceTest, WithoutAnImageTheClipboardKeepsItsContents)
{
    fillClipboard();
    EXPECT_EQ(copy(makeScreenshotInMemory(tmp, QImage())),
              CaptureActionError::copyFailed("Could not generate PNG data"));
    EXPECT_TRUE(log.lines().contains("export|error|Failed to generate PNG data for clipboard"));

    // An image that can no longer be read is never copied as a blank picture.
    const auto gone = CaptureActionError::copyFailed("its picture can no longer be read");
    EXPECT_EQ(copy(makeUnreadableScreenshot(tmp)), gone);
    const CaptureItem damaged = makeScreenshot(filledImage(30, 20, Qt::red));
    waitForWrites();
    QFile file(tmp.captureFile(damaged.fileName()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a PNG");
    file.close();
    EXPECT_EQ(copy(damaged), gone);

    EXPECT_EQ(pasteboard->encodings.load(), 1) << "the empty picture's try";
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
              QStringList({"file(" + QUrl::fromLocalFile(movie).toString() + ")"}));
    EXPECT_EQ(pasteboard->encodings.load(), 0);

    // A refused file URL is a failure.
    pasteboard->refuseFileURL = true;
    EXPECT_EQ(copy(item), CaptureActionError::copyFailed("the clipboard did not take it"));
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));
}

TEST_F(ClipboardServiceTest, RecordingWithoutItsMovieAsRecordedFails)
{
    fillClipboard();
    const std::optional<CaptureActionError> error =
        copy(makeRecording(tmp.path() + "/Recording-gone.mp4"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), CaptureActionError::Kind::copyFailed);
    EXPECT_TRUE(pasteboard->calls.isEmpty());
    EXPECT_TRUE(log.lines().contains("export|error|Failed to copy video to clipboard"));

    // Cut short since it was staged.
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile file(movie);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("movie bytes") == 11);
    file.close();
    const CaptureItem item = makeRecording(movie);
    ASSERT_TRUE(file.resize(5));
    EXPECT_EQ(copy(item),
              CaptureActionError::copyFailed("The recording file can no longer be read"));
    EXPECT_TRUE(pasteboard->calls.isEmpty());
}

class CopiedRecordingCleanupTest : public ClipboardServiceTest {
protected:
    // A deletion comes due at the next turn of the event loop.
    void SetUp() override { TemporaryFiles::setCleanupDelay(std::chrono::milliseconds(0)); }
    void TearDown() override
    {
        TemporaryFiles::setCleanupDelay(std::chrono::seconds(180));
        ClipboardServiceTest::TearDown();
    }

    // A removed capture's files are deleted once the delay is over.
    static void removeCapture(const CaptureItem &item)
    {
        item.scheduleTemporaryFileCleanup();
        QCoreApplication::processEvents();
        waitForWrites();
    }
    static bool goesAway(const QString &path)
    {
        return waitUntil([&] {
            waitForWrites();
            return !QFile::exists(path);
        });
    }
    QString makeMovie(const QString &name) const
    {
        const QString movie = tmp.path() + "/" + name;
        QFile(movie).open(QIODevice::WriteOnly);
        return movie;
    }
};

TEST_F(CopiedRecordingCleanupTest, MovieStaysWhileOfferedAndGoesWhenAnotherProgramCopies)
{
    const QString movie = makeMovie("Recording-1.mp4");
    const CaptureItem item = makeRecording(movie);
    ASSERT_EQ(copy(item), std::nullopt);
    removeCapture(item);
    EXPECT_TRUE(QFile::exists(movie)) << "a paste may still ask for it";

    pasteboard->takeOver();
    EXPECT_TRUE(goesAway(movie));
}

TEST_F(CopiedRecordingCleanupTest, MovieGoesWhenOurNextCopyOrTheProgramEndReplacesIt)
{
    const QString first = makeMovie("Recording-1.mp4");
    const QString second = makeMovie("Recording-2.mp4");
    const CaptureItem firstItem = makeRecording(first);
    const CaptureItem secondItem = makeRecording(second);
    ASSERT_EQ(copy(firstItem), std::nullopt);
    removeCapture(firstItem);
    // Copied twice over: the second copy holds it as long as the first did.
    ASSERT_EQ(copy(firstItem), std::nullopt);
    EXPECT_TRUE(QFile::exists(first));

    ASSERT_EQ(copy(secondItem), std::nullopt);
    EXPECT_TRUE(goesAway(first));
    removeCapture(secondItem);
    EXPECT_TRUE(QFile::exists(second));

    // The program ends: the clipboard's contents go with it.
    pasteboard.reset();
    service = ClipboardService(std::make_shared<FakePasteboard>());
    EXPECT_TRUE(goesAway(second));
}

TEST_F(CopiedRecordingCleanupTest, MovieReleasedBeforeTheDelayStillGoesOnTime)
{
    const QString movie = makeMovie("Recording-1.mp4");
    const CaptureItem item = makeRecording(movie);
    ASSERT_EQ(copy(item), std::nullopt);
    pasteboard->takeOver();
    EXPECT_TRUE(QFile::exists(movie)) << "the capture is still staged";
    removeCapture(item);
    EXPECT_TRUE(goesAway(movie));
}

// Through Qt's clipboard (in-process here), what a paste reads back decodes to the capture.
class ClipboardPasteTest : public ::testing::Test {
protected:
    void TearDown() override { QGuiApplication::clipboard()->clear(); }

    static QImage pasted(const QString &type)
    {
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        if (data == nullptr)
            return {};
        const QByteArray bytes = data->data(type);
        const QImage image =
            type == "image/tiff" ? readSimpleTiff(bytes) : QImage::fromData(bytes, "PNG");
        return image.convertToFormat(QImage::Format_RGB32);
    }

    TempDirScope tmp;
    ClipboardService service{std::make_shared<platform::QtPasteboard>()};
};

TEST_F(ClipboardPasteTest, EveryFormatCarriesTheCapturesPixelsAfterTheCaptureWent)
{
    // Each copy changes the clipboard once, with every format: never emptied first, never
    // offering the PNG alone.
    QSignalSpy changes(QGuiApplication::clipboard(), &QClipboard::dataChanged);
    const QImage image = patternImage(160, 90);
    {
        const CaptureItem held = makeScreenshotInMemory(tmp, image);
        ASSERT_EQ(errorOf<CaptureActionError>(service.copy(held)), std::nullopt);
    }
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->formats(),
              QStringList({"image/png", "image/tiff"}));
    EXPECT_EQ(pasted("image/tiff"), image);
    EXPECT_EQ(pasted("image/png"), image);
    EXPECT_EQ(pasted("image/png"), image) << "a second paste gets the same";

    const QImage other = patternImage(90, 160);
    {
        const CaptureItem onDisk = makeScreenshot(other);
        waitForWrites();
        ASSERT_EQ(errorOf<CaptureActionError>(service.copy(onDisk)), std::nullopt);
        QFile::remove(tmp.captureFile(onDisk.fileName()));
    }
    EXPECT_EQ(changes.count(), 2);
    EXPECT_EQ(pasted("image/png"), other);
    EXPECT_EQ(pasted("image/tiff"), other);
}

TEST_F(ClipboardPasteTest, PastesAreServedAfterTheServiceAndItsPasteboardWent)
{
    // As at the program's end, when a clipboard manager takes the contents over.
    const QImage image = patternImage(64, 48);
    std::weak_ptr<platform::QtPasteboard> watched;
    {
        auto pasteboard = std::make_shared<platform::QtPasteboard>();
        watched = pasteboard;
        ClipboardService own(pasteboard);
        const CaptureItem held = makeScreenshotInMemory(tmp, image);
        ASSERT_EQ(errorOf<CaptureActionError>(own.copy(held)), std::nullopt);
    }
    EXPECT_TRUE(watched.expired()) << "the clipboard's contents do not hold the pasteboard";
    EXPECT_EQ(pasted("image/png"), image);
    EXPECT_EQ(pasted("image/tiff"), image);
}

} // namespace
