#include "platform/linux/DesktopUrlOpener.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <chrono>
#include <qcoro/qcorosignal.h>

namespace platform {

namespace {
// xdg-open ends at once when no browser is set up or the one set up cannot be started; one that
// runs the browser in the foreground is still running after this.
constexpr std::chrono::seconds launcherVerdict{3};
} // namespace

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

QCoro::Task<bool> DesktopUrlOpener::openInBrowser(QUrl url)
{
    if (!url.isValid())
        co_return false;
    // Qt hands the page to xdg-open without waiting for its answer; only without xdg-open does
    // it look for a browser itself (and say whether it found one).
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty())
        co_return QDesktopServices::openUrl(url);
    auto *process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(launcher, {url.toString(QUrl::FullyEncoded)});
    if (!process->waitForStarted()) {
        delete process;
        co_return false;
    }
    const auto ended = co_await qCoro(process, &QProcess::finished, launcherVerdict);
    if (!ended) {
        // Left to itself until it ends: the browser it runs must outlive this program.
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
        co_return true;
    }
    process->deleteLater();
    const bool taken = std::get<QProcess::ExitStatus>(*ended) == QProcess::NormalExit &&
                       std::get<int>(*ended) == 0;
    co_return taken;
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
