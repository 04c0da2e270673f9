#include "capture/ActionTestSupport.h"
#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "model/TemporaryFiles.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/qt/QtPasteboard.h"
#include "support/FakeHaptics.h"
#include "support/FakeSoundPlayer.h"
#include "support/SimpleTiff.h"
#include "support/TextLines.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"
#include "support/XclipPaste.h"
#include <QClipboard>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage linesImage(const QStringList &lines)
{
    QImage image(900, 60 + 50 * int(lines.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    drawTextLines(painter, lines, 22, QPoint(40, 60), 50);
    return image;
}

class ActionsDesktopTest : public X11DesktopTest {
protected:
    // What another program pastes under the type, decoded.
    static QImage pastedImage(const QString &type)
    {
        const QByteArray bytes = pasteWithXclip(type);
        const QImage image =
            type == "image/tiff" ? readSimpleTiff(bytes) : QImage::fromData(bytes, "PNG");
        return image.convertToFormat(QImage::Format_RGB32);
    }

    TempDirScope tmp;
    std::shared_ptr<platform::QtPasteboard> pasteboard = std::make_shared<platform::QtPasteboard>();
    ClipboardService clipboard{pasteboard};
};

TEST_F(ActionsDesktopTest, CopiedScreenshotPastesAsPngAndTiffAfterTheCaptureWent)
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(17, 34, 51));
    QPainter(&image).fillRect(40, 30, 100, 60, QColor(250, 120, 0));
    {
        const CaptureItem item = makeScreenshot(image);
        QCoro::waitFor(clipboard.copy(item));
        waitForWrites();
        QFile::remove(tmp.captureFile(item.fileName()));
    }

    const QList<QByteArray> targets = pasteWithXclip("TARGETS").split('\n');
    EXPECT_TRUE(targets.contains("image/png")) << targets.join(' ').toStdString();
    EXPECT_TRUE(targets.contains("image/tiff")) << targets.join(' ').toStdString();
    EXPECT_EQ(pastedImage("image/tiff"), image);
    EXPECT_EQ(pastedImage("image/png"), image);

    // Staged for a while: the PNG on disk is what a paste gets.
    const QImage later = image.mirrored(true, false);
    const CaptureItem staged = makeScreenshot(later);
    waitForWrites();
    QFile file(tmp.captureFile(staged.fileName()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QCoro::waitFor(clipboard.copy(staged));
    EXPECT_EQ(pasteWithXclip("image/png"), file.readAll());
    EXPECT_EQ(pastedImage("image/tiff"), later);
}

TEST_F(ActionsDesktopTest, CopiedRecordingPastesAsItsFile)
{
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile(movie).open(QIODevice::WriteOnly);
    QCoro::waitFor(clipboard.copy(makeRecording(movie)));

    const QList<QByteArray> targets = pasteWithXclip("TARGETS").split('\n');
    EXPECT_TRUE(targets.contains("text/uri-list"));
    EXPECT_TRUE(targets.contains("x-special/gnome-copied-files"));
    EXPECT_FALSE(targets.contains("image/png"));
    EXPECT_EQ(pasteWithXclip("text/uri-list").trimmed(), QUrl::fromLocalFile(movie).toEncoded());
}

TEST_F(ActionsDesktopTest, CopiedRecordingOutlivesItsCleanupUntilAnotherProgramCopies)
{
    // The deletion comes due at the next turn of the event loop.
    TemporaryFiles::setCleanupDelay(std::chrono::milliseconds(0));
    const auto restoreDelay =
        qScopeGuard([] { TemporaryFiles::setCleanupDelay(std::chrono::seconds(180)); });
    const QString movie = tmp.path() + "/Recording-1.mp4";
    QFile(movie).open(QIODevice::WriteOnly);
    const CaptureItem item = makeRecording(movie);
    QCoro::waitFor(clipboard.copy(item));
    item.scheduleTemporaryFileCleanup();
    QCoreApplication::processEvents();
    waitForWrites();
    EXPECT_TRUE(QFile::exists(movie));
    EXPECT_EQ(pasteWithXclip("text/uri-list").trimmed(), QUrl::fromLocalFile(movie).toEncoded());

    // xclip in the foreground owns the clipboard until we take it back.
    QProcess xclip;
    xclip.start("xclip", {"-selection", "clipboard", "-i", "-quiet"});
    ASSERT_TRUE(xclip.waitForStarted(5000));
    xclip.write("another program's text");
    xclip.closeWriteChannel();
    EXPECT_TRUE(waitUntil([&] {
        waitForWrites();
        return !QFile::exists(movie);
    }));
    QGuiApplication::clipboard()->setText("ours again");
    if (!xclip.waitForFinished(5000))
        xclip.kill();
    xclip.waitForFinished();
}

TEST_F(ActionsDesktopTest, TextRecognitionReadsDrawnLines)
{
    FeedbackService feedback(std::make_shared<FakeSoundPlayer>(), std::make_shared<FakeHaptics>());
    OCRService ocr(std::make_shared<platform::TesseractTextRecognizer>(), pasteboard, feedback);
    const QStringList lines = {"Staged captures wait in the tray",
                               "until they are saved 2048 times"};
    EXPECT_EQ(QCoro::waitFor(ocr.recognizeTextInBackground(linesImage(lines))), lines.join('\n'));
    EXPECT_EQ(errorOf<OCRError>(ocr.recognizeTextInBackground(linesImage({}))),
              OCRError::noTextFound());
}

} // namespace
