#pragma once

#include "app/AppEnvironment.h"
#include "app/OpenUrlHandler.h"

#include <QObject>
#include <QStringList>
#include <memory>

class AppDelegate;
class CorvantaMenuView;
class MainWindow;
class QSystemTrayIcon;

// The program as the user meets it: the one application environment, the delegate, the main
// window (hidden until something opens it) and the tray icon with its menu. It also takes the
// command-line arguments of this start and of later ones, handing sign-in callbacks on.
class CorvantaApp final : public QObject {
    Q_OBJECT

public:
    struct Options {
        AppEnvironment::Options environment;
        // Empty: the environment's auth service, or, without one, callbacks are only logged.
        std::shared_ptr<BrowserSignIn> signIn;
    };

    explicit CorvantaApp(Options options = {}, QObject *parent = nullptr);
    ~CorvantaApp() override;

    // Runs the delegate's launch sequence; the delegate's termination follows when the
    // application quits.
    void launch();
    // Every argument that is a sign-in callback URL goes to the account code; the rest are
    // logged and ignored.
    void openArguments(const QStringList &arguments);
    // The arguments of a later start: a start without any opens the main window, as launching
    // a running application again does; otherwise as openArguments().
    void openLaterStart(const QStringList &arguments);

    AppEnvironment &environment() const { return *m_environment; }
    AppDelegate &delegate() const { return *m_appDelegate; }
    MainWindow &mainWindow() const { return *m_mainWindow; }
    CorvantaMenuView &menuView() const { return *m_menuView; }
    QSystemTrayIcon &trayIcon() const { return *m_trayIcon; }

private:
    void showTrayIcon();

    std::unique_ptr<AppEnvironment> m_environment;
    std::unique_ptr<AppDelegate> m_appDelegate;
    std::unique_ptr<MainWindow> m_mainWindow;
    std::unique_ptr<CorvantaMenuView> m_menuView;
    std::unique_ptr<QSystemTrayIcon> m_trayIcon;
    OpenUrlHandler m_openUrlHandler;
};
