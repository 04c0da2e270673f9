// The program as a user starts it, on the harness's desktop (with tint2 as the tray host): the
// real binary with its hot keys, captures, second start and termination, and in this process
// the tray icon with its menu.

#include "app/CorvantaApp.h"
#include "app/CorvantaMenuView.h"
#include "app/DesktopPlatform.h"
#include "model/UserDefaults.h"
#include "support/WaitUntil.h"
#include "support/X11KeyGrabber.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

constexpr int waitLimitMs = 10000;
constexpr quint16 controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
const QString registered =
    QStringLiteral("Hotkeys registered for scheme: Control + Option (⌃⌥1, ⌃⌥2, ⌃⌥3, ⌃⌥4)");

// One run of the corvanta binary; killed at the end of the test if it still runs.
class CorvantaProcess {
public:
    explicit CorvantaProcess(const QProcessEnvironment &environment)
    {
        m_process.setProcessEnvironment(environment);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
    }
    ~CorvantaProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(waitLimitMs);
        }
    }

    bool start(const QStringList &arguments = {})
    {
        m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/corvanta"),
                        arguments);
        return m_process.waitForStarted(waitLimitMs);
    }
    // Waits until the output holds the line `count` times.
    bool waitForLine(const QString &text, qsizetype count = 1)
    {
        QElapsedTimer timer;
        timer.start();
        while (occurrences(text) < count) {
            if (timer.elapsed() > waitLimitMs || m_process.state() == QProcess::NotRunning)
                return occurrences(text) >= count;
            m_process.waitForReadyRead(50);
            m_output += QString::fromUtf8(m_process.readAll());
        }
        return true;
    }
    bool waitForExit()
    {
        const bool finished = m_process.waitForFinished(waitLimitMs);
        m_output += QString::fromUtf8(m_process.readAll());
        return finished;
    }
    qsizetype occurrences(const QString &text) const
    {
        qsizetype count = 0;
        for (const QString &line : m_output.split(u'\n'))
            count += line.endsWith(text);
        return count;
    }

    QProcess &process() { return m_process; }
    QString output() const { return m_output; }

private:
    QProcess m_process;
    QString m_output;
};

// The window Qt shows the tray icon in (its XEmbed client).
QWidget *trayIconWindow()
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QSystemTrayIconSys"))
            return widget;
    }
    return nullptr;
}

// Whether the window has been reparented away from the root window.
bool isEmbedded(QWidget *window)
{
    if (window == nullptr)
        return false;
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11->connection();
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(
        connection, xcb_query_tree(connection, xcb_window_t(window->winId())), nullptr);
    const bool embedded = tree && tree->parent != tree->root;
    std::free(tree);
    return embedded;
}

class ShellDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the desktop harness";
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        m_environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
            const QString path = m_home.path() + u'/' + QLatin1String(name);
            ASSERT_TRUE(QDir().mkpath(path));
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            m_environment.insert(QLatin1String(name), path);
        }
        // A backend that refuses at once: the program never reaches out of the machine.
        m_environment.insert(QStringLiteral("CORVANTA_BACKEND_ORIGIN"),
                             QStringLiteral("http://127.0.0.1:9"));
    }

    QString capturesFolder() const
    {
        return m_environment.value(QStringLiteral("TMPDIR")) + QStringLiteral("/CorvantaCaptures");
    }

    // Two runs in this environment: the second hands its sign-in callback to the first, which
    // refuses what nobody asked for.
    void expectASecondStartHandsItsCallbackToTheFirst()
    {
        CorvantaProcess first(m_environment);
        ASSERT_TRUE(first.start());
        ASSERT_TRUE(first.waitForLine(registered, 2)) << first.output().toStdString();

        CorvantaProcess second(m_environment);
        ASSERT_TRUE(second.start({"corvanta://auth-callback#access_token=x"}));
        ASSERT_TRUE(second.waitForExit());
        EXPECT_EQ(second.process().exitCode(), 0) << second.output().toStdString();
        EXPECT_EQ(second.occurrences(registered), 0) << "the second start registers nothing";

        // The first run opened no browser sign-in: the callback arrives and is refused there.
        ASSERT_TRUE(first.waitForLine("Browser login failed: No browser sign-in of this run is "
                                      "waiting for this callback."))
            << first.output().toStdString();
        EXPECT_EQ(first.occurrences("Received the arguments of a later start"), 1);
        EXPECT_FALSE(first.output().contains("access_token"));
        EXPECT_FALSE(second.output().contains("access_token"));
    }

    QTemporaryDir m_home;
    QProcessEnvironment m_environment;
};

TEST_F(ShellDesktop, HotKeyCapturesAndTerminationReleasesEverything)
{
    CorvantaProcess corvanta(m_environment);
    ASSERT_TRUE(corvanta.start());
    // Once while the graph is built, once more when launching has finished.
    ASSERT_TRUE(corvanta.waitForLine(registered, 2)) << corvanta.output().toStdString();
    EXPECT_EQ(corvanta.occurrences("The Corvanta menu is available from the system tray icon"), 1);
    EXPECT_TRUE(waitUntil([&] {
        return QFile::exists(m_environment.value("XDG_DATA_HOME") +
                             "/applications/corvanta.desktop");
    }));
    X11KeyGrabber other;
    EXPECT_FALSE(other.canGrab('1', controlAlt)) << "Corvanta holds ⌃⌥1";

    ASSERT_EQ(QProcess::execute("xdotool", {"key", "ctrl+alt+1"}), 0);
    ASSERT_TRUE(corvanta.waitForLine("Current count: 1")) << corvanta.output().toStdString();
    EXPECT_EQ(corvanta.output().count("Enqueued capture item"), 1);
    const QDir captures(capturesFolder());
    ASSERT_TRUE(waitUntil([&] { return !captures.entryList({"*.png"}, QDir::Files).isEmpty(); }));

    corvanta.process().terminate();
    ASSERT_TRUE(corvanta.waitForExit());
    EXPECT_EQ(corvanta.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(corvanta.process().exitCode(), 0);
    EXPECT_EQ(corvanta.occurrences("Corvanta terminating; cleaning up hotkeys and staging queue"),
              1);
    EXPECT_TRUE(other.canGrab('1', controlAlt)) << "the grabs went with the program";
    EXPECT_TRUE(captures.entryList({"*.png"}, QDir::Files).isEmpty())
        << "staged captures do not outlive the program";
}

TEST_F(ShellDesktop, NoCaptureFileOutlivesTheProgramEndedByASignal)
{
    // One capture at a time, so the first is dropped (and its deletion put off) by the second.
    const QString config = m_environment.value("XDG_CONFIG_HOME") + "/Corvanta";
    ASSERT_TRUE(QDir().mkpath(config));
    QFile settings(config + "/Corvanta.conf");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[General]\nmaxQueueCapacity=1\n");
    settings.close();
    const QDir captures(capturesFolder());

    CorvantaProcess corvanta(m_environment);
    ASSERT_TRUE(corvanta.start());
    ASSERT_TRUE(corvanta.waitForLine(registered, 2)) << corvanta.output().toStdString();

    ASSERT_EQ(QProcess::execute("xdotool", {"key", "ctrl+alt+1"}), 0);
    ASSERT_TRUE(corvanta.waitForLine("Current count: 1")) << corvanta.output().toStdString();
    // Capture names differ by the second: the first was named by now.
    const qint64 firstNamed = QDateTime::currentSecsSinceEpoch();
    ASSERT_TRUE(waitUntil([&] { return QDateTime::currentSecsSinceEpoch() > firstNamed; }));
    ASSERT_EQ(QProcess::execute("xdotool", {"key", "ctrl+alt+1"}), 0);
    ASSERT_TRUE(corvanta.waitForLine("Current count: 1", 2)) << corvanta.output().toStdString();
    EXPECT_EQ(corvanta.output().count("to respect max capacity of 1"), 1);
    ASSERT_TRUE(waitUntil([&] { return captures.entryList({"*.png"}, QDir::Files).size() == 2; }))
        << "the dropped capture's file waits";

    ASSERT_EQ(::kill(pid_t(corvanta.process().processId()), SIGHUP), 0);
    ASSERT_TRUE(corvanta.waitForExit());
    EXPECT_EQ(corvanta.process().exitCode(), 0);
    EXPECT_EQ(captures.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

TEST_F(ShellDesktop, ASecondStartHandsTheCallbackToTheFirstAndEnds)
{
    expectASecondStartHandsItsCallbackToTheFirst();
}

TEST_F(ShellDesktop, WithoutARuntimeFolderASecondStartStillFindsTheFirst)
{
    m_environment.remove("XDG_RUNTIME_DIR");
    expectASecondStartHandsItsCallbackToTheFirst();
    const QString folder =
        m_environment.value("TMPDIR") + QStringLiteral("/corvanta-%1").arg(::getuid());
    EXPECT_TRUE(QFileInfo(folder).isDir()) << "the socket is in a folder of the user's own";
}

TEST_F(ShellDesktop, TheTrayIconIsEmbeddedWithTheDocumentedMenu)
{
    ASSERT_TRUE(QSystemTrayIcon::isSystemTrayAvailable()) << "tint2 is the tray host";
    CorvantaApp::Options options;
    options.environment = desktop::environmentOptions();
    const QString settings = m_home.path() + QStringLiteral("/Corvanta.conf");
    options.environment.makeUserDefaults = [settings] {
        return std::make_unique<UserDefaults>(settings);
    };
    CorvantaApp app(std::move(options));
    app.launch();
    EXPECT_TRUE(app.trayIcon().isVisible());
    EXPECT_TRUE(waitUntil([] { return isEmbedded(trayIconWindow()); }, waitLimitMs))
        << "the tray host has taken the icon into its panel";
    qsizetype titled = 0;
    for (const QWidget *widget : QApplication::topLevelWidgets())
        titled += widget->windowTitle() == QLatin1String("Corvanta");
    EXPECT_EQ(titled, 1) << "only the main window carries the title";

    QStringList entries;
    for (const QAction *action : app.menuView().menu()->actions())
        entries << (action->isSeparator() ? QStringLiteral("-") : action->text());
    EXPECT_EQ(entries, QStringList({"Capture Full Screen (Ctrl+Alt+1)", "Capture Area (Ctrl+Alt+2)",
                                    "Capture Window (Ctrl+Alt+3)", "Screen Recording (Ctrl+Alt+4)",
                                    "-", "Settings...", "Quit Corvanta"}));
}

} // namespace
