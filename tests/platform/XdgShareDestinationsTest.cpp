#include "platform/linux/XdgShareDestinations.h"
#include "support/EnvironmentScope.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using platform::ShareDestination;
using platform::XdgShareDestinations;

namespace {

class XdgShareDestinationsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_env.set("XDG_DATA_HOME", path("home-data"));
        m_env.set("XDG_DATA_DIRS", path("system-data"));
        m_env.set("XDG_CONFIG_HOME", path("home-config"));
        m_env.set("XDG_CONFIG_DIRS", path("system-config"));
        m_env.set("XDG_CURRENT_DESKTOP", "TestDesk");
        m_env.set("PATH", path("bin"));
        QDir().mkpath(path("bin"));
    }

    QString path(const QString &relative) const { return m_dir.path() + '/' + relative; }
    void writeFile(const QString &relative, const QByteArray &content,
                   bool executable = false) const
    {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        if (executable)
            file.setPermissions(file.permissions() | QFile::ExeOwner);
    }
    void writeApp(const QString &relative, const QByteArray &name, const QByteArray &extra = {})
    {
        writeFile(relative, "[Desktop Entry]\nType=Application\nName=" + name +
                                "\nExec=" + name.toLower() + " %f\n" + extra);
    }
    QStringList ids(const QString &mimeType)
    {
        QStringList found;
        for (const ShareDestination &destination : m_destinations.destinationsFor(mimeType))
            found << destination.id;
        return found;
    }

    QTemporaryDir m_dir;
    EnvironmentScope m_env;
    XdgShareDestinations m_destinations;
};

TEST_F(XdgShareDestinationsTest, DefaultFirstThenAddedThenTheRestByName)
{
    writeApp("home-data/applications/viewer.desktop", "Viewer",
             "MimeType=image/png;image/jpeg;\nIcon=viewer-icon\n");
    writeApp("home-data/applications/kde/editor.desktop", "Editor", "MimeType=image/png;\n");
    writeApp("system-data/applications/wildcard.desktop", "All Images", "MimeType=image/*;\n");
    writeApp("system-data/applications/added.desktop", "Added", "MimeType=text/plain;\n");
    writeApp("system-data/applications/zed.desktop", "Zed Default", "MimeType=image/png;\n");
    // Not offered: removed, hidden in a more important folder, not displayed, not installed,
    // meant for another desktop, not an application.
    writeApp("system-data/applications/removed.desktop", "Removed", "MimeType=image/png;\n");
    writeApp("system-data/applications/hidden.desktop", "Hidden", "MimeType=image/png;\n");
    writeFile("home-data/applications/hidden.desktop", "[Desktop Entry]\nHidden=true\n");
    writeApp("system-data/applications/quiet.desktop", "Quiet",
             "MimeType=image/png;\nNoDisplay=true\n");
    writeApp("system-data/applications/absent.desktop", "Absent",
             "MimeType=image/png;\nTryExec=/no/such/program\n");
    writeApp("system-data/applications/elsewhere.desktop", "Elsewhere",
             "MimeType=image/png;\nOnlyShowIn=KDE;\n");
    writeFile(
        "system-data/applications/link.desktop",
        "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\nMimeType=image/png;\n");

    writeFile("home-config/mimeapps.list",
              "[Default Applications]\nimage/png=not-installed.desktop;zed.desktop;\n"
              "[Removed Associations]\nimage/png=removed.desktop;\n");
    writeFile("home-config/testdesk-mimeapps.list",
              "[Added Associations]\nimage/png=viewer.desktop;\n");
    writeFile("home-data/applications/mimeapps.list",
              "[Added Associations]\nimage/png=added.desktop;removed.desktop;\n");

    EXPECT_EQ(ids("image/png"), QStringList({"zed.desktop", "viewer.desktop", "added.desktop",
                                             "wildcard.desktop", "kde-editor.desktop"}));
    EXPECT_EQ(ids("image/jpeg"), QStringList({"wildcard.desktop", "viewer.desktop"}));
    EXPECT_EQ(m_destinations.destinationsFor("image/jpeg").last(),
              (ShareDestination{"viewer.desktop", "Viewer", "viewer-icon"}));
}

TEST_F(XdgShareDestinationsTest, EmailComesLastWhenXdgEmailIsInstalled)
{
    writeApp("home-data/applications/viewer.desktop", "Viewer", "MimeType=image/png;\n");
    EXPECT_EQ(ids("image/png"), QStringList("viewer.desktop"));
    writeFile("bin/xdg-email", "#!/bin/sh\n", true);
    EXPECT_EQ(ids("image/png"), QStringList({"viewer.desktop", "xdg-email"}));
}

TEST_F(XdgShareDestinationsTest, ExecLinesAreUnquotedAndExpanded)
{
    const QString file = "/tmp/my \"shot\" 1.png";
    EXPECT_EQ(XdgShareDestinations::expandExec(
                  R"("/opt/My App/viewer" --title "A \"quoted\" \$HOME \\ \`x\`" %f)", file),
              QStringList({"/opt/My App/viewer", "--title", R"(A "quoted" $HOME \ `x`)", file}));
    EXPECT_EQ(XdgShareDestinations::expandExec("viewer %U", file),
              QStringList({"viewer", "file:///tmp/my%20%22shot%22%201.png"}));
    EXPECT_EQ(XdgShareDestinations::expandExec("viewer --file=%f %i --name %c %k %d 100%%", file,
                                               "Viewer", "viewer-icon", "/apps/viewer.desktop"),
              QStringList({"viewer", "--file=" + file, "--icon", "viewer-icon", "--name", "Viewer",
                           "/apps/viewer.desktop", "100%"}));
    // Without an icon %i is nothing; without a file code the file goes last.
    EXPECT_EQ(XdgShareDestinations::expandExec("viewer %i  \"\"", file),
              QStringList({"viewer", "", file}));
    EXPECT_EQ(XdgShareDestinations::expandExec("viewer \"unbalanced", file), std::nullopt);
    EXPECT_EQ(XdgShareDestinations::expandExec("   ", file), std::nullopt);
}

TEST_F(XdgShareDestinationsTest, OpeningRunsTheEntryWithTheFileAsOneArgument)
{
    const QString output = path("arguments.txt");
    writeFile("bin/record arguments",
              "#!/bin/sh\nPATH=/usr/bin:/bin\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                  output.toLocal8Bit() + ".part'\nmv '" + output.toLocal8Bit() + ".part' '" +
                  output.toLocal8Bit() + "'\n",
              true);
    writeFile("home-data/applications/recorder.desktop",
              "[Desktop Entry]\nType=Application\nName=Recorder\nMimeType=image/png;\nExec=\"" +
                  path("bin/record arguments").toLocal8Bit() + "\" --from %c %f\n");
    const QString file = path("a \"shot\"; $(rm -rf x).png");
    ASSERT_TRUE(m_destinations.open({"recorder.desktop", "Recorder", {}}, file));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(output); }, 10000));
    QFile recorded(output);
    ASSERT_TRUE(recorded.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromLocal8Bit(recorded.readAll()), "--from\nRecorder\n" + file + "\n");

    EXPECT_FALSE(m_destinations.open({"not-installed.desktop", "Gone", {}}, file));
}

} // namespace
