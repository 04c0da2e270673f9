#include "platform/linux/DesktopUrlOpener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>

namespace platform {

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

bool DesktopUrlOpener::revealFile(const QUrl &file)
{
    if (!file.isLocalFile())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString service = QStringLiteral("org.freedesktop.FileManager1");
    // Asked only when a file manager owns the name or can be started for it; otherwise the
    // call would wait for a time-out.
    QDBusConnectionInterface *names = bus.isConnected() ? bus.interface() : nullptr;
    const bool available = names && (names->isServiceRegistered(service).value() ||
                                     names->activatableServiceNames().value().contains(service));
    if (available) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(service, QStringLiteral("/org/freedesktop/FileManager1"),
                                           service, QStringLiteral("ShowItems"));
        call << QStringList{file.toString(QUrl::FullyEncoded)} << QString();
        if (bus.send(call))
            return true;
    }
    return UrlOpener::revealFile(file);
}

} // namespace platform
