#include "platform/linux/DesktopUrlOpener.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFuture>
#include <QProcess>
#include <QPromise>
#include <QStandardPaths>
#include <QTimer>
#include <chrono>
#include <memory>
#include <qcoro/qcorofuture.h>

namespace platform {

namespace {
// xdg-open ends at once when no browser is set up or the one set up cannot be started; one that
// runs the browser in the foreground is still running after this, and counts as having opened
// the page until it fails.
constexpr std::chrono::seconds launcherVerdict{3};
} // namespace

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

QCoro::Task<bool> DesktopUrlOpener::openInBrowser(QUrl url, std::function<void()> failedLater)
{
    if (!url.isValid())
        co_return false;
    // Qt hands the page to xdg-open without waiting for its answer; only without xdg-open does
    // it look for a browser itself (and say whether it found one).
    const QString launcher = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (launcher.isEmpty())
        co_return QDesktopServices::openUrl(url);
    // Deleted once xdg-open ends, or with the application when the program quits first: xdg-open
    // goes then, and the browser it started runs on by itself.
    auto *process = new QProcess(QCoreApplication::instance());
    // A browser in text mode would draw its page into this program's output.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    auto first = std::make_shared<QPromise<bool>>();
    first->start();
    const QFuture<bool> taken = first->future();
    const auto answer = [first](bool opened) {
        if (first->future().isFinished())
            return false;
        first->addResult(opened);
        first->finish();
        return true;
    };
    // The end of xdg-open answers when it comes first; a failure after the answer is told apart.
    const auto ended = [process, answer, failedLater = std::move(failedLater)](bool failed) {
        process->deleteLater();
        if (QCoreApplication::closingDown())
            return;
        if (!answer(!failed) && failed && failedLater)
            failedLater();
    };
    QObject::connect(process, &QProcess::finished, process,
                     [ended](int code, QProcess::ExitStatus status) {
                         ended(status != QProcess::NormalExit || code != 0);
                     });
    // A process that never started never finishes.
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [ended](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             ended(true);
                     });
    QTimer::singleShot(launcherVerdict, process, [answer] { answer(true); });
    process->start(launcher, {url.toString(QUrl::FullyEncoded)});
    co_return co_await taken;
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
