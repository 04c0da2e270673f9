#include "app/CorvantaApp.h"

#include "account/AccountView.h"
#include "account/AuthService.h"
#include "app/AppDelegate.h"
#include "app/AuthCallbackSignIn.h"
#include "app/CorvantaMenuView.h"
#include "app/MainWindow.h"
#include "app/SystemImage.h"
#include "model/Log.h"

#include <QCoreApplication>
#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

// The account's callbacks go to the auth service, when the program has an account.
std::shared_ptr<BrowserSignIn> signInFor(std::shared_ptr<BrowserSignIn> given,
                                         const AppEnvironment &environment)
{
    if (!given && environment.authService())
        return std::make_shared<AuthCallbackSignIn>(*environment.authService());
    return given;
}

// The main window's page until the main window has pages of its own: the account.
QWidget *accountPage(const AppEnvironment &environment)
{
    if (!environment.authService())
        return nullptr;
    return new AccountView(*environment.authService(), environment.platform().urlOpener,
                           environment.platform().alertPresenter);
}

} // namespace

CorvantaApp::CorvantaApp(Options options, QObject *parent)
    : QObject(parent),
      m_environment(std::make_unique<AppEnvironment>(std::move(options.environment))),
      m_appDelegate(std::make_unique<AppDelegate>(*m_environment)),
      m_mainWindow(std::make_unique<MainWindow>(accountPage(*m_environment))),
      m_menuView(std::make_unique<CorvantaMenuView>(*m_environment)),
      m_openUrlHandler(signInFor(std::move(options.signIn), *m_environment))
{
    m_environment->makeShared();
    showTrayIcon();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_appDelegate.get(),
            &AppDelegate::applicationWillTerminate);
}

CorvantaApp::~CorvantaApp()
{
    // The icon and the menu go before the objects they show.
    m_trayIcon.reset();
    m_menuView.reset();
    m_mainWindow.reset();
    m_appDelegate.reset();
    m_environment.reset();
}

void CorvantaApp::launch()
{
    m_appDelegate->applicationDidFinishLaunching();
}

void CorvantaApp::openArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        m_openUrlHandler.open(argument);
}

void CorvantaApp::openLaterStart(const QStringList &arguments)
{
    if (!arguments.isEmpty()) {
        openArguments(arguments);
        return;
    }
    m_mainWindow->show();
    m_mainWindow->raise();
    m_mainWindow->activateWindow();
}

void CorvantaApp::showTrayIcon()
{
    m_trayIcon = std::make_unique<QSystemTrayIcon>(
        SystemImage::icon(QString::fromLatin1(SystemImage::cameraViewfinder)));
    m_trayIcon->setToolTip(QStringLiteral("Corvanta"));
    m_trayIcon->setContextMenu(m_menuView->menu());
    // A click opens the menu too, as a menu-bar menu does.
    connect(m_trayIcon.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menuView->menu()->popup(QCursor::pos());
            });
    // Shown even without a tray host: the icon appears once one starts.
    m_trayIcon->show();
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        qCInfo(Log::general, "The Corvanta menu is available from the system tray icon");
    } else {
        qCWarning(Log::general, "No system tray is available; the Corvanta menu is not shown "
                                "until one starts");
    }
}
