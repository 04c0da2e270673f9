// Corvanta: a tray utility that takes screenshots and keeps them in a staging tray.

#include "app/CorvantaApp.h"
#include "app/DesktopPlatform.h"
#include "app/SignalBridge.h"
#include "app/SingleInstance.h"
#include "app/UrlSchemeRegistration.h"
#include "platform/Logging.h"

#include <QApplication>
#include <QTimer>
#include <qcoro/qcorotask.h>

int main(int argc, char **argv)
{
    desktop::selectMovieBackend();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Corvanta"));
    // The tray icon keeps the program running with every window closed.
    QApplication::setQuitOnLastWindowClosed(false);
    platform::installMessageHandler();

    const QStringList arguments = QApplication::arguments().mid(1);

    // A later start hands its arguments (a sign-in callback, say) to the running program.
    SingleInstance instance(SingleInstance::defaultServerName());
    if (instance.claim() == SingleInstance::Role::secondary) {
        // Started inside the event loop, so that its end can always end the loop.
        QTimer::singleShot(0, &application, [&instance, arguments] {
            QCoro::connect(instance.forward(arguments), &instance,
                           [](bool acknowledged) { QCoreApplication::exit(acknowledged ? 0 : 1); });
        });
        return QApplication::exec();
    }

    SignalBridge signalBridge;
    QObject::connect(&signalBridge, &SignalBridge::signalReceived, &application,
                     &QCoreApplication::quit);

    CorvantaApp::Options options;
    options.environment = desktop::environmentOptions();
    CorvantaApp corvanta(std::move(options));
    QObject::connect(&instance, &SingleInstance::argumentsReceived, &corvanta,
                     &CorvantaApp::openLaterStart);
    corvanta.launch(instance.isAlone());
    corvanta.openArguments(arguments);

    UrlSchemeRegistration urlScheme;
    urlScheme.install();

    return QApplication::exec();
}
