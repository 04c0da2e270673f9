#include "platform/linux/SecretServiceStore.h"
#include "account/KeychainStore.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Sets an environment variable for the life of the object.
class ScopedEnvironment {
public:
    ScopedEnvironment(const char *name, const QByteArray &value)
        : m_name(name), m_had(qEnvironmentVariableIsSet(name)), m_old(qgetenv(name))
    {
        qputenv(name, value);
    }
    ~ScopedEnvironment()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

TEST(SecretServiceStore, WithoutASecretServiceNothingIsKeptNorLeftToRemove)
{
    QTemporaryDir home;
    ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/corvanta-test-bus");
    ScopedEnvironment config("XDG_CONFIG_HOME", home.path().toUtf8());
    ScopedEnvironment data("XDG_DATA_HOME", home.path().toUtf8());
    LogCapture log;

    auto secrets = std::make_shared<platform::SecretServiceStore>();
    KeychainStore keychain(secrets, QStringLiteral("com.corvanta.keychain.test"));
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(QCoro::waitFor(keychain.save("secret-bytes", QStringLiteral("key"))));
    EXPECT_FALSE(QCoro::waitFor(keychain.load(QStringLiteral("key"))));
    // Nothing can be stored without a secret service, so a sign-out has nothing left to remove.
    EXPECT_TRUE(QCoro::waitFor(keychain.deleteItem(QStringLiteral("key"))));
    EXPECT_LT(timer.elapsed(), 30000);
    EXPECT_EQ(log.messages("general").filter("Keychain save error for key key: ").size(), 1);
    EXPECT_TRUE(QDir(home.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty())
        << "no plain-text fallback";
}

// A private bus with a keyring of its own, whose default collection is missing (a keyring never
// unlocked) or locked; the child half of the test below runs inside it.
const char *privateKeyringScript = R"(
set -e
export HOME="$1" XDG_DATA_HOME="$1/data" XDG_CONFIG_HOME="$1/config" XDG_RUNTIME_DIR="$1/run"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
if [ "$2" = locked ]; then
    printf pw | gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
else
    gnome-keyring-daemon --foreground --components=secrets </dev/null >/dev/null 2>&1 &
fi
daemon=$!
trap 'kill $daemon; wait $daemon 2>/dev/null || true' EXIT
owned() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q true
}
tries=0
until owned; do
    tries=$((tries + 1)); [ $tries -lt 100 ] || exit 3; sleep 0.1
done
if [ "$2" = locked ]; then
    dbus-send --session --print-reply --dest=org.freedesktop.secrets /org/freedesktop/secrets \
        org.freedesktop.Secret.Service.Lock \
        array:objpath:/org/freedesktop/secrets/collection/login >/dev/null
fi
CORVANTA_KEYRING_CHILD="$2" "$3" --gtest_filter=SecretServiceStore.ChildChangesInAKeyringThatCannotTakeThem
)";

TEST(SecretServiceStore, ALockedOrMissingKeyringRefusesChangesAtOnce)
{
    if (QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("dbus-run-session")).isEmpty())
        GTEST_SKIP() << "needs gnome-keyring and dbus-run-session";
    for (const char *state : {"missing", "locked"}) {
        QTemporaryDir home;
        QProcess run;
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QStringLiteral("dbus-run-session"),
                  {QStringLiteral("--"), QStringLiteral("sh"), QStringLiteral("-c"),
                   QString::fromLatin1(privateKeyringScript), QStringLiteral("keyring"),
                   home.path(), QString::fromLatin1(state),
                   QCoreApplication::applicationFilePath()});
        ASSERT_TRUE(run.waitForFinished(100000)) << state;
        const QString output = QString::fromLocal8Bit(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << state << "\n" << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << state << "\n"
                                                            << output.toStdString();
    }
}

TEST(SecretServiceStore, ChildChangesInAKeyringThatCannotTakeThem)
{
    if (qEnvironmentVariableIsEmpty("CORVANTA_KEYRING_CHILD"))
        GTEST_SKIP() << "the child half of ALockedOrMissingKeyringRefusesChangesAtOnce";
    platform::SecretServiceStore secrets;
    const QString service = QStringLiteral("com.corvanta.keychain.test");
    EXPECT_EQ(QCoro::waitFor(secrets.write(service, QStringLiteral("key"), "bytes")),
              platform::SecretStore::unavailable);
    // Nothing is stored under the key, so there is nothing to delete or read either, locked or
    // not, and nobody is asked to unlock anything for it.
    const int removed = QCoro::waitFor(secrets.remove(service, QStringLiteral("key")));
    EXPECT_TRUE(removed == platform::SecretStore::success ||
                removed == platform::SecretStore::itemNotFound)
        << removed;
    EXPECT_EQ(QCoro::waitFor(secrets.read(service, QStringLiteral("key"))).status,
              platform::SecretStore::itemNotFound);
}

} // namespace
