#pragma once

#include <QObject>

class AppEnvironment;
class SystemWakeObserver;

// What happens once the program has started and when it ends: at launch the hot keys are
// registered (again), the screen-capture permission is refreshed and system wake is followed;
// on wake both are refreshed; at termination the hot keys are released and the staging queue
// is emptied, its temporary files with it. Main thread only.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    explicit AppDelegate(AppEnvironment &environment, QObject *parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();
    // Safe to run more than once; every run cleans up what is there.
    void applicationWillTerminate();

public slots:
    // Refreshes the permission state and the hot keys after the current event-loop turn.
    void handleSystemWake();

private:
    AppEnvironment &m_environment;
    SystemWakeObserver *m_wakeObserver = nullptr;
};
