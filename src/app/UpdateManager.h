#pragma once

#include "platform/UpdateFramework.h"

#include <QObject>
#include <memory>

// Offers the software-update framework's check to whatever view wants a "check now" command:
// starts the framework's updater and mirrors whether a check can be started. On Linux the
// framework is absent, so a check can never be started. Nothing in the program creates it yet.
class UpdateManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

public:
    explicit UpdateManager(std::shared_ptr<platform::UpdateFramework> framework =
                               std::make_shared<platform::AbsentUpdateFramework>(),
                           QObject *parent = nullptr);

    // False until the framework's first answer has arrived through the event loop.
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    // Asks the framework to check; the outcome and every window it shows are the framework's.
    void checkForUpdates();

signals:
    void canCheckForUpdatesChanged();

private:
    // Only the framework's answers set the value.
    void setCanCheckForUpdates(bool canCheck);

    std::shared_ptr<platform::UpdateFramework> m_updaterController;
    bool m_canCheckForUpdates = false;
};
