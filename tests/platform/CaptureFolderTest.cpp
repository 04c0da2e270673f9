#include "platform/CaptureFolder.h"
#include "platform/TemporaryDirectory.h"
#include "support/TempDirScope.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t permissions(const QString &path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// The folder a foreign-looking "CorvantaCaptures" must be replaced by.
void expectPrivateFolderInstead(const TempDirScope &tmp)
{
    const platform::CaptureFolder::Result result = platform::CaptureFolder::get();
    ASSERT_TRUE(result.path);
    EXPECT_TRUE(QFileInfo(*result.path).fileName().startsWith("CorvantaCaptures-"));
    EXPECT_EQ(QFileInfo(*result.path).absolutePath(), tmp.path());
    EXPECT_EQ(permissions(*result.path), 0700u);
    EXPECT_FALSE(result.notice.isEmpty());
    // Kept for the process: the next call neither makes another folder nor
    // repeats the notice.
    const platform::CaptureFolder::Result again = platform::CaptureFolder::get();
    EXPECT_EQ(again.path, result.path);
    EXPECT_TRUE(again.notice.isEmpty());
}

} // namespace

TEST(CaptureFolder, IsCreatedPrivateUnderTheTemporaryDirectory)
{
    TempDirScope tmp;
    const platform::CaptureFolder::Result result = platform::CaptureFolder::get();
    ASSERT_TRUE(result.path);
    EXPECT_EQ(*result.path, tmp.capturesPath());
    EXPECT_EQ(permissions(*result.path), 0700u);
    EXPECT_TRUE(result.notice.isEmpty());
}

TEST(CaptureFolder, ReplacesAFolderThatIsNotPrivate)
{
    {
        TempDirScope tmp;
        QDir().mkdir(tmp.path() + "/elsewhere");
        ASSERT_TRUE(QFile::link(tmp.path() + "/elsewhere", tmp.capturesPath()));
        expectPrivateFolderInstead(tmp);
        EXPECT_TRUE(QFileInfo(tmp.capturesPath()).isSymLink());
    }
    {
        TempDirScope tmp;
        QDir().mkdir(tmp.capturesPath());
        ::chmod(QFile::encodeName(tmp.capturesPath()).constData(), 0777);
        expectPrivateFolderInstead(tmp);
        EXPECT_EQ(permissions(tmp.capturesPath()), 0777u);
    }
    {
        TempDirScope tmp;
        QFile file(tmp.capturesPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.close();
        expectPrivateFolderInstead(tmp);
    }
    if (::getuid() == 0) {
        TempDirScope tmp;
        QDir().mkdir(tmp.capturesPath());
        ASSERT_EQ(::chown(QFile::encodeName(tmp.capturesPath()).constData(), 65534, 65534), 0);
        ::chmod(QFile::encodeName(tmp.capturesPath()).constData(), 0700);
        expectPrivateFolderInstead(tmp);
    }
}

TEST(CaptureFolder, IsResolvedAgainWhenTheCachedFolderIsReplaced)
{
    TempDirScope tmp;
    ASSERT_TRUE(platform::CaptureFolder::get().path);
    ASSERT_TRUE(QDir(tmp.capturesPath()).removeRecursively());
    ASSERT_TRUE(QFile::link(tmp.path(), tmp.capturesPath()));
    const platform::CaptureFolder::Result result = platform::CaptureFolder::get();
    ASSERT_TRUE(result.path);
    EXPECT_NE(*result.path, tmp.capturesPath());
}

TEST(CaptureFolder, RefusesAFolderGroupMembersCanWriteTo)
{
    TempDirScope tmp;
    QDir().mkdir(tmp.capturesPath());
    ::chmod(QFile::encodeName(tmp.capturesPath()).constData(), 0770);
    expectPrivateFolderInstead(tmp);
    EXPECT_EQ(permissions(tmp.capturesPath()), 0770u) << "someone else's folder is left alone";
}

TEST(CaptureFolder, FallsBackToTheSystemFolderWhenTmpdirIsMissing)
{
    TempDirScope tmp;
    const QString system = tmp.path() + "/system";
    QDir().mkdir(system);
    tmp.dropTmpdir(system);
    const platform::CaptureFolder::Result result = platform::CaptureFolder::get();
    ASSERT_TRUE(result.path) << qPrintable(result.error);
    EXPECT_EQ(*result.path, system + "/CorvantaCaptures");
    EXPECT_EQ(permissions(*result.path), 0700u);
}

TEST(CaptureFolder, IsAbsentWithoutAnyTemporaryDirectory)
{
    TempDirScope tmp;
    tmp.dropTmpdir(tmp.path() + "/no-system");
    const platform::CaptureFolder::Result result = platform::CaptureFolder::get();
    EXPECT_FALSE(result.path);
    EXPECT_TRUE(result.error.contains(tmp.path() + "/no-system/CorvantaCaptures"))
        << qPrintable(result.error);
    EXPECT_FALSE(QFileInfo::exists("CorvantaCaptures"));
}

TEST(TemporaryDirectory, IsTmpdirWhenItIsAFolderElseTheSystemFolder)
{
    TempDirScope tmp;
    const QString system = tmp.path() + "/system";
    QDir().mkdir(system);
    platform::TemporaryDirectory::setSystemFolder(system);
    EXPECT_EQ(platform::TemporaryDirectory::path(), QFileInfo(tmp.path()).canonicalFilePath());

    QFile file(tmp.path() + "/a-file");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const char *const unusable[] = {"/missing", "/a-file"};
    for (const char *name : unusable) {
        qputenv("TMPDIR", QFile::encodeName(tmp.path() + name));
        EXPECT_EQ(platform::TemporaryDirectory::path(), system) << name;
    }
    qputenv("TMPDIR", "");
    EXPECT_EQ(platform::TemporaryDirectory::path(), system);
}
