#include "app/SingleInstance.h"

#include "platform/Log.h"
#include "platform/PrivateFolder.h"
#include "platform/TemporaryDirectory.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>
#include <qcoro/qcorosignal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int connectLimitMs = 1000;
constexpr int lockLimitMs = 2000;
// How long either side waits for the other to finish its part of the exchange.
constexpr int exchangeLimitMs = 3000;
constexpr char acknowledgement = '\x06';
constexpr qsizetype lengthSize = 4;

// Whether the process at the other end of a connected socket runs as this user.
bool peerIsThisUser(const QLocalSocket &socket)
{
    ucred credentials{};
    socklen_t size = sizeof(credentials);
    const int fd = int(socket.socketDescriptor());
    if (fd < 0 || getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    return credentials.uid == getuid();
}

QString socketPath(const QString &serverName)
{
    if (serverName.contains(u'/'))
        return serverName;
    return platform::TemporaryDirectory::path() + u'/' + serverName;
}

} // namespace

SingleInstance::SingleInstance(QString serverName, QObject *parent)
    : QObject(parent), m_serverName(std::move(serverName))
{
}

SingleInstance::~SingleInstance()
{
    // The socket file goes with the server, so a later start does not find a dead one.
    if (m_server)
        m_server->close();
}

QString SingleInstance::defaultServerName()
{
    const QString name = QStringLiteral("corvanta-%1").arg(getuid());
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo(runtime).isAbsolute() &&
        platform::PrivateFolder::refusal(runtime).isEmpty()) {
        return QDir::cleanPath(runtime) + u'/' + name;
    }
    // Anyone can create names in the temporary folder, so the socket goes in a folder of the
    // user's own there. Should someone else hold that folder's name, it goes in the user's
    // cache folder instead: never a fresh folder of its own, as every start must find it.
    platform::PrivateFolder::Result folder =
        platform::PrivateFolder::claimExactly(platform::TemporaryDirectory::path() + u'/' + name);
    if (!folder.path) {
        const QString cache =
            QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
        qCWarning(Log::general, "Single-instance folder not used: %s; using %s instead",
                  qUtf8Printable(folder.error), qUtf8Printable(cache));
        QDir().mkpath(cache);
        folder = platform::PrivateFolder::claimExactly(cache + QStringLiteral("/corvanta"));
    }
    if (!folder.path) {
        qCWarning(Log::general, "No private folder for the single-instance check: %s",
                  qUtf8Printable(folder.error));
        return {};
    }
    return *folder.path + QStringLiteral("/instance");
}

SingleInstance::Role SingleInstance::claim()
{
    if (m_serverName.isEmpty())
        return Role::primary;
    QLockFile lock(socketPath(m_serverName) + QStringLiteral(".lock"));
    const bool locked = lock.tryLock(lockLimitMs);
    if (!locked)
        qCWarning(Log::general, "Could not lock the single-instance check; going on without it");

    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(m_serverName);
    if (socket->waitForConnected(connectLimitMs)) {
        if (peerIsThisUser(*socket)) {
            m_connection = std::move(socket);
            return Role::secondary;
        }
        qCWarning(Log::general, "The single-instance socket belongs to another user; later "
                                "starts will not reach this one");
        return Role::primary;
    }

    // Nobody listens: whatever is left at the path is from a program that ended.
    QLocalServer::removeServer(m_serverName);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_serverName)) {
        qCWarning(Log::general, "Cannot listen for later starts: %s",
                  qUtf8Printable(m_server->errorString()));
        m_server.reset();
        return Role::primary;
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    m_alone = locked;
    return Role::primary;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection())
        serve(socket);
}

void SingleInstance::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!peerIsThisUser(*socket)) {
        qCWarning(Log::general, "Refused a connection from another user");
        socket->abort();
        socket->deleteLater();
        return;
    }
    // A client that stalls is dropped.
    QTimer::singleShot(exchangeLimitMs, socket, [socket] { socket->abort(); });

    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
        buffer->append(socket->readAll());
        if (buffer->size() < lengthSize)
            return;
        const quint32 length = qFromBigEndian<quint32>(buffer->constData());
        if (length > maximumMessageSize || buffer->size() > lengthSize + maximumMessageSize) {
            qCWarning(Log::general, "Dropped an oversized message from a later start");
            socket->abort();
            return;
        }
        if (buffer->size() < lengthSize + qsizetype(length))
            return;
        // One message per connection: whatever is read from here on is not listened to.
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        // A later start sends its message and then waits for the answer, so bytes past the
        // message's end come from something else speaking on the socket.
        if (buffer->size() > lengthSize + qsizetype(length)) {
            qCWarning(Log::general, "Dropped a malformed message from a later start");
            socket->abort();
            return;
        }

        QDataStream in(buffer->mid(lengthSize, length));
        in.setVersion(QDataStream::Qt_6_0);
        QStringList arguments;
        in >> arguments;
        if (in.status() != QDataStream::Ok || !in.atEnd()) {
            qCWarning(Log::general, "Dropped a malformed message from a later start");
            socket->abort();
            return;
        }
        socket->write(&acknowledgement, 1);
        socket->disconnectFromServer();
        qCInfo(Log::general, "Received the arguments of a later start");
        emit argumentsReceived(arguments);
    });
}

QCoro::Task<bool> SingleInstance::forward(QStringList arguments)
{
    if (!m_connection)
        co_return false;
    QLocalSocket &socket = *m_connection;

    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << arguments;
    }
    if (payload.size() > maximumMessageSize) {
        qCWarning(Log::general, "The arguments are too long to hand to the running instance");
        co_return false;
    }
    QByteArray frame(lengthSize, Qt::Uninitialized);
    qToBigEndian<quint32>(quint32(payload.size()), frame.data());
    frame += payload;

    const QDeadlineTimer deadline(exchangeLimitMs);
    const auto remaining = [&deadline] {
        return std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime()));
    };
    socket.write(frame);
    while (socket.bytesToWrite() > 0 && !deadline.hasExpired() &&
           socket.state() == QLocalSocket::ConnectedState) {
        co_await qCoro(&socket, &QLocalSocket::bytesWritten, remaining());
    }
    while (socket.bytesAvailable() < 1 && !deadline.hasExpired() &&
           socket.state() == QLocalSocket::ConnectedState) {
        co_await qCoro(&socket, &QLocalSocket::readyRead, remaining());
    }
    char answer = 0;
    const bool acknowledged = socket.read(&answer, 1) == 1 && answer == acknowledgement;
    if (!acknowledged)
        qCWarning(Log::general, "The running instance did not acknowledge the arguments");
    socket.abort();
    co_return acknowledged;
}
