#include "app/UrlSchemeRegistration.h"
#include "platform/linux/XdgShareDestinations.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class UrlSchemeRegistrationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_hadPrevious = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        m_previous = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", m_dataHome.path().toLocal8Bit());
    }
    void TearDown() override
    {
        if (m_hadPrevious)
            qputenv("XDG_DATA_HOME", m_previous);
        else
            qunsetenv("XDG_DATA_HOME");
    }

    QString entryPath() const { return m_dataHome.path() + "/applications/corvanta.desktop"; }
    QString entry() const
    {
        QFile file(entryPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    // The registration with both tools installed, recording what it runs.
    std::unique_ptr<UrlSchemeRegistration> registration(const QString &executable)
    {
        auto result = std::make_unique<UrlSchemeRegistration>(executable);
        result->setToolFinder([](const QString &name) { return "/usr/bin/" + name; });
        result->setCommandRunner([this](const QString &program, const QStringList &arguments) {
            commands << program + ' ' + arguments.join(' ');
        });
        return result;
    }

    QTemporaryDir m_dataHome;
    QByteArray m_previous;
    bool m_hadPrevious = false;
    QStringList commands;
    LogCapture log;
};

TEST_F(UrlSchemeRegistrationTest, InstallsTheHandlerEntryOnceAndRunsTheTools)
{
    EXPECT_EQ(UrlSchemeRegistration::applicationsFolder(), m_dataHome.path() + "/applications");
    ASSERT_TRUE(registration("/opt/corvanta/bin/corvanta")->install());
    EXPECT_EQ(entry(), "[Desktop Entry]\nType=Application\nName=Corvanta\n"
                       "Comment=Screenshot and screen recording utility\n"
                       "Exec=/opt/corvanta/bin/corvanta %u\nTerminal=false\n"
                       "MimeType=x-scheme-handler/corvanta;\n");
    EXPECT_EQ(commands, QStringList({"/usr/bin/update-desktop-database " + m_dataHome.path() +
                                         "/applications",
                                     "/usr/bin/xdg-mime default corvanta.desktop "
                                     "x-scheme-handler/corvanta"}));
    EXPECT_EQ(QDir(m_dataHome.path() + "/applications").entryList(QDir::Files),
              QStringList{"corvanta.desktop"})
        << "no temporary file is left";

    commands.clear();
    EXPECT_TRUE(registration("/opt/corvanta/bin/corvanta")->install());
    EXPECT_TRUE(commands.isEmpty()) << "an unchanged entry is left alone";

    auto withoutTools = registration("/usr/bin/corvanta");
    withoutTools->setToolFinder([](const QString &) { return QString(); });
    EXPECT_TRUE(withoutTools->install());
    EXPECT_TRUE(entry().contains("Exec=/usr/bin/corvanta %u"));
    EXPECT_TRUE(commands.isEmpty());
}

TEST_F(UrlSchemeRegistrationTest, AwkwardPathsAreQuotedAndBadOnesRefused)
{
    const QString path = R"(/home/a b/100% "new"/$x\y/corvanta)";
    const std::optional<QString> text = UrlSchemeRegistration::desktopEntry(path);
    ASSERT_TRUE(text);
    QString exec = text->section("Exec=", 1).section('\n', 0, 0);
    // A reader first undoes the string escapes, then the quoting.
    exec.replace(R"(\\)", R"(\)");
    EXPECT_EQ(platform::XdgShareDestinations::expandExec(exec, "/tmp/ignored"),
              QStringList({path, "file:///tmp/ignored"}));

    EXPECT_FALSE(UrlSchemeRegistration::desktopEntry("corvanta"));
    EXPECT_FALSE(UrlSchemeRegistration::desktopEntry("/opt/cor\nvanta"));
    EXPECT_FALSE(registration("relative/corvanta")->install());
    EXPECT_FALSE(QFile::exists(entryPath()));
    EXPECT_TRUE(commands.isEmpty());
}

} // namespace
