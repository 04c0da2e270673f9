#include "platform/linux/XdgAutostartLoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using platform::LoginItem;
using platform::XdgAutostartLoginItem;

namespace {

// Points XDG_CONFIG_HOME at a temporary folder for the test's lifetime.
class XdgAutostartLoginItemTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedConfigHome = qgetenv("XDG_CONFIG_HOME");
        m_hadConfigHome = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_dir.filePath("config").toUtf8());
    }

    void TearDown() override
    {
        if (m_hadConfigHome)
            qputenv("XDG_CONFIG_HOME", m_savedConfigHome);
        else
            qunsetenv("XDG_CONFIG_HOME");
    }

    QString entryPath() const { return m_dir.filePath("config/autostart/corvanta.desktop"); }

    QString makeProgram(const QString &name, bool executable = true)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\n");
        file.setPermissions(executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                       : QFile::ReadOwner | QFile::WriteOwner);
        return path;
    }

    void writeEntry(const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(entryPath()).path());
        QFile file(entryPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QStringList entryLines() const
    {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split('\n')
                                              : QStringList();
    }

    QTemporaryDir m_dir;
    QByteArray m_savedConfigHome;
    bool m_hadConfigHome = false;
};

} // namespace

TEST_F(XdgAutostartLoginItemTest, RegisterWritesAnEntryThatStartsTheRunningProgram)
{
    XdgAutostartLoginItem item;
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    EXPECT_EQ(XdgAutostartLoginItem::desktopFilePath(), entryPath());

    EXPECT_EQ(item.registerItem(), std::nullopt);
    const QStringList lines = entryLines();
    EXPECT_EQ(lines.first(), "[Desktop Entry]");
    EXPECT_TRUE(lines.contains("Type=Application"));
    EXPECT_TRUE(lines.contains("Name=Corvanta"));
    EXPECT_TRUE(lines.contains("X-GNOME-Autostart-enabled=true"));
    EXPECT_TRUE(lines.contains("Exec=" + QCoreApplication::applicationFilePath()));
    EXPECT_TRUE(QDir::isAbsolutePath(QCoreApplication::applicationFilePath()));
    EXPECT_EQ(item.status(), LoginItem::Status::enabled);
    EXPECT_EQ(QDir(QFileInfo(entryPath()).path()).entryList(QDir::Files),
              QStringList{"corvanta.desktop"});

    EXPECT_EQ(item.unregisterItem(), std::nullopt);
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    EXPECT_EQ(item.unregisterItem(), std::nullopt);
}

TEST_F(XdgAutostartLoginItemTest, ProgramPathsWithReservedCharactersAreQuoted)
{
    const QString program = makeProgram(R"(My "Apps" $HOME 100% \bin)");
    XdgAutostartLoginItem item(program);
    ASSERT_EQ(item.registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItem::Status::enabled);

    QString quoted = program;
    quoted.replace("\\", "\\\\").replace("\"", "\\\"").replace("$", "\\$");
    quoted = "\"" + quoted.replace("%", "%%") + "\"";
    EXPECT_TRUE(entryLines().contains("Exec=" + quoted.replace("\\", "\\\\")))
        << qPrintable(entryLines().join('\n'));
}

TEST_F(XdgAutostartLoginItemTest, SwitchedOffOrBrokenEntriesAreNotEnabled)
{
    const QString program = makeProgram("corvanta");
    const XdgAutostartLoginItem item(program);
    const QByteArray head = "[Desktop Entry]\nType=Application\nExec=" + program.toUtf8() + "\n";

    writeEntry(head + "Hidden=true\n");
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    writeEntry(head + "X-GNOME-Autostart-enabled=false\n");
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);
    writeEntry(head + "[Other Group]\nHidden=true\n");
    EXPECT_EQ(item.status(), LoginItem::Status::enabled);

    writeEntry("[Desktop Entry]\nExec=" + m_dir.filePath("gone").toUtf8() + " --quiet\n");
    EXPECT_EQ(item.status(), LoginItem::Status::notFound);
    writeEntry("[Desktop Entry]\nExec=" + makeProgram("plain", false).toUtf8() + "\n");
    EXPECT_EQ(item.status(), LoginItem::Status::notFound);
    writeEntry("[Desktop Entry]\nType=Application\n");
    EXPECT_EQ(item.status(), LoginItem::Status::notFound);

    // Registering again replaces whatever was there.
    ASSERT_EQ(XdgAutostartLoginItem(program).registerItem(), std::nullopt);
    EXPECT_EQ(item.status(), LoginItem::Status::enabled);
}

TEST_F(XdgAutostartLoginItemTest, FailuresCarryTheSystemsReason)
{
    XdgAutostartLoginItem item(makeProgram("corvanta"));

    // A file where the autostart folder belongs.
    QDir().mkpath(m_dir.filePath("config"));
    QFile blocker(m_dir.filePath("config/autostart"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const auto blocked = item.registerItem();
    ASSERT_TRUE(blocked);
    EXPECT_TRUE(
        blocked->startsWith("Could not create " + m_dir.filePath("config/autostart") + ": "))
        << qPrintable(*blocked);
    ASSERT_TRUE(blocker.remove());

    // An entry path that is a folder with content cannot be removed.
    ASSERT_TRUE(QDir().mkpath(entryPath() + "/keep"));
    const auto stuck = item.unregisterItem();
    ASSERT_TRUE(stuck);
    EXPECT_TRUE(stuck->startsWith("Could not remove " + entryPath() + ": ")) << qPrintable(*stuck);
    ASSERT_TRUE(QDir(entryPath()).removeRecursively());

    // A read-only folder (not read-only for the superuser, who may write anyway).
    const QString folder = QFileInfo(entryPath()).path();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    QFile probe(folder + "/probe");
    if (probe.open(QIODevice::WriteOnly)) {
        probe.remove();
    } else {
        const auto readOnly = item.registerItem();
        ASSERT_TRUE(readOnly);
        EXPECT_TRUE(readOnly->contains("Permission denied")) << qPrintable(*readOnly);
        EXPECT_FALSE(QFile::exists(entryPath()));
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

TEST_F(XdgAutostartLoginItemTest, WithoutAConfigHomeTheEntryLivesInTheHomeFolder)
{
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(XdgAutostartLoginItem::desktopFilePath(),
              QDir::homePath() + "/.config/autostart/corvanta.desktop");
    qputenv("XDG_CONFIG_HOME", "relative/config");
    EXPECT_EQ(XdgAutostartLoginItem::desktopFilePath(),
              QDir::homePath() + "/.config/autostart/corvanta.desktop");
}
