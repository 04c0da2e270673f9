#pragma once

#include "app/AppEnvironment.h"
#include "app/OpenUrlHandler.h"
#include "windows/WindowServices.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class AppDelegate;
class CorvantaMenuView;
class MainWindow;
class SettingsWindow;
class QWidget;
class QSystemTrayIcon;

// The program as the user meets it: the one application environment, the delegate, the main
// window (shown at launch) and the tray icon with its menu. It also takes the
// command-line arguments of this start and of later ones, handing sign-in callbacks on.
class CorvantaApp final : public QObject {
    Q_OBJECT

public:
    struct Options {
        AppEnvironment::Options environment;
        // Empty: the environment's auth service, or, without one, callbacks are only logged.
        std::shared_ptr<BrowserSignIn> signIn;
        // The account view of the main window's Account tab and whether someone is signed in;
        // empty: no account service, an empty Account page and nobody signed in.
        std::function<QWidget *()> makeAccountView;
        std::function<bool()> isSignedIn;
        // Closes every pin; empty: there are no pins to close.
        std::function<void()> closeAllPins;
    };

    explicit CorvantaApp(Options options = {}, QObject *parent = nullptr);
    ~CorvantaApp() override;

    // Runs the delegate's launch sequence and shows the main window; the delegate's termination
    // follows when the application quits. `alone`: no other instance runs for this user
    // (SingleInstance).
    void launch(bool alone = false);
    // Every argument that is a sign-in callback URL goes to the account code; the rest are
    // logged and ignored.
    void openArguments(const QStringList &arguments);
    // The arguments of a later start: a start without any opens the main window, as launching
    // a running application again does; otherwise as openArguments().
    void openLaterStart(const QStringList &arguments);

    AppEnvironment &environment() const { return *m_environment; }
    AppDelegate &delegate() const { return *m_appDelegate; }
    MainWindow &mainWindow() const { return *m_mainWindow; }
    // Made the first time it is shown.
    SettingsWindow *settingsWindow() const { return m_settingsWindow.get(); }
    // Brings the main window forward, as a second start of the program does.
    void showMainWindow();
    // What the menu's "Settings..." does: shows the settings window, centred and in front.
    void showSettingsWindow();
    CorvantaMenuView &menuView() const { return *m_menuView; }
    QSystemTrayIcon &trayIcon() const { return *m_trayIcon; }

private:
    void showTrayIcon();

    std::unique_ptr<AppEnvironment> m_environment;
    std::unique_ptr<AppDelegate> m_appDelegate;
    WindowServices m_windowServices;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<SettingsWindow> m_settingsWindow;
    std::unique_ptr<CorvantaMenuView> m_menuView;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    OpenUrlHandler m_openUrlHandler;
};
