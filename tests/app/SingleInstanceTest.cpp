#include "app/SingleInstance.h"
#include "support/LogCapture.h"
#include "support/TempDirScope.h"
#include "support/WaitUntil.h"

#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <gtest/gtest.h>
#include <qcoro/qcorotask.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

class SingleInstanceTest : public ::testing::Test {
protected:
    // A socket name of this test's own.
    QString socketName() const { return m_dir.path() + QStringLiteral("/instance"); }

    QTemporaryDir m_dir;
    LogCapture log;
};

TEST_F(SingleInstanceTest, ALaterStartHandsItsArgumentsToTheFirst)
{
    SingleInstance first(socketName());
    ASSERT_EQ(first.claim(), SingleInstance::Role::primary);
    EXPECT_EQ(QFileInfo(socketName()).permissions() &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              QFile::Permissions())
        << "only the user may connect";
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);

    SingleInstance second(socketName());
    ASSERT_EQ(second.claim(), SingleInstance::Role::secondary);
    const QStringList arguments{"corvanta://auth-callback#access_token=x", "ä b"};
    EXPECT_TRUE(QCoro::waitFor(second.forward(arguments)));
    ASSERT_EQ(received.size(), 1);
    EXPECT_EQ(received[0][0].toStringList(), arguments);
}

TEST_F(SingleInstanceTest, ASocketLeftBehindIsReplaced)
{
    // A bound socket whose program ended without removing it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = socketName().toLocal8Bit();
    std::copy(path.cbegin(), path.cend(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ::close(fd);

    {
        SingleInstance first(socketName());
        EXPECT_EQ(first.claim(), SingleInstance::Role::primary);
        SingleInstance second(socketName());
        EXPECT_EQ(second.claim(), SingleInstance::Role::secondary);
    }
    SingleInstance afterwards(socketName());
    EXPECT_EQ(afterwards.claim(), SingleInstance::Role::primary) << "the first removed its socket";
}

TEST_F(SingleInstanceTest, MalformedAndOversizedMessagesAreDropped)
{
    SingleInstance first(socketName());
    ASSERT_EQ(first.claim(), SingleInstance::Role::primary);
    QSignalSpy received(&first, &SingleInstance::argumentsReceived);

    const auto send = [this](const QByteArray &bytes) {
        QLocalSocket client;
        client.connectToServer(socketName());
        EXPECT_TRUE(client.waitForConnected(1000));
        client.write(bytes);
        client.flush();
        return waitUntil([&] { return client.state() == QLocalSocket::UnconnectedState; });
    };
    QByteArray oversized(4, '\0');
    qToBigEndian<quint32>(SingleInstance::maximumMessageSize + 1, oversized.data());
    EXPECT_TRUE(send(oversized));
    QByteArray garbage(4, '\0');
    qToBigEndian<quint32>(3, garbage.data());
    EXPECT_TRUE(send(garbage + "abc"));
    // A well-formed message with more after it.
    QByteArray payload;
    {
        QDataStream out(&payload, QIODevice::WriteOnly);
        out.setVersion(QDataStream::Qt_6_0);
        out << QStringList{"corvanta://open"};
    }
    QByteArray frame(4, '\0');
    qToBigEndian<quint32>(quint32(payload.size()), frame.data());
    EXPECT_TRUE(send(frame + payload + QByteArray("\0\0\0\x01x", 5)));
    EXPECT_EQ(received.size(), 0);
    EXPECT_EQ(log.messages("general").filter("Dropped").size(), 3);
}

TEST_F(SingleInstanceTest, WithoutARuntimeFolderTheSocketLivesInAPrivateFolder)
{
    struct NoRuntimeFolder {
        QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        NoRuntimeFolder() { qunsetenv("XDG_RUNTIME_DIR"); }
        ~NoRuntimeFolder()
        {
            if (!saved.isEmpty())
                qputenv("XDG_RUNTIME_DIR", saved);
        }
    } noRuntimeFolder;
    TempDirScope tmp;
    const QString expectedFolder = tmp.path() + QStringLiteral("/corvanta-%1").arg(getuid());

    EXPECT_EQ(SingleInstance::defaultServerName(), expectedFolder + "/instance");
    EXPECT_EQ(QFileInfo(expectedFolder).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                           QFile::ExeOwner | QFile::ReadUser |
                                                           QFile::WriteUser | QFile::ExeUser);

    // Taken first by someone who lets others in: never used. Every start then finds the same
    // private place in the user's cache folder, so a second start still hands over.
    ASSERT_TRUE(QDir(expectedFolder).removeRecursively());
    QDir().mkdir(expectedFolder);
    QFile::setPermissions(expectedFolder, QFile::Permissions(0x7777));
    const QByteArray savedCache = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(tmp.path() + "/home/.cache"));
    const QString elsewhere = SingleInstance::defaultServerName();
    EXPECT_EQ(elsewhere, tmp.path() + "/home/.cache/corvanta/instance");
    EXPECT_EQ(SingleInstance::defaultServerName(), elsewhere);
    EXPECT_EQ(QFileInfo(QFileInfo(elsewhere).absolutePath()).permissions() & 0x0077, 0);
    EXPECT_EQ(log.messages("general").filter("Single-instance folder not used").size(), 2);
    {
        SingleInstance first(SingleInstance::defaultServerName());
        EXPECT_EQ(first.claim(), SingleInstance::Role::primary);
        EXPECT_TRUE(first.isAlone());
        SingleInstance second(SingleInstance::defaultServerName());
        EXPECT_EQ(second.claim(), SingleInstance::Role::secondary);
        EXPECT_FALSE(second.isAlone());
        QDir(QFileInfo(elsewhere).absolutePath()).removeRecursively();
    }
    if (savedCache.isEmpty())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", savedCache);
}

} // namespace
