#pragma once

#include <QList>
#include <QObject>
#include <csignal>

class QSocketNotifier;

// Turns the termination signals into an ordinary event of the main thread: the handler only
// writes the signal's number into a socket pair, and a socket notifier reads it back inside
// the event loop, where quitting runs the normal clean-up (hot keys released, staging queue
// cleared) however the program was stopped. One bridge at a time; destroying it puts the
// previous handlers back.
class SignalBridge final : public QObject {
    Q_OBJECT

public:
    explicit SignalBridge(QList<int> signalNumbers = {SIGTERM, SIGINT, SIGHUP},
                          QObject *parent = nullptr);
    ~SignalBridge() override;
    SignalBridge(const SignalBridge &) = delete;
    SignalBridge &operator=(const SignalBridge &) = delete;

    bool isInstalled() const { return m_notifier != nullptr; }

signals:
    void signalReceived(int signalNumber);

private:
    void readSignals();

    int m_fds[2] = {-1, -1};
    QSocketNotifier *m_notifier = nullptr;
    QList<int> m_signalNumbers;
    QList<struct sigaction> m_previous;
};
