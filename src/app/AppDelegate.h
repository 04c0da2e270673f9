#pragma once

#include <QObject>

class AppEnvironment;
class SystemWakeObserver;

// What happens once the program has started and when it ends: at launch the hot keys are
// registered (again), the screen-capture permission is refreshed, system wake is followed and
// what earlier runs left in the temporary directory is removed; on wake both are refreshed; at
// termination the hot keys are released and the staging queue is emptied, and every temporary
// file whose deletion is pending goes at once. Main thread only.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppEnvironment &environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    // `alone`: no other instance of the program runs for this user, so every file of ours
    // already there was left by an earlier run and goes (see TemporaryFiles::removeLeftovers).
    void applicationDidFinishLaunching(bool alone = false);
    // Safe to run more than once; every run cleans up what is there.
    void applicationWillTerminate();

public slots:
    // Refreshes the permission state and the hot keys after the current event-loop turn.
    void handleSystemWake();

private:
    AppEnvironment &m_environment;
    SystemWakeObserver *m_wakeObserver = nullptr;
};
