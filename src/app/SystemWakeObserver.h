#pragma once

#include <QObject>

// Tells when the system has woken from sleep, through logind's PrepareForSleep signal on the
// system bus (false: the sleep has ended). Where there is no system bus, nothing is observed
// and that is logged once.
class SystemWakeObserver final : public QObject {
    Q_OBJECT

public:
    explicit SystemWakeObserver(QObject *parent = nullptr);

    bool isObserving() const { return m_observing; }

signals:
    void systemWoke();

public slots:
    // logind's announcement: true before the system sleeps, false once it is awake again.
    void handlePrepareForSleep(bool start);

private:
    bool m_observing = false;
};
