#include "platform/linux/SecretServiceStore.h"
#include "account/KeychainStore.h"
#include "support/LogCapture.h"

#include <QDir>
#include <QElapsedTimer>
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

TEST(SecretServiceStore, WithoutASecretServiceEveryCallFailsAndNothingLandsInAFile)
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
    EXPECT_FALSE(QCoro::waitFor(keychain.deleteItem(QStringLiteral("key"))));
    EXPECT_LT(timer.elapsed(), 30000);
    EXPECT_EQ(log.messages("general").filter("Keychain save error for key key: ").size(), 1);
    EXPECT_TRUE(QDir(home.path())
                    .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)
                    .isEmpty())
        << "no plain-text fallback";
}

} // namespace
