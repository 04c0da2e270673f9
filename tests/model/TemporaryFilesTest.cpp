#include "model/TemporaryFiles.h"
#include "platform/Background.h"
#include "platform/TemporaryName.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTest>
#include <QThreadPool>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void writeFile(const QString &path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << qPrintable(path);
    file.write("partial");
}

// Sets the entry's modification time secondsAgo seconds back, without following a link.
void ageSeconds(const QString &path, int secondsAgo)
{
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - secondsAgo;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ASSERT_EQ(
        ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW), 0)
        << qPrintable(path);
}

// Sets the entry's modification time hoursAgo hours back, without following a link.
void age(const QString &path, int hoursAgo)
{
    ageSeconds(path, hoursAgo * 3600);
}

QString in(const QString &folder, const QString &name)
{
    return folder + '/' + name;
}

// The shared captures folder of the temporary directory, made private to the user.
QString sharedFolder(const TempDirScope &tmp)
{
    QDir().mkdir(tmp.capturesPath());
    ::chmod(QFile::encodeName(tmp.capturesPath()).constData(), 0700);
    return tmp.capturesPath();
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

TEST(TemporaryFiles, EveryDeletionStillPendingHappensAtQuit)
{
    TempDirScope tmp;
    QDir().mkdir(tmp.capturesPath());
    const QString png = tmp.captureFile("Corvanta 2026-12-07 at 09.25.26.png");
    const QString drag = tmp.captureFile("Drag_Corvanta 2026-12-07 at 09.25.26.png");
    const QString shared = tmp.captureFile("Shared 0F2C.png");
    const QString staged = tmp.captureFile("Corvanta 2026-12-07 at 09.26.00.png");
    for (const QString &path : {png, drag, shared, staged})
        writeFile(path);

    // A drag copy lies in a folder of its own, which goes with it in whatever order they come.
    const QString dragFolder = tmp.captureFile("Drag_Corvanta 2026-12-07 at 09.27.00.png");
    QDir().mkdir(dragFolder);
    const QString dragCopy = dragFolder + "/Corvanta 2026-12-07 at 09.27.00.png";
    writeFile(dragCopy);

    TemporaryFiles::scheduleDeletion({png, drag});
    TemporaryFiles::deleteAtQuit({shared, dragFolder, dragCopy});
    QCoreApplication::processEvents();
    platform::backgroundThreads()->waitForDone();
    EXPECT_TRUE(QFile::exists(png) && QFile::exists(drag) && QFile::exists(shared))
        << "kept while the program runs";

    TemporaryFiles::deletePendingNow();
    EXPECT_EQ(entries(tmp.capturesPath()), QStringList{QFileInfo(staged).fileName()});

    // A file made again under a name whose deletion already ran stays.
    writeFile(png);
    TemporaryFiles::deletePendingNow();
    EXPECT_TRUE(QFile::exists(png));
}

TEST(TemporaryFiles, TheTemporaryNameOfEveryAtomicWriteIsRecognised)
{
    TempDirScope tmp;
    const QString target = tmp.path() + "/Drag_Corvanta 2026-12-07 at 09.25.26.png";
    QTemporaryFile copy(platform::TemporaryName::templateFor(target));
    ASSERT_TRUE(copy.open());
    EXPECT_TRUE(platform::TemporaryName::matches(QFileInfo(copy.fileName()).fileName()));
    QByteArray made = QFile::encodeName(platform::TemporaryName::templateFor(target));
    const int descriptor = ::mkstemp(made.data());
    ASSERT_GE(descriptor, 0);
    ::close(descriptor);
    EXPECT_TRUE(platform::TemporaryName::matches(QFileInfo(QFile::decodeName(made)).fileName()));
    ::unlink(made.constData());

    for (const char *name : {"Corvanta 2026-12-07 at 09.25.26.png", "Drag_x.png", "..Ab12Cd",
                             ".x.png.Ab12C", ".x.png.Ab_2Cd", "x.png.Ab12Cd"})
        EXPECT_FALSE(platform::TemporaryName::matches(name)) << name;
}

TEST(TemporaryFiles, AStartRemovesOnlyOldInterruptedWritesAndEmptyPrivateFolders)
{
    TempDirScope tmp;
    LogCapture log;
    const QString shared = sharedFolder(tmp);

    // The shared folder: an old interrupted write goes; a recent one (a write going on in
    // another instance), finished captures and other names stay.
    writeFile(in(shared, ".Corvanta 1.png.Ab12Cd"));
    writeFile(in(shared, ".Drag_Corvanta 1.png.x9Y8z7"));
    writeFile(in(shared, ".Corvanta 2.png.Qw12Er"));
    writeFile(in(shared, "Corvanta 1.png"));
    writeFile(in(shared, "Drag_Corvanta 1.png"));
    writeFile(in(shared, "Shared 0F2C.png"));
    writeFile(in(shared, ".hidden"));
    ASSERT_TRUE(QFile::link(in(shared, "Corvanta 1.png"), in(shared, ".Corvanta 3.png.Zx12Cv")));
    for (const char *name :
         {".Corvanta 1.png.Ab12Cd", ".Drag_Corvanta 1.png.x9Y8z7", "Corvanta 1.png",
          "Drag_Corvanta 1.png", "Shared 0F2C.png", ".hidden", ".Corvanta 3.png.Zx12Cv"})
        age(in(shared, name), 2);

    // Private folders of earlier runs.
    const QString emptyOld = in(tmp.path(), "CorvantaCaptures-Ab12Cd");
    const QString emptyRecent = in(tmp.path(), "CorvantaCaptures-Zz99Yy");
    const QString withCapture = in(tmp.path(), "CorvantaCaptures-Qq11Ww");
    const QString onlyInterrupted = in(tmp.path(), "CorvantaCaptures-Ee22Rr");
    const QString openToOthers = in(tmp.path(), "CorvantaCaptures-Oo33Pp");
    const QString otherName = in(tmp.path(), "CorvantaCapturesAb12Cd");
    for (const QString &folder :
         {emptyOld, emptyRecent, withCapture, onlyInterrupted, openToOthers, otherName})
        ASSERT_TRUE(QDir().mkdir(folder));
    writeFile(in(withCapture, "Corvanta 4.png"));
    writeFile(in(withCapture, ".Corvanta 5.png.Ab12Cd"));
    writeFile(in(onlyInterrupted, ".Corvanta 6.png.Ab12Cd"));
    writeFile(in(openToOthers, ".Corvanta 7.png.Ab12Cd"));
    for (const QString &path :
         {in(withCapture, "Corvanta 4.png"), in(withCapture, ".Corvanta 5.png.Ab12Cd"),
          in(onlyInterrupted, ".Corvanta 6.png.Ab12Cd"),
          in(openToOthers, ".Corvanta 7.png.Ab12Cd")})
        age(path, 2);
    ::chmod(QFile::encodeName(openToOthers).constData(), 0777);
    for (const QString &folder : {emptyOld, withCapture, onlyInterrupted, openToOthers, otherName})
        age(folder, 2);
    if (::getuid() == 0) {
        writeFile(in(shared, ".Corvanta 8.png.Ab12Cd"));
        ASSERT_EQ(::chown(QFile::encodeName(in(shared, ".Corvanta 8.png.Ab12Cd")).constData(),
                          65534, 65534),
                  0);
        age(in(shared, ".Corvanta 8.png.Ab12Cd"), 2);
    }

    EXPECT_EQ(TemporaryFiles::removeLeftovers(), 6);
    QStringList expectedShared{
        ".Corvanta 2.png.Qw12Er", ".Corvanta 3.png.Zx12Cv", ".hidden",
        "Corvanta 1.png",         "Drag_Corvanta 1.png",    "Shared 0F2C.png"};
    if (::getuid() == 0)
        expectedShared << ".Corvanta 8.png.Ab12Cd";
    expectedShared.sort();
    EXPECT_EQ(entries(shared).join(" | "), expectedShared.join(" | "));
    EXPECT_FALSE(QFileInfo::exists(emptyOld));
    EXPECT_FALSE(QFileInfo::exists(onlyInterrupted));
    EXPECT_TRUE(QFileInfo::exists(emptyRecent));
    EXPECT_EQ(entries(withCapture), QStringList{"Corvanta 4.png"});
    EXPECT_EQ(entries(openToOthers), QStringList{".Corvanta 7.png.Ab12Cd"});
    EXPECT_TRUE(QFileInfo::exists(otherName));
    EXPECT_EQ(log.messages("capture").filter("left behind by an earlier run").size(), 1);
}

// With no other instance running, whatever an earlier run left goes at start, however recent:
// captures, drag copies and interrupted writes in our folders and our recordings in the
// temporary directory. What this run has written since, other names, other kinds of entry and
// folders open to others stay.
TEST(TemporaryFiles, AStartWithNoOtherInstanceRemovesEveryFileEarlierRunsLeft)
{
    TempDirScope tmp;
    LogCapture log;
    const QString shared = sharedFolder(tmp);
    const QString uuid = QStringLiteral("0F2C4A3B-1D2E-4F50-8A9B-0C1D2E3F4A5B");
    const QString link = in(tmp.path(), "Recording-1F2C4A3B-1D2E-4F50-8A9B-0C1D2E3F4A5B.mp4");
    const QString staleFolder = in(tmp.path(), "CorvantaCaptures-Ab12Cd");
    const QString openToOthers = in(tmp.path(), "CorvantaCaptures-Oo33Pp");
    QDir().mkdir(staleFolder);
    QDir().mkdir(openToOthers);
    ::chmod(QFile::encodeName(openToOthers).constData(), 0777);

    const QString dragFolder = in(shared, "Drag_Corvanta 6.png");
    QDir().mkdir(dragFolder);
    const QStringList gone{in(shared, "Corvanta 1.png"),
                           in(shared, "Drag_Corvanta 1.png"),
                           in(dragFolder, "Corvanta 6.png"),
                           in(shared, ".Corvanta 2.png.Ab12Cd"),
                           in(staleFolder, "Corvanta 3.png"),
                           in(tmp.path(), "Recording-" + uuid + ".gif"),
                           in(tmp.path(), "Recording-" + uuid + ".mp4"),
                           in(tmp.path(), "Recording-" + uuid + ".gif.part"),
                           in(tmp.path(), ".Recording-" + uuid + ".mov.Qw12Er")};
    const QStringList kept{in(openToOthers, "Corvanta 4.png"),
                           in(tmp.path(), "Recording-" + uuid.toLower() + ".mp4"),
                           in(tmp.path(), "Recording-1.mp4"),
                           in(tmp.path(), "Recording-" + uuid + ".mp4.Qw12Er"),
                           in(tmp.path(), "Recording-" + uuid + ".txt"),
                           in(tmp.path(), "Other " + uuid + ".gif")};
    for (const QString &path : gone + kept) {
        writeFile(path);
        // A minute old: too recent for a start that cannot tell whether another instance runs.
        ageSeconds(path, 60);
    }
    ASSERT_TRUE(QFile::link(in(shared, "Corvanta 1.png"), link));

    // Unsure whether another instance runs, a start leaves all of it.
    EXPECT_EQ(TemporaryFiles::removeLeftovers(), 0);

    const TemporaryFiles::FileTime started = TemporaryFiles::fileClockNow();
    const QString staged = in(shared, "Corvanta 5.png");
    writeFile(staged);
    const QString recording = in(tmp.path(), "Recording-2F2C4A3B-1D2E-4F50-8A9B-0C1D2E3F4A5B.mp4");
    writeFile(recording);

    ageSeconds(dragFolder, 60);
    EXPECT_EQ(TemporaryFiles::removeLeftovers(TemporaryFiles::leftoverAge, started),
              gone.size() + 2);
    for (const QString &path : gone)
        EXPECT_FALSE(QFileInfo::exists(path)) << qPrintable(path);
    for (const QString &path : kept + QStringList{staged, recording})
        EXPECT_TRUE(QFileInfo::exists(path)) << qPrintable(path);
    EXPECT_FALSE(QFileInfo::exists(staleFolder));
    EXPECT_FALSE(QFileInfo::exists(dragFolder));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(log.messages("capture").filter("left behind by an earlier run").size(), 1);
}

TEST(TemporaryFiles, AStartNeverRemovesThePrivateFolderInUse)
{
    TempDirScope tmp;
    // Someone else's folder under the shared name: this run uses a private one.
    QDir().mkdir(tmp.capturesPath());
    ::chmod(QFile::encodeName(tmp.capturesPath()).constData(), 0777);
    const std::optional<QString> inUse = TemporaryFiles::capturesFolder();
    ASSERT_TRUE(inUse);
    ASSERT_NE(*inUse, tmp.capturesPath());
    age(*inUse, 2);
    TemporaryFiles::removeLeftovers();
    EXPECT_TRUE(QFileInfo(*inUse).isDir());
}

} // namespace
