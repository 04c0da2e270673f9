// Every way a capture or a recording ends, run through the whole program on the harness's
// desktop with the main window open, covered, minimised and closed: afterwards the main window
// and the staging tray are as they were and the keyboard is where it was. And a save dialog of
// the preview gives the keyboard back to the preview.

#include "DesktopPreview.h"
#include "PanelDesktopSupport.h"
#include "WindowManagerView.h"
#include "app/CorvantaApp.h"
#include "app/CorvantaMenuView.h"
#include "app/DesktopPlatform.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ModeSelectorView.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ScreenRecordingService.h"
#include "capture/SelectionOverlayWindow.h"
#include "model/CaptureQueue.h"
#include "model/UserDefaults.h"
#include "platform/TemporaryDirectory.h"
#include "platform/WindowList.h"
#include "support/ChildProcess.h"
#include "support/TempDirScope.h"
#include "support/X11DesktopTest.h"
#include "tray/CaptureTrayView.h"
#include "tray/NotchTrackingContainerView.h"
#include "tray/NotchWindowController.h"
#include "windows/MainWindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr int waitLimitMs = 10000;
// How long after a flow's end a main window that was away is watched at least.
constexpr int lateRestoreMs = 500;

enum class MainWindowState { open, covered, minimised, closed };

class CaptureEndsDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        CorvantaApp::Options options;
        options.environment = desktop::environmentOptions();
        const QString settings = m_home.filePath(QStringLiteral("Corvanta.conf"));
        options.environment.makeUserDefaults = [settings] {
            return std::make_unique<UserDefaults>(settings);
        };
        m_tmpDir = qgetenv("TMPDIR");
        m_hadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
        m_watch.setInterval(20);
        QObject::connect(&m_watch, &QTimer::timeout, [this] { watchTheAwayWindow(); });
        m_app = std::make_unique<CorvantaApp>(std::move(options));
        m_app->launch();
        ASSERT_TRUE(waitUntil([&] { return mapped(); }, waitLimitMs)) << "shown at launch";
        ASSERT_TRUE(m_users.start(QStringLiteral("xmessage"), {"-geometry", "500x300+150+120",
                                                               "The window the user works in"}));
        ASSERT_TRUE(waitUntil(
            [&] {
                for (const platform::WindowInfo &info : env().platform().windowList->windows()) {
                    if (info.title == QLatin1String("xmessage") && info.isOnScreen)
                        m_usersWindow = info.id;
                }
                return m_usersWindow != 0;
            },
            waitLimitMs));
    }
    void TearDown() override
    {
        m_watch.stop();
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(widget); dialog && dialog->isVisible())
                dialog->reject();
        }
        m_app.reset();
        restoreTemporaryFolder();
    }
    void restoreTemporaryFolder()
    {
        platform::TemporaryDirectory::setSystemFolder(QString());
        if (m_hadTmpDir)
            qputenv("TMPDIR", m_tmpDir);
        else
            qunsetenv("TMPDIR");
    }

    AppEnvironment &env() const { return m_app->environment(); }
    MainWindow &mainWindow() const { return m_app->mainWindow(); }
    CaptureCoordinator &coordinator() const { return env().captureCoordinator(); }
    NotchWindowController &tray() const
    {
        return *dynamic_cast<NotchWindowController *>(coordinator().notchWindowController());
    }
    // Its window of the window system, which a window that was closed gets anew.
    quint32 mainWindowId() const { return quint32(mainWindow().winId()); }
    bool mapped() const
    {
        return mainWindow().isVisible() && mainWindow().windowHandle() &&
               mainWindow().windowHandle()->isExposed();
    }
    bool flowEnded() const
    {
        return !coordinator().isCaptureInProgress() && !env().recordingService().isRecording();
    }
    // The window manager has handled every request made so far: a move of the user's window,
    // asked for after them, has been carried out.
    void settleWindowManager()
    {
        ++m_moves;
        xdotool({"windowmove", "--sync", QString::number(m_usersWindow),
                 QString::number(150 + m_moves % 2), "120"});
    }
    void activateUsersWindow() { activate(m_usersWindow); }
    // As a click on the window or the task bar gives it the keyboard.
    void activate(quint32 window)
    {
        xdotool({"windowactivate", "--sync", QString::number(window)});
        ASSERT_TRUE(waitUntil([&] { return m_wm.activeWindow() == window; }, waitLimitMs));
    }

    void arrange(MainWindowState state)
    {
        MainWindow &window = mainWindow();
        if (m_away) {
            // Left so by the last flow and still so: arranged as it is, and watched on.
            if (*m_away == state && placeDifference(state).empty()) {
                activateUsersWindow();
                return;
            }
            endWatch();
        }
        if (state == MainWindowState::closed) {
            window.close();
            ASSERT_TRUE(waitUntil([&] { return !window.isVisible(); }, waitLimitMs));
            activateUsersWindow();
            return;
        }
        window.showNormal();
        ASSERT_TRUE(waitUntil([&] { return mapped(); }, waitLimitMs));
        activate(mainWindowId());
        if (state == MainWindowState::minimised) {
            // Asked again when the window came back from its last minimising only meanwhile.
            const auto minimised = [&] {
                return window.isMinimized() && m_wm.isMinimised(mainWindowId());
            };
            for (int tries = 0; tries < 3 && !minimised(); ++tries) {
                xdotool({"windowminimize", "--sync", QString::number(mainWindowId())});
                waitUntil(minimised, waitLimitMs / 3);
            }
            ASSERT_TRUE(minimised());
        }
        if (state != MainWindowState::open)
            activateUsersWindow();
        if (state == MainWindowState::covered) {
            ASSERT_TRUE(m_wm.isBelow(mainWindowId(), m_usersWindow));
        }
    }

    // Where the main window is not as arranged: nothing when it is.
    std::string placeDifference(MainWindowState state)
    {
        const quint32 main = mainWindowId();
        switch (state) {
        case MainWindowState::open:
            return m_wm.isBelow(m_usersWindow, main) ? "" : "the main window is not in front";
        case MainWindowState::covered:
            return m_wm.isBelow(main, m_usersWindow) ? "" : "the main window is not covered";
        case MainWindowState::minimised:
            return m_wm.isMinimised(main) && mainWindow().isMinimized()
                       ? ""
                       : "the main window is not minimised";
        case MainWindowState::closed:
            return mainWindow().isVisible() ? "the main window is open" : "";
        }
        return "";
    }
    // What is not as arranged: nothing when the main window and the keyboard are as they were.
    std::string differences(MainWindowState state)
    {
        std::string wrong = placeDifference(state);
        const quint32 keyboard = state == MainWindowState::open ? mainWindowId() : m_usersWindow;
        if (const quint32 active = m_wm.activeWindow(); active != keyboard)
            wrong += (wrong.empty() ? "" : "; ") + std::string("the keyboard is with ") +
                     std::to_string(active) + ", not the " +
                     (keyboard == m_usersWindow ? "user's" : "main") + " window";
        return wrong;
    }

    void expectAsArranged(MainWindowState state)
    {
        ASSERT_TRUE(waitUntil([&] { return flowEnded(); }, waitLimitMs));
        m_sinceTheEnd.start();
        EXPECT_TRUE(waitUntil([&] { return tray().isWindowVisible(); }, waitLimitMs))
            << "the tray shows the staged captures again";
        if (state == MainWindowState::open || state == MainWindowState::covered) {
            EXPECT_TRUE(waitUntil([&] { return mapped(); }, waitLimitMs)) << "back on the screen";
        }
        settleWindowManager();
        std::string wrong;
        EXPECT_TRUE(waitUntil([&] { return (wrong = differences(state)).empty(); }, waitLimitMs))
            << wrong;
        if (m_away) {
            EXPECT_EQ(m_awayChange, "") << "after the flow before this one ended";
            m_awayChange.clear();
        }
        // A main window that was away is watched from here through the next flow: one brought
        // back late, after this check, shows then.
        if (state == MainWindowState::minimised || state == MainWindowState::closed) {
            m_away = state;
            m_watch.start();
        }
    }
    // The last flow's end is a while past, long enough for a late restore to have come.
    void endWatch()
    {
        waitUntil([&] { return m_sinceTheEnd.elapsed() >= lateRestoreMs; }, lateRestoreMs);
        m_watch.stop();
        EXPECT_EQ(m_awayChange, "") << "after the last flow ended";
        m_awayChange.clear();
        m_away.reset();
    }
    void watchTheAwayWindow()
    {
        if (!m_away || !m_awayChange.empty())
            return;
        const std::string change = placeDifference(*m_away);
        if (!change.empty())
            m_awayChange =
                change + ", " + std::to_string(m_sinceTheEnd.elapsed()) + " ms after the end";
    }

    // The steps of the flows, as a user takes them.
    void takeScreenshot()
    {
        const QUuid before = newest();
        xdotool({"key", "ctrl+alt+1"});
        expectStaged(before, CaptureMode::fullDisplay);
    }
    // Escape until the open selection or chooser goes: its keyboard grab may lag behind its
    // window.
    void escapeUntilTheFlowEnds()
    {
        for (int tries = 0; tries < 10 && !flowEnded(); ++tries) {
            xdotool({"key", "Escape"});
            waitUntil([&] { return flowEnded(); }, 1000);
        }
        ASSERT_TRUE(flowEnded());
    }
    void cancelInTheSelection()
    {
        xdotool({"key", "ctrl+alt+2"});
        ASSERT_TRUE(waitUntil(
            [&] {
                auto *overlay = visibleTopLevel<SelectionOverlayWindow>();
                return overlay && overlay->windowHandle() && overlay->windowHandle()->isExposed();
            },
            waitLimitMs));
        escapeUntilTheFlowEnds();
    }
    void openTheChooser()
    {
        xdotool({"key", "ctrl+alt+4"});
        ASSERT_TRUE(waitUntil(
            [&] {
                QWidget *panel = env().recordingModeSelector().panel();
                return panel && panel->isActiveWindow();
            },
            waitLimitMs));
    }
    void cancelAtTheChooser()
    {
        openTheChooser();
        escapeUntilTheFlowEnds();
    }
    void chooseScreen()
    {
        openTheChooser();
        ModeButton *screen =
            env().recordingModeSelector().view()->button(RecordingSelectionMode::fullScreen);
        ASSERT_NE(screen, nullptr);
        clickAt(screen->mapToGlobal(screen->rect().center()));
    }
    void startRecording()
    {
        chooseScreen();
        ASSERT_TRUE(waitUntil(
            [&] { return coordinator().isRecording() && !coordinator().isCaptureInProgress(); },
            waitLimitMs));
    }
    void failToStartRecording()
    {
        // The recorder's movie would go to a folder that does not exist.
        const QString nowhere = m_home.filePath(QStringLiteral("gone/tmp"));
        qputenv("TMPDIR", QFile::encodeName(nowhere));
        platform::TemporaryDirectory::setSystemFolder(nowhere);
        chooseScreen();
        QMessageBox *alert = nullptr;
        ASSERT_TRUE(
            waitUntil([&] { return (alert = visibleTopLevel<QMessageBox>()); }, waitLimitMs));
        EXPECT_EQ(alert->windowTitle(), QStringLiteral("Screen Recording Failed"));
        ASSERT_TRUE(waitUntil([&] { return alert->isActiveWindow(); }, waitLimitMs));
        xdotool({"key", "Return"});
        ASSERT_TRUE(waitUntil([&] { return !visibleTopLevel<QMessageBox>(); }, waitLimitMs));
        restoreTemporaryFolder();
    }
    // The capture staged last; the queue drops the oldest once it is full.
    QUuid newest() const
    {
        const QList<CaptureItem> items = env().queue().items();
        return items.isEmpty() ? QUuid() : items.first().id();
    }
    void expectStaged(const QUuid &before, CaptureMode mode = CaptureMode::recording)
    {
        ASSERT_TRUE(waitUntil([&] { return newest() != before; }, waitLimitMs));
        EXPECT_EQ(env().queue().items().first().mode(), mode);
    }
    // A recording of the screen, ended by `stop`: the movie is staged.
    void recordAndStop(const std::function<void()> &stop)
    {
        ASSERT_NO_FATAL_FAILURE(startRecording());
        const QUuid before = newest();
        ASSERT_NO_FATAL_FAILURE(stop());
        expectStaged(before);
    }
    void stopWithTheHotKey() { xdotool({"key", "ctrl+alt+4"}); }
    void stopInTheTray()
    {
        // Hovered, the tray opens its recording controls.
        const QRect panel = tray().panel()->geometry();
        movePointerTo(QPoint(panel.center().x(), panel.top() + 3));
        QAbstractButton *stop = nullptr;
        ASSERT_TRUE(waitUntil(
            [&] {
                stop = tray().trayView()->findChild<QAbstractButton *>("stopRecording");
                return stop && stop->isVisible() && !tray().trayView()->isMorphing();
            },
            waitLimitMs));
        clickAt(stop->mapToGlobal(stop->rect().center()));
        // The tray reads where the pointer is when the click arrives: it moves away after.
        ASSERT_TRUE(waitUntil([&] { return !coordinator().isRecording(); }, waitLimitMs));
        movePointerTo(m_platform.displays->mainDisplay()->rootRect.bottomRight());
    }
    void stopFromTheMenu()
    {
        QAction *stop = nullptr;
        for (QAction *action : m_app->menuView().menu()->actions()) {
            if (action->text().startsWith(QStringLiteral("Stop Screen Recording")))
                stop = action;
        }
        ASSERT_NE(stop, nullptr);
        stop->trigger();
    }

    TempDirScope m_tmp;
    QTemporaryDir m_home;
    std::unique_ptr<CorvantaApp> m_app;
    ChildProcess m_users;
    WindowManagerView m_wm;
    quint32 m_usersWindow = 0;
    int m_moves = 0;
    // The main window left minimised or closed by the last flow, watched while it stays so, and
    // the first change seen.
    std::optional<MainWindowState> m_away;
    std::string m_awayChange;
    QTimer m_watch;
    QElapsedTimer m_sinceTheEnd;
    QByteArray m_tmpDir;
    bool m_hadTmpDir = false;
};

TEST_F(CaptureEndsDesktop, EveryEndOfAFlowLeavesTheWindowsAndTheKeyboardAsTheyWere)
{
    // Something is staged, so the tray is on the screen before every flow.
    arrange(MainWindowState::covered);
    ASSERT_NO_FATAL_FAILURE(takeScreenshot());
    ASSERT_TRUE(waitUntil([&] { return tray().isWindowVisible() && flowEnded(); }, waitLimitMs));

    struct Flow {
        const char *name;
        std::function<void()> run;
    };
    const Flow flows[] = {
        {"taken", [this] { takeScreenshot(); }},
        {"cancelled in the selection", [this] { cancelInTheSelection(); }},
        {"cancelled at the chooser", [this] { cancelAtTheChooser(); }},
        {"failed to start recording", [this] { failToStartRecording(); }},
        {"recording stopped with the hot key",
         [this] { recordAndStop([this] { stopWithTheHotKey(); }); }},
        {"recording stopped in the tray", [this] { recordAndStop([this] { stopInTheTray(); }); }},
        {"recording stopped from the menu",
         [this] { recordAndStop([this] { stopFromTheMenu(); }); }},
    };
    const std::pair<MainWindowState, const char *> states[] = {
        {MainWindowState::open, "open"},
        {MainWindowState::covered, "covered"},
        {MainWindowState::minimised, "minimised"},
        {MainWindowState::closed, "closed"},
    };
    for (const auto &[state, stateName] : states) {
        for (const Flow &flow : flows) {
            SCOPED_TRACE(std::string(flow.name) + ", main window " + stateName);
            ASSERT_NO_FATAL_FAILURE(arrange(state));
            ASSERT_NO_FATAL_FAILURE(flow.run());
            ASSERT_NO_FATAL_FAILURE(expectAsArranged(state));
        }
        // Each check waits its limit out when it fails: one state's failures tell enough.
        if (HasFailure())
            return;
    }

    // Opened again while a recording runs and then covered: the recording's end leaves it so.
    SCOPED_TRACE("main window opened again during the recording");
    arrange(MainWindowState::open);
    ASSERT_NO_FATAL_FAILURE(recordAndStop([&] {
        m_app->showMainWindow();
        ASSERT_TRUE(waitUntil([&] { return mapped(); }, waitLimitMs));
        activateUsersWindow();
        stopWithTheHotKey();
    }));
    expectAsArranged(MainWindowState::covered);
}

TEST_F(CaptureEndsDesktop, ASaveDialogOfThePreviewGivesTheKeyboardBackToThePreview)
{
    arrange(MainWindowState::open);
    ASSERT_NO_FATAL_FAILURE(takeScreenshot());
    ASSERT_TRUE(waitUntil([&] { return flowEnded() && mapped(); }, waitLimitMs));
    QuickLookPreviewController &preview = env().previewController();
    tray().onQuickLook(env().queue().items().first());
    QWidget *panel = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] {
            panel = desktopPreviewPanel(preview);
            return panel && panel->windowHandle() && panel->windowHandle()->isExposed();
        },
        waitLimitMs));
    const auto previewWindow = quint32(panel->winId());
    panel->activateWindow();
    ASSERT_TRUE(waitUntil([&] { return m_wm.activeWindow() == previewWindow; }, waitLimitMs));

    xdotool({"key", "ctrl+s"});
    QFileDialog *dialog = nullptr;
    ASSERT_TRUE(waitUntil(
        [&] { return (dialog = visibleTopLevel<QFileDialog>()) && dialog->isActiveWindow(); },
        waitLimitMs));
    xdotool({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !visibleTopLevel<QFileDialog>(); }, waitLimitMs));
    settleWindowManager();
    EXPECT_TRUE(waitUntil([&] { return m_wm.activeWindow() == previewWindow; }, waitLimitMs))
        << "the keyboard went to " << m_wm.activeWindow();

    // The next Escape closes the preview.
    xdotool({"key", "Escape"});
    EXPECT_TRUE(waitUntil([&] { return !preview.isVisible(); }, waitLimitMs));
}

} // namespace
