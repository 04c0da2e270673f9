#include "capture/SaveService.h"
#include "capture/ActionTestSupport.h"
#include "model/CaptureErrors.h"
#include "platform/qt/QtImageWriter.h"
#include "support/FakeImageWriter.h"
#include "support/FakeSavePanel.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QImageReader>
#include <QWidget>
#include <cstdio>
#include <gtest/gtest.h>

using platform::ImageWriteResult;

namespace {

class SaveServiceTest : public ::testing::Test {
protected:
    std::optional<CaptureActionError> save(const CaptureItem &item,
                                           ImageExportFormat format = ImageExportFormat::png)
    {
        return errorOf<CaptureActionError>(service.save(item, format));
    }
    QString choose(const QString &name)
    {
        panel->answer = QUrl::fromLocalFile(tmp.path() + '/' + name);
        return panel->answer->toLocalFile();
    }
    static void writeFile(const QString &path, const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QByteArray readFile(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    CaptureItem recording()
    {
        const QString movie = tmp.path() + "/Recording-1.mov";
        writeFile(movie, "movie bytes");
        return makeRecording(movie);
    }

    TempDirScope tmp;
    LogCapture log;
    std::shared_ptr<FakeSavePanel> panel = std::make_shared<FakeSavePanel>();
    std::shared_ptr<FakeImageWriter> writer = std::make_shared<FakeImageWriter>();
    SaveService service{panel, writer};
};

TEST_F(SaveServiceTest, ScreenshotIsOfferedAndWrittenInTheChosenFormat)
{
    const CaptureItem item = makeScreenshot(filledImage(20, 10, Qt::blue));
    const QString stem = item.fileName().chopped(4); // without ".png"
    for (const auto &[format, extension, type] :
         {std::tuple(ImageExportFormat::png, "png", "image/png"),
          std::tuple(ImageExportFormat::jpeg, "jpg", "image/jpeg"),
          std::tuple(ImageExportFormat::heic, "heic", "image/heic")}) {
        const QString chosen = choose(QStringLiteral("shot.") + extension);
        EXPECT_EQ(QCoro::waitFor(service.save(item, format)), QUrl::fromLocalFile(chosen));
        const platform::SavePanelOptions &options = panel->shown.last();
        EXPECT_EQ(options.title, "Save Screenshot");
        EXPECT_EQ(options.nameFieldStringValue, stem + '.' + extension);
        EXPECT_EQ(options.allowedContentTypes, QStringList(type));
        EXPECT_TRUE(options.canCreateDirectories && !options.extensionHidden);
        const FakeImageWriter::Call call = writer->calls().last();
        EXPECT_EQ(std::tuple(call.path, call.type, call.size),
                  std::tuple(chosen, type, QSize(20, 10)));
        EXPECT_FALSE(call.onMainThread);
    }
    EXPECT_EQ(log.messages("export").mid(0, 2),
              QStringList({"Initiating save flow for capture " + idText(item),
                           "Successfully saved capture to destination"}));

    // The short form saves PNG; a window reaches the panel.
    QWidget window;
    QCoro::waitFor(service.save(item, &window));
    EXPECT_EQ(panel->windows, QList<QWidget *>({nullptr, nullptr, nullptr, &window}));
    EXPECT_EQ(writer->calls().last().type, "image/png");
}

TEST_F(SaveServiceTest, DismissedPanelWritesNothing)
{
    const CaptureItem item = makeScreenshot(filledImage(4, 4, Qt::red));
    EXPECT_EQ(save(item), CaptureActionError::saveCancelled());
    panel->answer = QUrl(); // OK without a file
    EXPECT_EQ(save(item), CaptureActionError::saveCancelled());
    EXPECT_TRUE(writer->calls().isEmpty());
    EXPECT_EQ(log.lines().mid(0, 2),
              QStringList({"export|info|Initiating save flow for capture " + idText(item),
                           "export|info|Save cancelled by user"}));
}

TEST_F(SaveServiceTest, WriteFailuresAreReportedAndLogged)
{
    const CaptureItem item = makeScreenshot(filledImage(4, 4, Qt::red));
    const QString chosen = choose("x.jpg");
    writer->result = {ImageWriteResult::Status::cannotEncode, "too large"};
    EXPECT_EQ(save(item, ImageExportFormat::jpeg),
              CaptureActionError::saveFailed("Failed to encode JPG file."));
    EXPECT_EQ(save(item, ImageExportFormat::heic),
              CaptureActionError::saveFailed("Failed to encode HEIC file."));
    EXPECT_TRUE(log.lines().contains("export|error|Could not write the capture to " + chosen +
                                     ": too large"));
    writer->result = {ImageWriteResult::Status::cannotCreate, "No such file or directory"};
    EXPECT_EQ(save(item), CaptureActionError::saveFailed("Could not create image destination."));

    // An image that can no longer be read is refused before anyone is asked for a name.
    const qsizetype writes = writer->calls().size();
    const qsizetype asked = panel->shown.size();
    EXPECT_EQ(save(makeUnreadableScreenshot(tmp)),
              CaptureActionError::saveFailed("its picture can no longer be read"));
    EXPECT_EQ(writer->calls().size(), writes);
    EXPECT_EQ(panel->shown.size(), asked);
}

TEST_F(SaveServiceTest, FailedImageWriteKeepsTheFileItWouldReplace)
{
    SaveService realService{panel, std::make_shared<platform::QtImageWriter>()};
    const QString chosen = choose("kept.heic");
    writeFile(chosen, "old picture");
    // Wider than the HEVC encoder takes.
    const CaptureItem wide = makeScreenshot(filledImage(20000, 16, Qt::red));
    EXPECT_EQ(errorOf<CaptureActionError>(realService.save(wide, ImageExportFormat::heic)),
              CaptureActionError::saveFailed("Failed to encode HEIC file."));
    EXPECT_EQ(readFile(chosen), "old picture");
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList("kept.heic"));

    QCoro::waitFor(
        realService.save(makeScreenshot(filledImage(30, 20, Qt::red)), ImageExportFormat::png));
    EXPECT_EQ(QImageReader(chosen).size(), QSize(30, 20));
}

TEST_F(SaveServiceTest, RecordingIsCopiedUnderItsOwnNameWhateverTheFormat)
{
    const CaptureItem item = recording();
    const QString chosen = choose("saved.mov");
    writeFile(chosen, "an older file");
    EXPECT_EQ(QCoro::waitFor(service.save(item, ImageExportFormat::jpeg)),
              QUrl::fromLocalFile(chosen));
    const platform::SavePanelOptions &options = panel->shown.last();
    EXPECT_EQ(options.title, "Save Screen Recording");
    EXPECT_EQ(options.nameFieldStringValue, item.fileName());
    EXPECT_EQ(options.allowedContentTypes, QStringList("video/quicktime"));
    EXPECT_EQ(readFile(chosen), "movie bytes");
    EXPECT_TRUE(
        log.lines().contains("export|info|Successfully saved video recording to destination"));

    // The movie chosen as its own destination stays.
    panel->answer = item.videoURL();
    EXPECT_EQ(save(item), std::nullopt);
    EXPECT_EQ(readFile(item.videoURL()->toLocalFile()), "movie bytes");
}

TEST_F(SaveServiceTest, GifRecordingIsOfferedAsAGifAndCopiedByteForByte)
{
    const QString gif = tmp.path() + "/Recording-2.gif";
    QByteArray bytes("GIF89a");
    for (int i = 0; i < 70000; ++i)
        bytes.append(char(i * 7));
    writeFile(gif, bytes);
    const CaptureItem item = makeRecording(gif);
    const QString chosen = choose("saved.gif");
    EXPECT_EQ(QCoro::waitFor(service.save(item)), QUrl::fromLocalFile(chosen));
    const platform::SavePanelOptions &options = panel->shown.last();
    EXPECT_TRUE(options.nameFieldStringValue.endsWith(".gif"));
    EXPECT_EQ(options.allowedContentTypes, QStringList("image/gif"));
    EXPECT_EQ(readFile(chosen), bytes);
    EXPECT_EQ(readFile(gif), bytes);
}

TEST_F(SaveServiceTest, FailedRecordingCopyLeavesTheDestinationAlone)
{
    const QString chosen = choose("saved.mov");
    writeFile(chosen, "an older file");
    const std::optional<CaptureActionError> error =
        save(makeRecording(tmp.path() + "/Recording-gone.mov"));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), CaptureActionError::Kind::saveFailed);
    EXPECT_TRUE(error->reason().startsWith("Failed to save video file: "));
    EXPECT_EQ(readFile(chosen), "an older file");
    EXPECT_EQ(log.messages("export").size(), 2); // the opening line and the failure
    EXPECT_TRUE(panel->shown.isEmpty()) << "refused before the panel";

    choose("gone/saved.mov");
    EXPECT_TRUE(save(recording()));
    EXPECT_FALSE(QFileInfo::exists(tmp.path() + "/gone"));

    // No regular file, put there while the user chose or found before: refused with no wait for a
    // pipe's writer or an end of /dev/zero.
    choose("saved.mov");
    for (const Spoil damage : {Spoil::pipe, Spoil::endless}) {
        const QString movie = tmp.path() + QStringLiteral("/Recording-%1.mov").arg(int(damage));
        writeFile(movie, "movie bytes");
        std::optional<SpoiltFile> pipe;
        panel->whileShown = [&] { pipe.emplace(movie, damage); };
        const auto reason = [&] {
            return save(makeRecording(movie))
                .value_or(CaptureActionError::saveCancelled())
                .reason();
        };
        EXPECT_EQ(reason(),
                  "Failed to save video file: Cannot read " + movie + ": not a regular file");
        panel->whileShown = nullptr;
        EXPECT_EQ(reason(), "Failed to save video file: the recording file can no longer be read");
        EXPECT_EQ(readFile(chosen), "an older file");
    }
}

// A movie cut short or put in its place since the recording was staged is refused as one that
// no longer reads: before the panel, or as it is copied when it changed while the panel was up.
TEST_F(SaveServiceTest, RecordingWhoseMovieChangedSinceItWasStagedIsRefused)
{
    const QString chosen = choose("saved.mov");
    writeFile(chosen, "an older file");
    const QString movie = tmp.path() + "/Recording-1.mov";
    const QString refusal =
        "Failed to save video file: Cannot read " + movie + ": it changed since it was recorded";
    const auto cut = [&] { ASSERT_TRUE(QFile::resize(movie, 5)); };
    const auto replace = [&] {
        writeFile(movie + ".new", "MOVIE BYTES");
        ASSERT_EQ(::rename(QFile::encodeName(movie + ".new"), QFile::encodeName(movie)), 0);
    };
    const std::function<void()> changes[] = {cut, replace};
    for (const std::function<void()> &change : changes) {
        const CaptureItem item = recording();
        change();
        EXPECT_EQ(save(item), CaptureActionError::saveFailed(refusal));
        EXPECT_TRUE(panel->shown.isEmpty()) << "refused before the panel";
        const CaptureItem changedWhileChosen = recording();
        panel->whileShown = change;
        EXPECT_EQ(save(changedWhileChosen), CaptureActionError::saveFailed(refusal));
        panel->whileShown = nullptr;
        panel->shown.clear();
        EXPECT_EQ(readFile(chosen), "an older file");
    }
}

} // namespace

namespace {

// Points HOME (and the XDG configuration that could redirect the pictures folder) at a folder
// of the test's own while it lives.
class HomeScope {
public:
    explicit HomeScope(const QString &home)
    {
        for (const char *name : {"HOME", "XDG_CONFIG_HOME"}) {
            m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        }
        QDir().mkpath(home);
        qputenv("HOME", home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").toLocal8Bit());
    }
    ~HomeScope()
    {
        for (const Saved &saved : std::as_const(m_saved)) {
            if (saved.wasSet)
                qputenv(saved.name, saved.value);
            else
                qunsetenv(saved.name);
        }
    }
    HomeScope(const HomeScope &) = delete;
    HomeScope &operator=(const HomeScope &) = delete;

private:
    struct Saved {
        const char *name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

} // namespace

TEST_F(SaveServiceTest, PanelOpensInTheLastFolderSavedToElseThePicturesOrVideosFolder)
{
    const QString home = tmp.path() + "/home";
    HomeScope scope(home);
    ASSERT_TRUE(QDir().mkpath(home + "/Pictures"));
    const CaptureItem shot = makeScreenshot(filledImage(4, 4, Qt::red));
    const CaptureItem movie = recording();
    const auto openedIn = [this] { return panel->shown.last().directory; };

    EXPECT_EQ(save(shot), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), home + "/Pictures");
    EXPECT_EQ(save(movie), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), home) << "no videos folder: the home folder";
    ASSERT_TRUE(QDir().mkpath(home + "/Videos"));
    EXPECT_EQ(save(movie), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), home + "/Videos");

    // A file saved elsewhere: both kinds open there next, also after a failed write.
    const QString elsewhere = tmp.path() + "/elsewhere";
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    panel->answer = QUrl::fromLocalFile(elsewhere + "/a.png");
    EXPECT_EQ(save(shot), std::nullopt);
    panel->answer.reset();
    EXPECT_EQ(save(movie), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), elsewhere);
    const QString failing = tmp.path() + "/failing";
    ASSERT_TRUE(QDir().mkpath(failing));
    writer->result = {ImageWriteResult::Status::cannotCreate, "Read-only file system"};
    panel->answer = QUrl::fromLocalFile(failing + "/b.png");
    EXPECT_TRUE(save(shot).has_value());
    panel->answer.reset();
    EXPECT_EQ(save(shot), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), failing) << "dismissing the panel keeps the folder";

    // A folder that went away, or a program started afresh: the pictures folder again.
    ASSERT_TRUE(QDir(failing).removeRecursively());
    EXPECT_EQ(save(shot), CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), home + "/Pictures");
    SaveService restarted(panel, writer);
    panel->answer.reset();
    EXPECT_EQ(errorOf<CaptureActionError>(restarted.save(shot)),
              CaptureActionError::saveCancelled());
    EXPECT_EQ(openedIn(), home + "/Pictures");
}
