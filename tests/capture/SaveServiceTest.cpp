#include "capture/SaveService.h"
#include "capture/ActionTestSupport.h"
#include "model/CaptureErrors.h"
#include "platform/qt/QtImageWriter.h"
#include "support/FakeImageWriter.h"
#include "support/FakeSavePanel.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
#include <QWidget>
#include <gtest/gtest.h>

using platform::ImageWriteResult;

namespace {

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class SaveServiceTest : public ::testing::Test {
protected:
    std::optional<CaptureActionError> saveError(const CaptureItem &item,
                                                ImageExportFormat format = ImageExportFormat::png)
    {
        return errorOf<CaptureActionError>(service.save(item, format));
    }
    void choose(const QString &path) { panel->answer = QUrl::fromLocalFile(path); }
    QString target(const QString &name) const { return tmp.path() + '/' + name; }
    // A recording whose movie holds bytes.
    CaptureItem recording(const QByteArray &bytes)
    {
        const QString movie = target("Recording-1.mov");
        writeFile(movie, bytes);
        return makeRecording(movie);
    }

    TempDirScope tmp;
    LogCapture log;
    std::shared_ptr<FakeSavePanel> panel = std::make_shared<FakeSavePanel>();
    std::shared_ptr<FakeImageWriter> writer = std::make_shared<FakeImageWriter>();
    SaveService service{panel, writer};
};

TEST_F(SaveServiceTest, ScreenshotPanelProposesTheFormatsExtensionAndType)
{
    const CaptureItem item = makeScreenshot(filledImage(20, 10, Qt::blue));
    const QString stem = item.fileName().chopped(4); // without ".png"
    const struct {
        ImageExportFormat format;
        QString extension;
        QString type;
    } cases[] = {{ImageExportFormat::png, "png", "image/png"},
                 {ImageExportFormat::jpeg, "jpg", "image/jpeg"},
                 {ImageExportFormat::heic, "heic", "image/heic"}};
    for (const auto &c : cases) {
        choose(target("shot." + c.extension));
        const QUrl saved = QCoro::waitFor(service.save(item, c.format));
        EXPECT_EQ(saved, QUrl::fromLocalFile(target("shot." + c.extension)));
        const platform::SavePanelOptions &options = panel->shown.last();
        EXPECT_EQ(options.title, "Save Screenshot");
        EXPECT_EQ(options.nameFieldStringValue, stem + '.' + c.extension);
        EXPECT_EQ(options.allowedContentTypes, QStringList(c.type));
        EXPECT_TRUE(options.canCreateDirectories);
        EXPECT_FALSE(options.extensionHidden);
        EXPECT_EQ(panel->windows.last(), nullptr);
        EXPECT_EQ(writer->calls().last().type, c.type);
        EXPECT_EQ(writer->calls().last().path, target("shot." + c.extension));
        EXPECT_EQ(writer->calls().last().size, QSize(20, 10));
        EXPECT_NE(writer->calls().last().thread, QCoreApplication::instance()->thread());
    }
    EXPECT_EQ(log.messages("export").mid(0, 2),
              QStringList({"Initiating save flow for capture " + idText(item),
                           "Successfully saved capture to destination"}));
}

TEST_F(SaveServiceTest, WindowAndDefaultFormatReachThePanel)
{
    QWidget window;
    choose(target("a.png"));
    QCoro::waitFor(service.save(makeScreenshot(filledImage(4, 4, Qt::red)), &window));
    EXPECT_EQ(panel->windows.last(), &window);
    EXPECT_EQ(writer->calls().last().type, "image/png");
}

TEST_F(SaveServiceTest, DismissedPanelWritesNothing)
{
    const CaptureItem item = makeScreenshot(filledImage(4, 4, Qt::red));
    EXPECT_EQ(saveError(item), CaptureActionError::saveCancelled());
    EXPECT_TRUE(writer->calls().isEmpty());
    EXPECT_EQ(log.lines(), QStringList({"export|info|Initiating save flow for capture " +
                                            idText(item),
                                        "export|info|Save cancelled by user"}));

    // OK without a file counts as dismissed too.
    panel->answer = QUrl();
    EXPECT_EQ(saveError(item), CaptureActionError::saveCancelled());
}

TEST_F(SaveServiceTest, WriteFailuresNameTheFormat)
{
    const CaptureItem item = makeScreenshot(filledImage(4, 4, Qt::red));
    choose(target("x.jpg"));
    writer->result = {ImageWriteResult::Status::cannotEncode, "too large"};
    EXPECT_EQ(saveError(item, ImageExportFormat::jpeg),
              CaptureActionError::saveFailed("Failed to encode JPG file."));
    EXPECT_EQ(saveError(item, ImageExportFormat::heic),
              CaptureActionError::saveFailed("Failed to encode HEIC file."));
    EXPECT_TRUE(log.lines().contains("export|error|Could not write the capture to " +
                                     target("x.jpg") + ": too large"));

    writer->result = {ImageWriteResult::Status::cannotCreate, "No such file or directory"};
    EXPECT_EQ(saveError(item), CaptureActionError::saveFailed("Could not create image destination."));
}

TEST_F(SaveServiceTest, UnreadableImageIsNeverWritten)
{
    const CaptureItem item = makeUnreadableScreenshot(tmp);
    choose(target("x.png"));
    EXPECT_EQ(saveError(item), CaptureActionError::saveFailed("Failed to encode PNG file."));
    EXPECT_TRUE(writer->calls().isEmpty());
}

TEST_F(SaveServiceTest, ExistingFileSurvivesAFailedImageWrite)
{
    SaveService realService{panel, std::make_shared<platform::QtImageWriter>()};
    const QString destination = target("kept.heic");
    writeFile(destination, "old picture");
    choose(destination);
    // Wider than the HEVC encoder takes.
    const CaptureItem wide = makeScreenshot(filledImage(20000, 16, Qt::red));
    EXPECT_EQ(errorOf<CaptureActionError>(realService.save(wide, ImageExportFormat::heic)),
              CaptureActionError::saveFailed("Failed to encode HEIC file."));
    EXPECT_EQ(readFile(destination), "old picture");
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);

    // A successful write replaces it.
    QCoro::waitFor(realService.save(makeScreenshot(filledImage(30, 20, Qt::red)),
                                    ImageExportFormat::png));
    EXPECT_EQ(QImageReader(destination).size(), QSize(30, 20));
}

TEST_F(SaveServiceTest, RecordingIsCopiedUnderItsOwnNameWhateverTheFormat)
{
    const CaptureItem item = recording("movie bytes");
    const QString destination = target("saved.mov");
    writeFile(destination, "an older file");
    choose(destination);

    EXPECT_EQ(QCoro::waitFor(service.save(item, ImageExportFormat::jpeg)),
              QUrl::fromLocalFile(destination));
    const platform::SavePanelOptions &options = panel->shown.last();
    EXPECT_EQ(options.title, "Save Screen Recording");
    EXPECT_EQ(options.nameFieldStringValue, item.fileName());
    EXPECT_EQ(options.allowedContentTypes, QStringList({"video/mp4", "video/quicktime"}));
    EXPECT_EQ(readFile(destination), "movie bytes");
    EXPECT_EQ(readFile(item.videoURL()->toLocalFile()), "movie bytes");
    EXPECT_TRUE(writer->calls().isEmpty());
    EXPECT_TRUE(log.lines().contains(
        "export|info|Successfully saved video recording to destination"));
}

TEST_F(SaveServiceTest, SavingTheMovieOntoItselfKeepsIt)
{
    const CaptureItem item = recording("movie bytes");
    choose(item.videoURL()->toLocalFile());
    EXPECT_EQ(saveError(item), std::nullopt);
    EXPECT_EQ(readFile(item.videoURL()->toLocalFile()), "movie bytes");
}

TEST_F(SaveServiceTest, FailedRecordingCopyLeavesTheDestinationAlone)
{
    const QString destination = target("saved.mov");
    writeFile(destination, "an older file");
    choose(destination);
    const CaptureItem missing = makeRecording(target("Recording-gone.mov"));
    const std::optional<CaptureActionError> error = saveError(missing);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), CaptureActionError::Kind::saveFailed);
    EXPECT_TRUE(error->reason().startsWith("Failed to save video file: ")) << error->reason().toStdString();
    EXPECT_EQ(readFile(destination), "an older file");
    EXPECT_EQ(log.messages("export").size(), 2); // the opening line and the failure

    // A folder that is gone.
    choose(target("gone/saved.mov"));
    const std::optional<CaptureActionError> vanished = saveError(recording("movie bytes"));
    ASSERT_TRUE(vanished);
    EXPECT_TRUE(vanished->reason().startsWith("Failed to save video file: "));
    EXPECT_FALSE(QFileInfo::exists(target("gone")));
}

} // namespace
