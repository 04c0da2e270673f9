#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <qcoro/qcorotask.h>

class QLocalServer;
class QLocalSocket;

// Keeps one instance of the program per user. The first one listens on a local socket that
// only the user can reach; a later start finds it, hands it its command-line arguments and
// ends. The first instance announces every list it receives with argumentsReceived.
class SingleInstance final : public QObject {
    Q_OBJECT

public:
    enum class Role {
        // Nobody else listens: this process is the program.
        primary,
        // Another instance of the user's answered: forward the arguments to it and end.
        secondary,
    };

    // A name without "/" lives in the temporary folder; a path is used as it stands.
    explicit SingleInstance(QString serverName, QObject *parent = nullptr);
    ~SingleInstance() override;

    // The user's socket: "corvanta-<uid>" in $XDG_RUNTIME_DIR when that is private to the
    // user, else "instance" in the private folder "corvanta-<uid>" of the temporary folder
    // (see platform::PrivateFolder), else, when that name is held by someone else, "instance"
    // in the private folder "corvanta" of the user's cache folder. The same for every start of
    // the user's. Empty when none can be had.
    static QString defaultServerName();

    // Decides the role; without a server name, primary at once. While deciding it holds a lock
    // file beside the socket, so that two starts at the same moment cannot both become the
    // program. As primary, a socket left behind by a program that died is replaced, and
    // listening starts. A failure to listen is logged and leaves a primary that hears nobody.
    Role claim();

    // After claim(): whether this process is known to be the only instance for the user, as
    // the one that listens on the socket, having decided under the lock.
    bool isAlone() const { return m_alone; }

    // As secondary: sends the arguments and waits for the acknowledgement, each step bounded.
    // True once the running instance acknowledged them.
    QCoro::Task<bool> forward(QStringList arguments);

    // Largest message accepted; anything longer is dropped.
    static constexpr qint64 maximumMessageSize = 64 * 1024;

signals:
    void argumentsReceived(const QStringList &arguments);

private:
    void acceptConnections();
    void serve(QLocalSocket *socket);

    QString m_serverName;
    std::unique_ptr<QLocalServer> m_server;
    // The connection to the running instance found by claim().
    std::unique_ptr<QLocalSocket> m_connection;
    bool m_alone = false;
};
