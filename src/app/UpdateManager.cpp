#include "app/UpdateManager.h"

UpdateManager::UpdateManager(std::shared_ptr<platform::UpdateFramework> framework, QObject *parent)
    : QObject(parent), m_updaterController(std::move(framework))
{
    m_updaterController->startUpdater();
    // The current value and every later one reach the property through the event loop.
    connect(m_updaterController.get(), &platform::UpdateFramework::canCheckForUpdatesChanged, this,
            &UpdateManager::setCanCheckForUpdates, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this,
        [this, initial = m_updaterController->canCheckForUpdates()] {
            setCanCheckForUpdates(initial);
        },
        Qt::QueuedConnection);
}

void UpdateManager::checkForUpdates()
{
    m_updaterController->checkForUpdates();
}

void UpdateManager::setCanCheckForUpdates(bool canCheck)
{
    if (m_canCheckForUpdates == canCheck)
        return;
    m_canCheckForUpdates = canCheck;
    emit canCheckForUpdatesChanged();
}
