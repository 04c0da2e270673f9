#include "app/UrlSchemeRegistration.h"
#include "platform/linux/XdgShareDestinations.h"
#include "support/LogCapture.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
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
                       "Exec=/opt/corvanta/bin/corvanta %u\nIcon=corvanta\nTerminal=false\n"
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

// Launchers look the entry's Icon= name up in the user's hicolor theme: each size is there, the
// program's logo (a blue rounded square with a white dot in the middle) on a clear ground.
TEST_F(UrlSchemeRegistrationTest, TheLauncherFindsTheProgramsIconByTheEntrysName)
{
    ASSERT_TRUE(registration("/opt/corvanta/bin/corvanta")->install());
    const QString name = entry().section("Icon=", 1).section('\n', 0, 0);
    ASSERT_EQ(name, "corvanta");
    for (const int size : {48, 128, 256}) {
        const QString path = QStringLiteral("%1/icons/hicolor/%2x%2/apps/%3.png")
                                 .arg(m_dataHome.path())
                                 .arg(size)
                                 .arg(name);
        const QImage icon(path);
        ASSERT_FALSE(icon.isNull()) << path.toStdString();
        EXPECT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << "a clear corner";
        const QColor middle = icon.pixelColor(size / 2, size / 2);
        EXPECT_GT(middle.lightness(), 240) << "the white dot";
        const QColor ground = icon.pixelColor(size / 4, size / 2);
        EXPECT_EQ(ground.alpha(), 255);
        EXPECT_GT(ground.blue(), ground.red() + 60) << "the blue square";
    }

    // Installed again, nothing is rewritten.
    const QString largest = m_dataHome.path() + "/icons/hicolor/256x256/apps/corvanta.png";
    const QDateTime written = QFileInfo(largest).lastModified();
    {
        QFile file(largest);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ASSERT_TRUE(file.setFileTime(written.addSecs(-60), QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(registration("/opt/corvanta/bin/corvanta")->install());
    EXPECT_EQ(QFileInfo(largest).lastModified(), written.addSecs(-60));
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
