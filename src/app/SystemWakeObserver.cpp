#include "app/SystemWakeObserver.h"

#include "platform/Log.h"

#include <QDBusConnection>

SystemWakeObserver::SystemWakeObserver(QObject *parent) : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        qCInfo(Log::general, "No system bus; waking from sleep is not observed");
        return;
    }
    m_observing = bus.connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForSleep"), this,
        SLOT(handlePrepareForSleep(bool)));
    if (!m_observing)
        qCWarning(Log::general, "Cannot observe logind's sleep signal; waking from sleep is not "
                                "observed");
}

void SystemWakeObserver::handlePrepareForSleep(bool start)
{
    if (!start)
        emit systemWoke();
}
