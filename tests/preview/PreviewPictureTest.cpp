// The preview's actions on a screenshot whose file has gone or was damaged: the picture on show
// stands in for it, and without one the preview says what could not be done.

#include "PreviewViewFixture.h"
#include "model/CaptureErrors.h"
#include "preview/PreviewMediaView.h"
#include "preview/PreviewNotice.h"
#include "support/WaitUntil.h"

#include <QFile>
#include <QTest>

namespace {

// A picture whose every region differs, so that a blank or wrong one shows.
QImage vanishingPicture()
{
    QImage picture(640, 400, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    }
    return picture;
}

// Pixel for pixel, whichever format the picture was read back in.
QImage asRgb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST_F(PreviewViewTest, ACaptureWhoseFileVanishedIsCopiedPinnedAndReadFromThePictureShown)
{
    const QImage picture = vanishingPicture();
    const CaptureItem item = makeScreenshot(picture);
    queue.enqueue(item);
    waitForWrites();
    show(item);
    auto *media = view->findChild<PreviewMediaView *>();
    ASSERT_TRUE(waitUntil([&] { return media->hasFullImage(); }));
    ASSERT_TRUE(QFile::remove(item.storedImage().pngPath));
    ASSERT_TRUE(item.image().isNull());

    QTest::mouseClick(button(QStringLiteral("Pin to Screen")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return pins.items.size() == 1; }));
    EXPECT_EQ(pins.items.first().id(), item.id());
    EXPECT_EQ(asRgb(pins.items.first().image()), picture) << "the pin shows the picture, not grey";

    QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return copied.size() == 1; }));
    EXPECT_EQ(asRgb(copied.first().image()), picture);
    EXPECT_TRUE(view->isCopied());

    recognizer->answer({"Quarterly figures"});
    QTest::mouseClick(button(QStringLiteral("Copy Text (OCR)")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return view->ocrJustCopied(); }));
    EXPECT_EQ(pasteboard->calls.last(), QStringLiteral("string(Quarterly figures)"));

    // The picture is staged again, under the capture's name; the preview shows it throughout.
    const CaptureItem staged = queue.items().first();
    EXPECT_EQ(staged.id(), item.id());
    EXPECT_EQ(staged.fileName(), item.fileName());
    EXPECT_EQ(asRgb(staged.image()), picture);
    waitForWrites();
    EXPECT_TRUE(QFile::exists(item.storedImage().pngPath));
    EXPECT_EQ(asRgb(media->fullImage()), picture);
    EXPECT_TRUE(view->notice()->text().isEmpty());
}

// Whether its file went, lost its body after an intact header or became a named pipe, a capture
// with no picture on show
// is neither pinned, copied nor saved: the preview says why instead.
TEST_F(PreviewViewTest, WithNoPictureLeftTheActionsSaySoInThePreviewAndDoNothing)
{
    for (const std::optional<Spoil> damage :
         {std::optional<Spoil>(), std::optional(Spoil::cut), std::optional(Spoil::scrambled),
          std::optional(Spoil::pipe)}) {
        SCOPED_TRACE(damage ? int(*damage) : -1);
        const CaptureItem item = makeScreenshot(vanishingPicture());
        queue.enqueue(item);
        waitForWrites();
        const QString png = item.storedImage().pngPath;
        ASSERT_TRUE(damage ? spoilFile(png, *damage) : QFile::remove(png));
        // Opened after the file went: only the thumbnail is there to show.
        show(item);
        const QString name = item.fileName();
        const auto told = [&](const QString &undone) {
            return waitUntil([&] {
                return view->notice()->text() == "“" + name + "” could not be " + undone +
                                                     ": its picture can no longer be read.";
            });
        };

        QTest::mouseClick(button(QStringLiteral("Pin to Screen")), Qt::LeftButton);
        EXPECT_TRUE(told("pinned"));
        EXPECT_FALSE(view->notice()->isHidden());
        QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
        EXPECT_TRUE(told("copied"));
        EXPECT_FALSE(view->isCopied()) << "nothing was copied";
        QTest::mouseClick(button(QStringLiteral("Save to Disk")), Qt::LeftButton);
        EXPECT_TRUE(told("saved"));
        QTest::mouseClick(button(QStringLiteral("Copy")), Qt::LeftButton);
        EXPECT_TRUE(told("copied"));
        QKeyEvent ctrlS(QEvent::KeyPress, Qt::Key_S, Qt::ControlModifier);
        QApplication::sendEvent(view, &ctrlS);
        EXPECT_TRUE(told("saved")) << "Ctrl+S says why, as Save to Disk does";

        recognizer->answer({"never read"});
        QTest::mouseClick(button(QStringLiteral("Copy Text (OCR)")), Qt::LeftButton);
        EXPECT_TRUE(waitUntil([&] {
            return view->notice()->text() ==
                   "No text could be read from “" + name + "”: its picture can no longer be read.";
        }));
        EXPECT_FALSE(view->isOCRProcessing());
        EXPECT_TRUE(queue.items().first().image().isNull()) << "nothing was made up";
    }
    EXPECT_TRUE(pins.items.isEmpty()) << "no blank pin";
    EXPECT_TRUE(calls.isEmpty()) << "no copy or save handed on";
    EXPECT_TRUE(pasteboard->calls.isEmpty());
}

// A save the opener took on says in the preview why it failed, as a copy does; a cancelled one
// says nothing.
TEST_F(PreviewViewTest, ASaveThatFailsSaysWhyInThePreview)
{
    show(screenshot);
    const QUuid id = screenshot.id();
    const auto save = [this](qsizetype count) {
        QTest::mouseClick(button(QStringLiteral("Save to Disk")), Qt::LeftButton);
        return waitUntil([&] { return calls.size() == count; });
    };
    ASSERT_TRUE(save(1));
    queue.markSaving(id);
    queue.markPending(id);
    EXPECT_TRUE(view->notice()->text().isEmpty()) << "cancelled";
    ASSERT_TRUE(save(2));
    queue.markSaving(id);
    queue.markFailed(id, CaptureActionError::saveFailed("Disk full"));
    EXPECT_EQ(view->notice()->text(),
              "“" + screenshot.fileName() + "” could not be saved (Disk full).");
}
