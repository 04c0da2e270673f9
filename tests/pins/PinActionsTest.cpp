#include "PinTestSupport.h"

#include "model/TemporaryFiles.h"
#include "pins/PinActions.h"
#include "pins/PinCardDrawing.h"
#include "support/LogCapture.h"
#include "support/WaitUntil.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <gtest/gtest.h>

namespace {

class PinActionsTest : public ::testing::Test {
protected:
    QString writeFile(const QString &name, const QByteArray &contents)
    {
        const QString path = model.tempDir.path() + '/' + name;
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(contents);
        return path;
    }
    static QByteArray read(const QString &path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }

    PinModel model;
    PinActions actions{model.services().actions};
};

TEST_F(PinActionsTest, CopyGoesThroughTheClipboardServiceWithTheCapturesOwnPng)
{
    const CaptureItem capture = makeCapture(Qt::red);
    QCoro::waitFor(actions.copy(PinItem::fromCapture(capture)));
    EXPECT_EQ(model.pasteboard->calls, (QStringList{"offer(image/png,image/tiff)"}));
    EXPECT_FALSE(model.pasteboard->paste("image/tiff").isEmpty());
    EXPECT_TRUE(model.pasteboard->paste("image/png").startsWith("\x89PNG"));
    EXPECT_EQ(model.pasteboard->encodings, 1) << "only the TIFF is made";
    EXPECT_EQ(model.sounds->calls.size(), 1);

    model.pasteboard->calls.clear();
    QCoro::waitFor(actions.copy(
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(30, 20, Qt::red)))));
    EXPECT_EQ(model.pasteboard->calls, (QStringList{"offer(image/png,image/tiff)"}));
    EXPECT_EQ(model.pasteboard->paste("image/png"), "PNG 30x20");

    model.pasteboard->calls.clear();
    const QUrl url = QUrl::fromLocalFile(writeFile("a.txt", "text"));
    QCoro::waitFor(actions.copy(std::make_shared<const PinItem>(PinContent::makeFile(url))));
    EXPECT_EQ(model.pasteboard->calls, (QStringList{"file(" + url.toString() + ")"}));
}

TEST_F(PinActionsTest, ACopyOvertakenByALaterOneIsNeitherCopiedNorFailed)
{
    QSemaphore begun, resume;
    model.pasteboard->fakeEncoder->beforeTiff = [&] {
        begun.release();
        resume.tryAcquire(1, 10000);
    };
    QStringList told;
    QCoro::Task<bool> slow = actions.copy(
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(30, 20, Qt::red))),
        [&told](const QString &text) { told << text; });
    ASSERT_TRUE(begun.tryAcquire(1, 10000));
    const QUrl url = QUrl::fromLocalFile(writeFile("a.txt", "text"));
    EXPECT_TRUE(
        QCoro::waitFor(actions.copy(std::make_shared<const PinItem>(PinContent::makeFile(url)))));
    resume.release();
    EXPECT_FALSE(QCoro::waitFor(std::move(slow)));
    EXPECT_EQ(model.pasteboard->calls, (QStringList{"file(" + url.toString() + ")"}));
    EXPECT_EQ(model.sounds->calls.size(), 1);
    EXPECT_TRUE(told.isEmpty()) << qPrintable(told.join('|'));
}

TEST_F(PinActionsTest, AFailedActionSaysWhyPlaysNoSoundAndAsksForNoName)
{
    LogCapture log;
    QStringList told;
    const PinActions::Complaint tell = [&told](const QString &text) { told << text; };
    model.pasteboard->refusedTypes = {"image/png", "image/tiff"};
    EXPECT_FALSE(QCoro::waitFor(actions.copy(PinItem::fromCapture(makeCapture()), tell)));
    EXPECT_TRUE(log.lines().contains("export|error|NSPasteboard rejected image data"));
    EXPECT_EQ(told, QStringList{"Couldn't copy (Failed to copy to clipboard: the clipboard did "
                                "not take it)"});

    // A pinned capture whose file now holds anything but its picture, an image that is gone, a
    // file that is gone.
    const CaptureItem capture = makeCapture(Qt::red);
    ASSERT_TRUE(spoilFile(capture.storedImage(QDeadlineTimer(10000)).pngPath));
    const PinItemPtr unreadable[] = {
        PinItem::fromCapture(capture),
        std::make_shared<const PinItem>(PinContent::makeImage(QImage()))};
    const auto gone = std::make_shared<const PinItem>(
        PinContent::makeFile(QUrl::fromLocalFile(model.tempDir.path() + "/gone.txt")));
    model.savePanel->answer = QUrl::fromLocalFile(model.tempDir.path() + "/x.png");
    for (const PinItemPtr &pin : unreadable) {
        told.clear();
        EXPECT_FALSE(QCoro::waitFor(actions.copy(pin, tell)));
        QCoro::waitFor(actions.saveAs(pin, nullptr, tell));
        EXPECT_FALSE(QCoro::waitFor(actions.open(pin, tell)));
        EXPECT_EQ(told, QStringList({"Couldn't copy (its picture can no longer be read)",
                                     "Couldn't save (its picture can no longer be read)",
                                     "Couldn't open (its picture can no longer be read)"}));
    }
    told.clear();
    QCoro::waitFor(actions.saveAs(gone, nullptr, tell));
    EXPECT_EQ(told, QStringList{"Couldn't save (the file is missing)"});
    EXPECT_TRUE(model.savePanel->shown.isEmpty()) << "no name asked for nothing";
    EXPECT_TRUE(model.imageWriter->calls().isEmpty());
    EXPECT_TRUE(model.urlOpener->opened.isEmpty());
    EXPECT_TRUE(model.sounds->calls.isEmpty()) << "the copy sound follows only a copy";
}

TEST_F(PinActionsTest, SavingAFileOverAnExistingOneReplacesIt)
{
    const QString source = writeFile("new.txt", "the new contents");
    const QString target = writeFile("old.txt", "old");
    model.savePanel->answer = QUrl::fromLocalFile(target);
    const auto pin =
        std::make_shared<const PinItem>(PinContent::makeFile(QUrl::fromLocalFile(source)));
    QCoro::waitFor(actions.saveAs(pin));
    EXPECT_EQ(read(target), "the new contents");
    EXPECT_EQ(read(source), "the new contents");
    EXPECT_EQ(model.savePanel->shown.last().nameFieldStringValue, "new.txt");
}

TEST_F(PinActionsTest, SavingAnImageWritesAPngAndCancellingWritesNothing)
{
    const auto pin =
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(30, 20, Qt::red)));
    QStringList told;
    QCoro::waitFor(actions.saveAs(pin, nullptr, [&told](const QString &text) { told << text; }));
    ASSERT_EQ(model.savePanel->shown.size(), 1);
    EXPECT_TRUE(model.imageWriter->calls().isEmpty());
    EXPECT_TRUE(told.isEmpty()) << "a dismissed dialog is no failure: "
                                << qPrintable(told.join(' '));
    model.savePanel->answer = QUrl::fromLocalFile(model.tempDir.path() + "/x.png");
    QWidget window;
    QCoro::waitFor(actions.saveAs(pin, &window));
    ASSERT_EQ(model.imageWriter->calls().size(), 1);
    EXPECT_EQ(model.imageWriter->calls().first().path, model.tempDir.path() + "/x.png");
    EXPECT_EQ(model.imageWriter->calls().first().type, "image/png");
    EXPECT_TRUE(model.savePanel->shown.last().nameFieldStringValue.startsWith("Corvanta "));
    EXPECT_EQ(model.savePanel->windows.last(), &window) << "the dialog belongs to the pin";
}

TEST_F(PinActionsTest, OpeningAnImageWritesANewPrivateFileDeletedAtQuit)
{
    const std::optional<QString> folder = TemporaryFiles::capturesFolder();
    ASSERT_TRUE(folder);
    const QDateTime now = QDateTime::currentDateTime();
    const auto pin =
        std::make_shared<const PinItem>(PinContent::makeImage(solidImage(30, 20, Qt::red)));
    // A link planted at the names the next seconds would take, pointing at a user's file.
    const QString victim = writeFile("victim.txt", "the user's file");
    for (int second = 0; second < 3; ++second)
        QFile::link(victim, QDir(*folder).filePath(pin->exportFileName(now.addSecs(second))));

    ASSERT_TRUE(QCoro::waitFor(actions.open(pin)));
    ASSERT_EQ(model.urlOpener->opened.size(), 1);
    const QString path = model.urlOpener->opened.first().toLocalFile();
    const QFileInfo opened(path);
    EXPECT_EQ(opened.absolutePath(), QFileInfo(*folder).absoluteFilePath());
    EXPECT_FALSE(opened.isSymLink());
    EXPECT_EQ(QImage(path).pixelColor(1, 1), QColor(Qt::red));
    EXPECT_EQ(opened.permissions() & 0x7777,
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(read(victim), "the user's file");
    EXPECT_TRUE(opened.fileName().endsWith(" (2).png")) << qPrintable(opened.fileName());

    TemporaryFiles::deletePendingNow();
    EXPECT_FALSE(QFileInfo::exists(path)) << "gone when the program ends";
    EXPECT_EQ(read(victim), "the user's file");
}

TEST(PinBorderColourTest, AccentTakesTheThemeColour)
{
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::monochrome),
              color(AccentTheme::monochrome));
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::purple),
              color(AccentTheme::purple));
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::accent, AccentTheme::blue).alpha(), 255);
    EXPECT_EQ(PinCardDrawing::borderColor(PinBorderColor::red, AccentTheme::blue),
              color(PinBorderColor::red));
}

} // namespace
