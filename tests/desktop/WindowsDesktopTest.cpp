// The main window and the settings window on the harness's desktop, inside the whole program:
// opened the ways a user opens them, a Dashboard card taking a real screenshot, the tray moving
// when its position is chosen, and a picture of every page and tab. Pictures go to the folder
// named by CORVANTA_WINDOW_PICTURES when it is set.

#include "WindowManagerView.h"
#include "app/CorvantaApp.h"
#include "app/CorvantaMenuView.h"
#include "app/DesktopPlatform.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/UserDefaults.h"
#include "platform/WindowList.h"
#include "support/AnimationClock.h"
#include "support/ChildProcess.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "windows/DashboardPage.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QMenu>
#include <QProcess>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>
#include <memory>

namespace {

constexpr int waitLimitMs = 10000;

// Runs xdotool and waits for it; false when it failed.
bool xdotool(const QStringList &arguments)
{
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

class WindowsDesktop : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS")) {
            GTEST_SKIP() << "needs the desktop harness";
        }
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        CorvantaApp::Options options;
        options.environment = desktop::environmentOptions();
        const QString settings = m_home.filePath(QStringLiteral("Corvanta.conf"));
        options.environment.makeUserDefaults = [settings] {
            return std::make_unique<UserDefaults>(settings);
        };
        m_app = std::make_unique<CorvantaApp>(std::move(options));
        m_app->launch();
    }
    void TearDown() override { m_app.reset(); }

    static bool mapped(QWidget *window)
    {
        return window && window->isVisible() && window->windowHandle() &&
               window->windowHandle()->isExposed();
    }

    // Saves the window's picture when a folder is given; either way the picture must not be a
    // single colour, which would mean nothing was painted.
    static void picture(QWidget *window, const QString &name)
    {
        // Past the page's fade-in.
        AnimationClock animations;
        animations.advanceBy(250);
        const QImage image = window->grab().toImage();
        ASSERT_FALSE(image.isNull()) << name.toStdString();
        const QRgb first = image.pixel(image.width() / 2, image.height() / 2);
        bool varied = false;
        for (int y = 0; y < image.height() && !varied; y += 7) {
            for (int x = 0; x < image.width() && !varied; x += 7)
                varied = image.pixel(x, y) != first;
        }
        EXPECT_TRUE(varied) << name.toStdString() << " is blank";
        const QString folder = qEnvironmentVariable("CORVANTA_WINDOW_PICTURES");
        if (!folder.isEmpty()) {
            EXPECT_TRUE(image.save(QDir(folder).filePath(name + QStringLiteral(".png"))));
        }
    }

    // A page longer than its window, scrolled to its end as a user would.
    static void pictureOfLowerPart(QWidget *window, QWidget *page, const QString &name)
    {
        auto *scroll = qobject_cast<QScrollArea *>(page);
        if (!scroll || scroll->verticalScrollBar()->maximum() == 0)
            return;
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
        picture(window, name + QStringLiteral("-lower"));
        scroll->verticalScrollBar()->setValue(0);
    }

    QAction *menuEntry(const QString &text) const
    {
        for (QAction *action : m_app->menuView().menu()->actions()) {
            if (action->text() == text)
                return action;
        }
        return nullptr;
    }

    TempDirScope m_tmp;
    QTemporaryDir m_home;
    std::unique_ptr<CorvantaApp> m_app;
};

TEST_F(WindowsDesktop, MainWindowAndSettingsWindowOpenAndShowEveryPage)
{
    MainWindow &window = m_app->mainWindow();
    m_app->showMainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    EXPECT_EQ(window.selectedTab(), SidebarTab::account) << "nobody is signed in";
    for (const SidebarTab tab : Sidebar::tabs()) {
        window.selectTab(tab);
        picture(&window, QStringLiteral("main-") + Sidebar::title(tab).toLower());
        pictureOfLowerPart(&window, window.page(tab),
                           QStringLiteral("main-") + Sidebar::title(tab).toLower());
    }

    QAction *settings = menuEntry(QStringLiteral("Settings..."));
    ASSERT_NE(settings, nullptr);
    settings->trigger();
    SettingsWindow *settingsWindow = m_app->settingsWindow();
    ASSERT_NE(settingsWindow, nullptr);
    ASSERT_TRUE(waitUntil([&] { return mapped(settingsWindow); }, waitLimitMs));
    EXPECT_EQ(settingsWindow->size(), QSize(720, 640));
    for (int i = 0; i < settingsWindow->tabs()->count(); ++i) {
        settingsWindow->tabs()->setCurrentIndex(i);
        picture(settingsWindow,
                QStringLiteral("settings-") + settingsWindow->tabs()->tabText(i).toLower());
        pictureOfLowerPart(settingsWindow, settingsWindow->tabs()->widget(i),
                           QStringLiteral("settings-") +
                               settingsWindow->tabs()->tabText(i).toLower());
    }

    // Closing hides; the menu brings the same window back.
    settingsWindow->close();
    ASSERT_TRUE(waitUntil([&] { return !settingsWindow->isVisible(); }, waitLimitMs));
    settings->trigger();
    EXPECT_EQ(m_app->settingsWindow(), settingsWindow);
    EXPECT_TRUE(waitUntil([&] { return mapped(settingsWindow); }, waitLimitMs));
}

TEST_F(WindowsDesktop, TheMainWindowOpensAtLaunchAndReopensWhereTheUserLeftIt)
{
    MainWindow &window = m_app->mainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs)) << "shown at launch";
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty())
        GTEST_SKIP() << "needs xdotool to move the window as the user does";
    // Moved by the window manager, as a drag of the title bar moves it.
    const QPoint target(260, 170);
    ASSERT_EQ(
        QProcess::execute(xdotool, {QStringLiteral("windowmove"), QString::number(window.winId()),
                                    QString::number(target.x()), QString::number(target.y())}),
        0);
    ASSERT_TRUE(waitUntil([&] { return window.geometry().topLeft() == target; }, waitLimitMs));
    const QRect left = window.geometry();

    // What a capture does to it: hidden for the picture, shown again after.
    window.hide();
    ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }, waitLimitMs));
    QTest::qWait(100);
    m_app->showMainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    QTest::qWait(300);
    EXPECT_EQ(window.geometry(), left);
}

TEST_F(WindowsDesktop, TabMovesAVisibleFocusThroughTheMainWindow)
{
    MainWindow &window = m_app->mainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    const QString xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    if (xdotool.isEmpty())
        GTEST_SKIP() << "needs xdotool to type as the user does";
    window.selectTab(SidebarTab::dashboard);
    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return window.isActiveWindow(); }, waitLimitMs));
    QList<QWidget *> reached;
    for (int i = 0; i < 6; ++i) {
        QProcess::execute(xdotool, {QStringLiteral("key"), QStringLiteral("--window"),
                                    QString::number(window.winId()), QStringLiteral("Tab")});
        QWidget *before = reached.isEmpty() ? nullptr : reached.last();
        waitUntil([&] { return QApplication::focusWidget() != before; }, 1000);
        if (QWidget *focused = QApplication::focusWidget())
            reached << focused;
    }
    ASSERT_GE(reached.size(), 3);
    EXPECT_GE(QSet<QWidget *>(reached.begin(), reached.end()).size(), 3) << "Tab moves on";
    // The focused control shows it: its picture changes when the focus leaves it.
    QWidget *focused = reached.last();
    QTest::qWait(100);
    const QImage withFocus = focused->grab().toImage();
    window.setFocus(Qt::OtherFocusReason);
    QTest::qWait(100);
    EXPECT_NE(focused->grab().toImage(), withFocus);
}

TEST_F(WindowsDesktop, DashboardCardTakesAScreenshotAndTheTrayMovesWithItsPosition)
{
    MainWindow &window = m_app->mainWindow();
    m_app->showMainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    window.selectTab(SidebarTab::dashboard);
    QWidget *page = window.page(SidebarTab::dashboard);
    CaptureCardButton *fullScreen = nullptr;
    for (CaptureCardButton *card : page->findChildren<CaptureCardButton *>()) {
        if (card->card().card == CaptureCard::fullScreen)
            fullScreen = card;
    }
    ASSERT_NE(fullScreen, nullptr);
    QTest::qWait(100);
    QTest::mouseClick(fullScreen, Qt::LeftButton, {}, fullScreen->rect().center());
    ASSERT_TRUE(
        waitUntil([&] { return m_app->environment().queue().items().size() == 1; }, waitLimitMs))
        << "the card's capture was staged";

    auto *tray = dynamic_cast<NotchWindowController *>(
        m_app->environment().captureCoordinator().notchWindowController());
    ASSERT_NE(tray, nullptr);
    ASSERT_TRUE(
        waitUntil([&] { return tray->panel() && tray->panel()->isVisible(); }, waitLimitMs));
    m_app->showMainWindow();
    window.selectTab(SidebarTab::appearance);
    const QRect before = tray->panel()->geometry();
    QComboBox *position = nullptr;
    for (QComboBox *combo : window.page(SidebarTab::appearance)->findChildren<QComboBox *>()) {
        if (combo->accessibleName() == QLatin1String("Tray Position"))
            position = combo;
    }
    ASSERT_NE(position, nullptr);
    position->setCurrentIndex(6);
    emit position->activated(6);
    EXPECT_TRUE(waitUntil(
        [&] {
            const QRect now = tray->panel()->geometry();
            return now.center().y() > before.center().y() && now.center().x() > before.center().x();
        },
        waitLimitMs))
        << "the tray went to the bottom right corner";
}

TEST_F(WindowsDesktop, AHotKeyCaptureLeavesTheUsersWindowInFrontAndAMinimisedMainWindowDown)
{
    MainWindow &window = m_app->mainWindow();
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs)) << "shown at launch";
    const auto mainWindow = quint32(window.winId());
    ChildProcess users;
    ASSERT_TRUE(users.start(QStringLiteral("xmessage"),
                            {"-geometry", "500x300+150+120", "The window the user works in"}));
    quint32 usersWindow = 0;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const platform::WindowInfo &info :
                 m_app->environment().platform().windowList->windows()) {
                if (info.title == QLatin1String("xmessage") && info.isOnScreen)
                    usersWindow = info.id;
            }
            return usersWindow != 0;
        },
        waitLimitMs));
    ASSERT_TRUE(xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                         QString::number(usersWindow)}));
    WindowManagerView wm;
    ASSERT_TRUE(waitUntil([&] { return wm.activeWindow() == usersWindow; }, waitLimitMs));
    const auto below = [&](quint32 lower, quint32 upper) { return wm.isBelow(lower, upper); };
    ASSERT_TRUE(below(mainWindow, usersWindow));
    CaptureQueue &queue = m_app->environment().queue();
    const CaptureCoordinator &coordinator = m_app->environment().captureCoordinator();
    // The window manager has handled every request made so far: a move of the user's window,
    // asked for after them, has been carried out.
    int moves = 0;
    const auto settleWindowManager = [&] {
        ++moves;
        return xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"),
                        QString::number(usersWindow), QString::number(150 + moves),
                        QStringLiteral("120")});
    };
    const auto captured = [&](qsizetype count) {
        return waitUntil(
            [&] { return queue.items().size() == count && !coordinator.isCaptureInProgress(); },
            waitLimitMs);
    };

    // The user's window keeps the keyboard and stays above the main window, which comes back.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+1")}));
    ASSERT_TRUE(captured(1));
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    ASSERT_TRUE(settleWindowManager());
    EXPECT_EQ(wm.activeWindow(), usersWindow);
    EXPECT_TRUE(below(mainWindow, usersWindow)) << "the main window came back above the user's";
    EXPECT_FALSE(wm.isMinimised(mainWindow));

    // A minimised main window stays minimised.
    ASSERT_TRUE(xdotool(
        {QStringLiteral("windowminimize"), QStringLiteral("--sync"), QString::number(mainWindow)}));
    ASSERT_TRUE(waitUntil([&] { return window.isMinimized(); }, waitLimitMs));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+1")}));
    ASSERT_TRUE(captured(2));
    ASSERT_TRUE(settleWindowManager());
    EXPECT_TRUE(wm.isMinimised(mainWindow));
    EXPECT_TRUE(window.isMinimized());
    EXPECT_EQ(wm.activeWindow(), usersWindow);

    // The main window the user was in is the one in front with the keyboard again.
    window.showNormal();
    window.raise();
    window.activateWindow();
    ASSERT_TRUE(waitUntil([&] { return wm.activeWindow() == mainWindow; }, waitLimitMs));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+1")}));
    ASSERT_TRUE(captured(3));
    ASSERT_TRUE(waitUntil([&] { return mapped(&window); }, waitLimitMs));
    EXPECT_TRUE(waitUntil([&] { return wm.activeWindow() == mainWindow; }, waitLimitMs));
    EXPECT_TRUE(below(usersWindow, mainWindow));
}

} // namespace
