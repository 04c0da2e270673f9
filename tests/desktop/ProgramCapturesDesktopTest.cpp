// The program as its composition root builds it, on the harness's desktop: the captures the hot
// keys, the tray icon's menu and the Dashboard's cards start (an area dragged, a window picked,
// the whole display, a recording), the menu's tray entries, the hot key and the Pins page's button
// that close every pin, and the hot-key schemes chosen in the settings window and on the Hotkeys
// page, each checked by what a user meets: the capture staged with the pixels chosen, the tray
// shown or hidden, the captures and the pins gone, the new keys answering.

#include "ProgramDesktopTest.h"
#include "app/CorvantaApp.h"
#include "app/CorvantaMenuView.h"
#include "capture/SelectionOverlayWindow.h"
#include "support/X11KeyGrabber.h"
#include "windows/AccountAboutPages.h"
#include "windows/DashboardPage.h"
#include "windows/HotkeyProblemLabel.h"
#include "windows/HotkeysPage.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"

#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTabWidget>
#include <functional>

namespace {

constexpr int waitLimitMs = programWaitLimitMs;

class ProgramCapturesDesktop : public ProgramDesktopTest {
protected:
    // What the screen shows in the rectangle, our windows as they stand.
    static QImage onScreen(const QRect &rect)
    {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, rect.x(), rect.y(), rect.width(), rect.height())
            .toImage();
    }
    void awaitSelectionOverlay()
    {
        SelectionOverlayWindow *overlay = nullptr;
        ASSERT_TRUE(waitUntil([&] { return (overlay = visibleTopLevel<SelectionOverlayWindow>()); },
                              waitLimitMs));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(overlay->windowHandle()));
    }
    // Drags across the lower left of the window of text once `start` has opened the selection:
    // the staged capture holds those pixels.
    void dragAnArea(const std::function<void()> &start)
    {
        const QRect area(m_text.geometry().bottomLeft() + QPoint(40, -240), QSize(300, 200));
        const QImage expected = onScreen(area);
        const qsizetype before = queue().items().size();
        start();
        awaitSelectionOverlay();
        const QPoint to = area.bottomRight() + QPoint(1, 1);
        xdotool({"mousemove", QString::number(area.left()), QString::number(area.top()),
                 "mousedown", "1", "mousemove", QString::number(area.center().x()),
                 QString::number(area.center().y()), "mousemove", QString::number(to.x()),
                 QString::number(to.y()), "mouseup", "1"});
        const std::optional<CaptureItem> item = nextStaged(before);
        ASSERT_TRUE(item) << "an area staged";
        EXPECT_EQ(item->mode(), CaptureMode::area);
        EXPECT_TRUE(samePicture(item->image(), expected)) << "the area's pixels";
    }

    // Another program's window (ImageMagick's viewer) showing a picture with a plain green
    // middle; our own windows are never offered for picking.
    void showAnotherProgramsWindow()
    {
        QImage picture(viewerSize, QImage::Format_RGB32);
        picture.fill(QColor(200, 120, 40));
        QPainter(&picture).fillRect(QRect(100, 75, 200, 150), viewerGreen);
        const QString file = m_saved.filePath(QStringLiteral("viewer.png"));
        ASSERT_TRUE(picture.save(file));
        m_viewer.start(
            QStringLiteral("display"),
            {"-geometry", QStringLiteral("+%1+%2").arg(m_viewerAt.x()).arg(m_viewerAt.y()), file});
        ASSERT_TRUE(m_viewer.waitForStarted(waitLimitMs));
        ASSERT_TRUE(waitUntil(
            [&] {
                return onScreen(QRect(viewerMiddle(), QSize(1, 1))).pixelColor(0, 0) == viewerGreen;
            },
            waitLimitMs))
            << "the viewer shows its picture";
    }
    // Picks that window once `start` has opened the selection: the staged capture is the window,
    // its middle the picture's.
    void pickTheViewer(const std::function<void()> &start)
    {
        const qsizetype before = queue().items().size();
        start();
        awaitSelectionOverlay();
        const QPoint at = viewerMiddle();
        xdotool({"mousemove", QString::number(at.x()), QString::number(at.y()), "mousemove",
                 QString::number(at.x() + 1), QString::number(at.y()), "click", "1"});
        const std::optional<CaptureItem> item = nextStaged(before);
        ASSERT_TRUE(item) << "a window staged";
        EXPECT_EQ(item->mode(), CaptureMode::window);
        const QImage image = item->image();
        EXPECT_GE(image.width(), viewerSize.width());
        EXPECT_GE(image.height(), viewerSize.height());
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), viewerGreen);
    }
    // Inside the picture's green middle, whatever the window's decorations.
    QPoint viewerMiddle() const { return m_viewerAt + QPoint(200, 160); }
    void TearDown() override
    {
        if (m_viewer.state() != QProcess::NotRunning) {
            m_viewer.kill();
            m_viewer.waitForFinished();
        }
        ProgramDesktopTest::TearDown();
    }

    static constexpr QSize viewerSize{400, 300};
    const QColor viewerGreen{30, 160, 60};
    const QPoint m_viewerAt{40, 160};
    QProcess m_viewer;
};

TEST_F(ProgramCapturesDesktop, TheHotKeysAndTheMenuStageEveryKindOfCaptureWhileAnotherHoldsOne)
{
    // Another program holds Ctrl+Alt+1 when the program starts: both Hotkeys pages name it, and
    // the other keys work.
    m_environment = nullptr;
    m_ownEnvironment.reset();
    X11KeyGrabber other;
    ASSERT_TRUE(other.grab('1', XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1));
    launchTheProgram();
    m_app->showSettingsWindow();
    for (QWidget *window : {m_app->mainWindow().page(SidebarTab::hotkeys),
                            static_cast<QWidget *>(m_app->settingsWindow())}) {
        QStringList shown;
        for (HotkeyProblemLabel *label : window->findChildren<HotkeyProblemLabel *>())
            shown << (label->isHidden() ? QString() : label->text());
        EXPECT_TRUE(
            shown.contains("Ctrl+Alt+1 could not be registered; another program may be using it."))
            << shown.join('|').toStdString();
    }
    m_app->settingsWindow()->close();
    m_app->mainWindow().hide();

    QMenu *menu = m_app->menuView().menu();
    // Clear of the area dragged and of the window picked.
    const QPoint menuAt = m_screen.topRight() + QPoint(-400, 200);
    const auto fromMenu = [&](const char *title) {
        return [&, title] { chooseFromMenu(menu, QString::fromLatin1(title), menuAt); };
    };
    const auto hotKey = [](const char *key) {
        return [key] { xdotool({"key", "--clearmodifiers", key}); };
    };
    movePointerTo(m_screen.bottomRight());

    dragAnArea(hotKey("ctrl+alt+2"));
    dragAnArea(fromMenu("Capture Area"));
    showAnotherProgramsWindow();
    pickTheViewer(hotKey("ctrl+alt+3"));
    pickTheViewer(fromMenu("Capture Window"));
    fromMenu("Capture Full Screen")();
    const std::optional<CaptureItem> whole = nextStaged(4);
    ASSERT_TRUE(whole) << "the display staged";
    EXPECT_EQ(whole->mode(), CaptureMode::fullDisplay);
    EXPECT_EQ(whole->image().size(), m_screen.size());

    hoverTheTray();
    typeTrayKey("p");
    expectPinned(selected());
    movePointerTo(m_screen.center());
    hotKey("ctrl+alt+p")();
    EXPECT_TRUE(
        waitUntil([&] { return !deck() || !deck()->window() || !deck()->window()->isVisible(); },
                  waitLimitMs));

    hotKey("ctrl+alt+4")();
    chooseToRecordTheScreen();
    hotKey("ctrl+alt+4")();
    const std::optional<CaptureItem> movie = nextStaged(5);
    ASSERT_TRUE(movie) << "the recording staged";
    EXPECT_EQ(movie->mode(), CaptureMode::recording);
}

TEST_F(ProgramCapturesDesktop, TheMenuShowsHidesAndClearsTheTrayAndTheHotKeyClosesThePins)
{
    CorvantaMenuView menu(*m_environment);
    const QPoint menuAt = m_screen.center() - QPoint(200, 100);
    captureWithTheHotKey(2);
    hoverTheTray();
    typeTrayKey("p");
    expectPinned(selected());
    movePointerTo(m_screen.center());

    // Ctrl+Alt+P closes the deck; the captures stay staged.
    xdotool({"key", "--clearmodifiers", "ctrl+alt+p"});
    EXPECT_TRUE(
        waitUntil([&] { return !deck() || !deck()->window() || !deck()->window()->isVisible(); },
                  waitLimitMs));
    EXPECT_EQ(queue().items().size(), 2);

    // The tray's entry hides the tray and shows it again.
    ASSERT_TRUE(tray()->isWindowVisible());
    chooseFromMenu(menu.menu(), QStringLiteral("Show Tray (2 items)"), menuAt);
    EXPECT_TRUE(waitUntil([&] { return !tray()->isWindowVisible(); }, waitLimitMs));
    chooseFromMenu(menu.menu(), QStringLiteral("Show Tray (2 items)"), menuAt);
    EXPECT_TRUE(waitUntil([&] { return tray()->isWindowVisible(); }, waitLimitMs));

    // Clear All Pending Items: nothing staged is left, and the menu no longer offers the tray.
    chooseFromMenu(menu.menu(), QStringLiteral("Clear All Pending Items"), menuAt);
    EXPECT_TRUE(waitUntil([&] { return queue().items().isEmpty(); }, waitLimitMs));
    for (const QAction *action : menu.menu()->actions())
        EXPECT_FALSE(action->text().startsWith(QStringLiteral("Show Tray")));
}

// The whole program as the user starts it: its main window open over the window of text, its
// tray icon's menu and its settings window.
class ProgramWindowsDesktop : public ProgramCapturesDesktop {
protected:
    void SetUp() override
    {
        ProgramCapturesDesktop::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        launchTheProgram();
    }

    std::function<void()> clickCard(CaptureCard card)
    {
        return [this, card] {
            for (CaptureCardButton *button : m_app->mainWindow()
                                                 .page(SidebarTab::dashboard)
                                                 ->findChildren<CaptureCardButton *>())
                if (button->card().card == card)
                    clickInMainWindow(SidebarTab::dashboard, button);
        };
    }
};

TEST_F(ProgramWindowsDesktop, EveryDashboardCardStartsItsCapture)
{
    movePointerTo(m_screen.bottomRight());
    dragAnArea(clickCard(CaptureCard::area));
    showAnotherProgramsWindow();
    pickTheViewer(clickCard(CaptureCard::window));
    clickCard(CaptureCard::fullScreen)();
    const std::optional<CaptureItem> whole = nextStaged(2);
    ASSERT_TRUE(whole) << "the display staged";
    EXPECT_EQ(whole->mode(), CaptureMode::fullDisplay);

    clickCard(CaptureCard::recording)();
    chooseToRecordTheScreen();
    xdotool({"key", "--clearmodifiers", "ctrl+alt+4"});
    const std::optional<CaptureItem> movie = nextStaged(3);
    ASSERT_TRUE(movie) << "the recording staged";
    EXPECT_EQ(movie->mode(), CaptureMode::recording);
}

TEST_F(ProgramWindowsDesktop, TheSchemesChosenInTheWindowsTakeTheKeysAndThePinsPageClosesThePins)
{
    // The settings window, opened from the menu: its Ctrl + Super scheme.
    chooseFromMenu(m_app->menuView().menu(), QStringLiteral("Settings..."),
                   m_screen.topRight() + QPoint(-400, 200));
    ASSERT_TRUE(
        waitUntil([&] { return m_app->settingsWindow() && m_app->settingsWindow()->isVisible(); }));
    auto *tabs = m_app->settingsWindow()->findChild<QTabWidget *>();
    ASSERT_NE(tabs, nullptr);
    QRadioButton *superScheme = nullptr;
    for (QRadioButton *radio : m_app->settingsWindow()->findChildren<QRadioButton *>())
        superScheme =
            radio->text().startsWith(QStringLiteral("Ctrl + Super")) ? radio : superScheme;
    ASSERT_NE(superScheme, nullptr);
    for (int i = 0; i < tabs->count() && !superScheme->isVisible(); ++i)
        tabs->setCurrentIndex(i);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_app->settingsWindow()));
    clickAt(superScheme->mapToGlobal(superScheme->rect().center()));
    ASSERT_TRUE(waitUntil([&] {
        return m_environment->settingsStore().shortcutScheme() == ShortcutScheme::commandControl;
    }));
    expectTheKeyCaptures("ctrl+super+1");
    m_app->settingsWindow()->close();

    // The Hotkeys page: back to Ctrl + Alt.
    SchemeRowButton *controlAlt = nullptr;
    for (SchemeRowButton *row :
         m_app->mainWindow().page(SidebarTab::hotkeys)->findChildren<SchemeRowButton *>())
        controlAlt = row->scheme() == ShortcutScheme::controlOption ? row : controlAlt;
    ASSERT_NE(controlAlt, nullptr);
    clickInMainWindow(SidebarTab::hotkeys, controlAlt);
    ASSERT_TRUE(waitUntil([&] {
        return m_environment->settingsStore().shortcutScheme() == ShortcutScheme::controlOption;
    }));
    expectTheKeyCaptures("ctrl+alt+1");

    // The Pins page's Close All Pins: the deck goes, the captures stay.
    hoverTheTray();
    typeTrayKey("p");
    expectPinned(selected());
    movePointerTo(m_screen.center());
    QPushButton *closeAll = nullptr;
    for (QPushButton *button :
         m_app->mainWindow().page(SidebarTab::pins)->findChildren<QPushButton *>())
        closeAll = button->text() == QStringLiteral("Close All Pins") ? button : closeAll;
    ASSERT_NE(closeAll, nullptr);
    clickInMainWindow(SidebarTab::pins, closeAll);
    EXPECT_TRUE(
        waitUntil([&] { return !deck() || !deck()->window() || !deck()->window()->isVisible(); },
                  waitLimitMs));
    EXPECT_EQ(queue().items().size(), 2);
}

TEST_F(ProgramWindowsDesktop, TheAboutPagesLinksReachTheBrowserAndTheMailProgram)
{
    // The desktop's browser and mail program write down the address they are given.
    const QString opened = m_saved.filePath(QStringLiteral("opened.txt"));
    DesktopDefaults defaults(applicationsFolder());
    ASSERT_TRUE(defaults.add(
        QStringLiteral("Link Probe"), QStringLiteral("sh -c 'echo \"$1\" >> %1' sh %u").arg(opened),
        {QStringLiteral("x-scheme-handler/https"), QStringLiteral("x-scheme-handler/mailto")}));
    QStringList expected;
    for (const AboutPage::Link &link : AboutPage::links()) {
        QAbstractButton *tile = nullptr;
        for (QAbstractButton *button :
             m_app->mainWindow().page(SidebarTab::about)->findChildren<QAbstractButton *>())
            tile = button->accessibleName() == link.title || button->text() == link.title ? button
                                                                                          : tile;
        ASSERT_NE(tile, nullptr) << qPrintable(link.title);
        clickInMainWindow(SidebarTab::about, tile);
        expected << link.address;
        EXPECT_TRUE(
            waitUntil([&] { return linesOf(opened).size() == expected.size(); }, waitLimitMs))
            << qPrintable(link.title);
    }
    EXPECT_EQ(linesOf(opened), expected);
}

} // namespace
