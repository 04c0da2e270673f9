#include "capture/ActionTestSupport.h"
#include "capture/ClipboardService.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "platform/linux/TesseractTextRecognizer.h"
#include "platform/qt/QtPasteboard.h"
#include "support/FakeHaptics.h"
#include "support/FakeSoundPlayer.h"
#include "support/X11DesktopTest.h"

#include "support/XclipPaste.h"
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QImage linesImage(const QStringList &lines)
{
    QImage image(900, 60 + 50 * int(lines.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    painter.setFont(font);
    painter.setPen(QColor(20, 20, 20));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(40, 60 + 50 * i, lines[i]);
    return image;
}

class ActionsDesktopTest : public X11DesktopTest {
protected:
    TempDirScope tmp;
    std::shared_ptr<platform::QtPasteboard> pasteboard = std::make_shared<platform::QtPasteboard>();
    ClipboardService clipboard{pasteboard};
};

TEST_F(ActionsDesktopTest, CopiedScreenshotPastesAsPngAndTiff)
{
    QImage image(320, 200, QImage::Format_RGB32);
    image.fill(QColor(17, 34, 51));
    QPainter(&image).fillRect(40, 30, 100, 60, QColor(250, 120, 0));
    QCoro::waitFor(clipboard.copy(makeScreenshot(image)));

    const QList<QByteArray> targets = pasteWithXclip("TARGETS").split('\n');
    EXPECT_TRUE(targets.contains("image/png")) << targets.join(' ').toStdString();
    EXPECT_TRUE(targets.contains("image/tiff")) << targets.join(' ').toStdString();
    const QImage pasted = QImage::fromData(pasteWithXclip("image/png"), "PNG");
    EXPECT_EQ(pasted.convertToFormat(QImage::Format_RGB32), image);
    EXPECT_TRUE(pasteWithXclip("image/tiff").startsWith("II*"));
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
