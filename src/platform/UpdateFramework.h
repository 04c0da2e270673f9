#pragma once

#include <QObject>

namespace platform {

// A software-update framework that checks for and installs new versions of the program.
class UpdateFramework : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Starts the framework's updater (its schedule and dialogs are its own).
    virtual void startUpdater() = 0;
    // Whether a check can be started now.
    virtual bool canCheckForUpdates() const = 0;
    // Starts a check; what it shows is the framework's.
    virtual void checkForUpdates() = 0;

signals:
    void canCheckForUpdatesChanged(bool canCheck);
};

// Linux distributions update the program through their package managers: there is no updater
// to start and a check can never be started.
class AbsentUpdateFramework final : public UpdateFramework {
    Q_OBJECT

public:
    using UpdateFramework::UpdateFramework;

    void startUpdater() override {}
    bool canCheckForUpdates() const override { return false; }
    void checkForUpdates() override {}
};

} // namespace platform
