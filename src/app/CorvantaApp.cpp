#include "app/CorvantaApp.h"

#include "account/AccountView.h"
#include "account/AuthService.h"
#include "app/AppDelegate.h"
#include "app/AuthCallbackSignIn.h"
#include "app/CorvantaMenuView.h"
#include "app/SystemImage.h"
#include "capture/CaptureCoordinator.h"
#include "model/SettingsStore.h"
#include "pins/PinManager.h"
#include "platform/Log.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"
#include "windows/WindowSymbols.h"

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

// The main window's Account tab: the account view of the environment's auth service.
std::function<QWidget *()> accountViews(const AppEnvironment &environment)
{
    if (!environment.authService())
        return {};
    return [&environment]() -> QWidget * {
        auto *view = new AccountView(*environment.authService(), environment.platform().urlOpener,
                                     environment.platform().alertPresenter);
        view->setSymbolPainter(&paintSymbolOrLogo);
        return view;
    };
}

} // namespace

CorvantaApp::CorvantaApp(Options options, QObject *parent)
    : QObject(parent),
      m_environment(std::make_unique<AppEnvironment>(std::move(options.environment))),
      m_appDelegate(std::make_unique<AppDelegate>(*m_environment)),
      m_menuView(std::make_unique<CorvantaMenuView>(*m_environment)),
      m_openUrlHandler(signInFor(std::move(options.signIn), *m_environment))
{
    AppEnvironment *environment = m_environment.get();
    m_windowServices.settings = &environment->settingsStore();
    m_windowServices.permissionManager = &environment->permissionManager();
    m_windowServices.startCapture = [environment](CaptureCard card) {
        static constexpr AppEnvironment::CaptureFlow flows[] = {
            &CaptureCoordinator::captureFullDisplay, &CaptureCoordinator::captureArea,
            &CaptureCoordinator::captureWindow, &CaptureCoordinator::startRecording};
        environment->startCapture(flows[int(card)]);
    };
    m_windowServices.registerHotkeys = [environment] { return environment->setupHotkeys(); };
    m_windowServices.closeAllPins = options.closeAllPins
                                        ? std::move(options.closeAllPins)
                                        : [environment] { environment->pinManager().closeAll(); };
    m_windowServices.makeAccountView =
        options.makeAccountView ? std::move(options.makeAccountView) : accountViews(*environment);
    m_windowServices.isSignedIn = std::move(options.isSignedIn);
    if (!m_windowServices.isSignedIn && environment->authService()) {
        AuthService *auth = environment->authService();
        m_windowServices.isSignedIn = [auth] { return auth->isSignedIn(); };
        m_windowServices.whenSignedInChanged = [auth](QObject *context,
                                                      std::function<void()> then) {
            QObject::connect(auth, &AuthService::currentUserChanged, context, std::move(then));
        };
        m_windowServices.whenSessionRestored = [auth](QObject *context,
                                                      std::function<void()> then) {
            if (auth->isRestored()) {
                then();
                return;
            }
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = QObject::connect(auth, &AuthService::sessionRestored, context,
                                     [once, then = std::move(then)] {
                                         QObject::disconnect(*once);
                                         then();
                                     });
        };
    }
    m_windowServices.hotkeyProblem = [environment] { return environment->hotkeyProblem(); };
    m_windowServices.whenHotkeyProblemChanged = [environment](QObject *context,
                                                              std::function<void()> then) {
        QObject::connect(environment, &AppEnvironment::hotkeyProblemChanged, context,
                         std::move(then));
    };
    m_windowServices.hasNotch = [environment] {
        const StagingTray *tray = environment->captureCoordinator().notchWindowController();
        return tray != nullptr && tray->hasNotch();
    };
    m_mainWindow = std::make_unique<MainWindow>(m_windowServices);
    environment->captureCoordinator().setMainWindow(m_mainWindow.get());
    m_menuView->setShowSettings([this] { showSettingsWindow(); });
    showTrayIcon();
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, m_appDelegate.get(),
            &AppDelegate::applicationWillTerminate);
}

CorvantaApp::~CorvantaApp()
{
    // The icon and the menu go before the objects they show.
    m_trayIcon.reset();
    m_menuView.reset();
    m_settingsWindow.reset();
    m_mainWindow.reset();
    m_appDelegate.reset();
    m_environment.reset();
}

void CorvantaApp::launch(bool alone)
{
    m_appDelegate->applicationDidFinishLaunching(alone);
    // The main window is the program's first window: it opens at launch.
    showMainWindow();
}

void CorvantaApp::showMainWindow()
{
    m_mainWindow->present();
}

void CorvantaApp::showSettingsWindow()
{
    if (!m_settingsWindow)
        m_settingsWindow = std::make_unique<SettingsWindow>(m_windowServices);
    m_settingsWindow->present();
}

void CorvantaApp::openArguments(const QStringList &arguments)
{
    for (const QString &argument : arguments)
        m_openUrlHandler.open(argument);
}

void CorvantaApp::openLaterStart(const QStringList &arguments)
{
    // Starting the program again is how a tray program's window is reached from the launcher;
    // a sign-in callback ends on the Account tab it started from.
    openArguments(arguments);
    showMainWindow();
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
