#include "account/AuthService.h"
#include "account/KeychainStore.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "platform/linux/SecretServiceStore.h"
#include "platform/qt/NetworkHttpTransport.h"
#include "support/FakeAppleSignInSheet.h"
#include "support/FakeUrlOpener.h"
#include "support/LocalAuthServer.h"
#include "support/WaitUntil.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QUuid>
#include <gtest/gtest.h>

// The account against the harness's gnome-keyring: the session's secrets live in the keyring
// and nowhere in the user's files; a locked keyring is said, never prompted for, and what it
// held back is done once it is unlocked.
namespace {

// The harness's keyring, locked and unlocked as the desktop would (the unlock with its
// password, which the harness gave it, instead of a prompt).
struct Secret {
    QDBusObjectPath session;
    QByteArray parameters;
    QByteArray value;
    QString contentType;
};

QDBusArgument &operator<<(QDBusArgument &argument, const Secret &secret)
{
    argument.beginStructure();
    argument << secret.session << secret.parameters << secret.value << secret.contentType;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Secret &secret)
{
    argument.beginStructure();
    argument >> secret.session >> secret.parameters >> secret.value >> secret.contentType;
    argument.endStructure();
    return argument;
}

class HarnessKeyring {
public:
    HarnessKeyring() { qDBusRegisterMetaType<Secret>(); }

    bool lock() { return call(service, "Lock", {QVariant::fromValue(QList{collection()})}); }
    bool unlock()
    {
        QDBusMessage opened;
        if (!call(service, "OpenSession",
                  {QStringLiteral("plain"), QVariant::fromValue(QDBusVariant(QString()))}, &opened))
            return false;
        const Secret password{opened.arguments().value(1).value<QDBusObjectPath>(),
                              {},
                              "pw",
                              QStringLiteral("text/plain")};
        return call("org.gnome.keyring.InternalUnsupportedGuiltRiddenInterface",
                    "UnlockWithMasterPassword",
                    {QVariant::fromValue(collection()), QVariant::fromValue(password)});
    }

private:
    static constexpr const char *service = "org.freedesktop.Secret.Service";

    QDBusObjectPath collection()
    {
        QDBusMessage alias;
        call(service, "ReadAlias", {QStringLiteral("default")}, &alias);
        return alias.arguments().value(0).value<QDBusObjectPath>();
    }
    static bool call(const char *interface, const char *method, const QVariantList &arguments,
                     QDBusMessage *reply = nullptr)
    {
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.secrets"), QStringLiteral("/org/freedesktop/secrets"),
            QString::fromLatin1(interface), QString::fromLatin1(method));
        message.setArguments(arguments);
        const QDBusMessage answer = QDBusConnection::sessionBus().call(message);
        if (reply)
            *reply = answer;
        return answer.type() == QDBusMessage::ReplyMessage;
    }
};

class AccountKeychainDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("CORVANTA_HARNESS"))
            GTEST_SKIP() << "needs the harness's keyring: run through scripts/harness";
        // Another run in this keyring may have left a session behind.
        QCoro::waitFor(session->clearSession());
        start();
    }
    void TearDown() override
    {
        keyring.unlock();
        if (service)
            QCoro::waitFor(session->clearSession());
        session->setEndPending(false);
    }
    void start()
    {
        service.reset();
        service = std::make_unique<AuthService>(*session, client,
                                                AuthService::Platform{http, apple, urlOpener});
        ASSERT_TRUE(waitUntil([this] { return service->isRestored(); }, 15000));
    }
    std::optional<UserProfile> signIn()
    {
        std::optional<UserProfile> profile;
        QCoro::waitFor([](AuthService &service,
                          std::optional<UserProfile> &profile) -> QCoro::Task<> {
            profile =
                co_await service.signInWithEmail(QString::fromLatin1(LocalAuthServer::email),
                                                 QString::fromLatin1(LocalAuthServer::password));
        }(*service, profile));
        return profile;
    }
    QList<std::optional<QByteArray>> items()
    {
        QList<std::optional<QByteArray>> result;
        for (const char *key : {SessionStore::profileKey, SessionStore::accessTokenKey,
                                SessionStore::refreshTokenKey})
            result << QCoro::waitFor(keychain.load(QString::fromLatin1(key)));
        return result;
    }
    // Whether any file under HOME holds the text in clear.
    static QStringList filesHolding(const QByteArray &text)
    {
        QStringList holders;
        QDirIterator files(QDir::homePath(), QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                           QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.size() < 4 * 1024 * 1024 && file.open(QIODevice::ReadOnly) &&
                file.readAll().contains(text))
                holders << file.fileName();
        }
        return holders;
    }

    LocalAuthServer server;
    std::shared_ptr<platform::SecretServiceStore> secrets =
        std::make_shared<platform::SecretServiceStore>();
    KeychainStore keychain{secrets};
    std::unique_ptr<SessionStore> session = std::make_unique<SessionStore>(keychain);
    SupabaseClient client{server.origin(), QString::fromLatin1(LocalAuthServer::apiKey)};
    std::shared_ptr<platform::NetworkHttpTransport> http =
        std::make_shared<platform::NetworkHttpTransport>();
    std::shared_ptr<FakeAppleSignInSheet> apple = std::make_shared<FakeAppleSignInSheet>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    std::unique_ptr<AuthService> service;
    HarnessKeyring keyring;
};

TEST_F(AccountKeychainDesktopTest, SessionLivesInTheKeyringAcrossARestartAndLeavesWithSignOut)
{
    for (const auto &item : items())
        EXPECT_FALSE(item);
    const std::optional<UserProfile> profile = signIn();
    ASSERT_TRUE(profile);

    const QList<std::optional<QByteArray>> stored = items();
    ASSERT_TRUE(stored[0] && stored[1] && stored[2]);
    EXPECT_EQ(UserProfile::fromJson(*stored[0]), profile);
    EXPECT_EQ(*stored[1], server.lastAccessToken.toUtf8());
    EXPECT_EQ(*stored[2], server.lastRefreshToken.toUtf8());
    for (const QByteArray &secret :
         {server.lastAccessToken.toUtf8(), server.lastRefreshToken.toUtf8(),
          QByteArray(LocalAuthServer::password)})
        EXPECT_EQ(filesHolding(secret), QStringList()) << secret.toStdString();

    start();
    EXPECT_EQ(service->currentUser(), profile);

    QCoro::waitFor(service->signOut());
    for (const auto &item : items())
        EXPECT_FALSE(item);
    start();
    EXPECT_FALSE(service->currentUser());
}

TEST_F(AccountKeychainDesktopTest, ALockedKeyringIsSaidAndItsSessionRestoredOnceUnlocked)
{
    const std::optional<UserProfile> profile = signIn();
    ASSERT_TRUE(profile);
    ASSERT_TRUE(keyring.lock());
    start();
    EXPECT_FALSE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(),
              QString::fromLatin1(AuthService::storedSessionLockedNotice));

    ASSERT_TRUE(keyring.unlock());
    ASSERT_TRUE(waitUntil([this] { return service->currentUser().has_value(); }, 15000));
    EXPECT_EQ(service->currentUser(), profile);
    EXPECT_FALSE(service->sessionNotice());
}

TEST_F(AccountKeychainDesktopTest, ALockedKeyringSaysOnlyWhatItHoldsBack)
{
    // Nothing stored: a session that could not be kept ends without a word.
    ASSERT_TRUE(keyring.lock());
    start();
    EXPECT_FALSE(service->sessionNotice()) << "nothing is stored, so nothing is held back";
    signIn();
    ASSERT_TRUE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::sessionNotKeptNotice));
    QCoro::waitFor(service->signOut());
    EXPECT_FALSE(service->sessionNotice());
    start();
    EXPECT_FALSE(service->sessionNotice());

    // A stored session the locked keyring keeps: said, and removed once it is unlocked.
    ASSERT_TRUE(keyring.unlock());
    signIn();
    ASSERT_TRUE(items()[0]);
    ASSERT_TRUE(keyring.lock());
    QCoro::waitFor(service->signOut());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::signOutUnfinishedNotice));
    ASSERT_TRUE(keyring.unlock());
    ASSERT_TRUE(waitUntil([this] { return !service->sessionNotice(); }, 15000));
    for (const auto &item : items())
        EXPECT_FALSE(item);
}

TEST_F(AccountKeychainDesktopTest, SecondSaveReplacesTheItemAndKeysStaySeparateByService)
{
    const QString key = "desktop-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    KeychainStore other(secrets, QStringLiteral("com.corvanta.keychain.other"));
    EXPECT_TRUE(QCoro::waitFor(keychain.save("first", key)));
    EXPECT_TRUE(QCoro::waitFor(keychain.save("second", key)));
    EXPECT_TRUE(QCoro::waitFor(other.save("elsewhere", key)));
    EXPECT_EQ(QCoro::waitFor(keychain.load(key)), QByteArray("second"));
    EXPECT_EQ(QCoro::waitFor(other.load(key)), QByteArray("elsewhere"));
    EXPECT_TRUE(QCoro::waitFor(keychain.deleteItem(key)));
    EXPECT_TRUE(QCoro::waitFor(keychain.deleteItem(key)));
    EXPECT_FALSE(QCoro::waitFor(keychain.load(key)));
    EXPECT_TRUE(QCoro::waitFor(other.deleteItem(key)));
}

} // namespace
