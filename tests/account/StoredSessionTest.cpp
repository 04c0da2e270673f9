#include "AccountFixture.h"
#include "account/AuthError.h"
#include "support/AwaitError.h"
#include "support/LogCapture.h"

#include <QTest>

// The session in a keyring that is locked, missing or does not answer: the program says so,
// waits for it once, does what was left once the keyring is unlocked, and never restores a
// session the user ended.
namespace {

using platform::SecretStore;

class StoredSessionTest : public AccountFixture {
protected:
    LogCapture log;
};

TEST_F(StoredSessionTest, AStoreThatCannotBeWrittenIsTriedOnceAndTheAccountPageToldSo)
{
    for (const int status : {SecretStore::unavailable, SecretStore::timedOut}) {
        secrets->items.clear();
        secrets->writes = 0;
        secrets->writeStatus = status;
        restart();
        const UserProfile profile = signInByEmail();
        EXPECT_EQ(secrets->writes, 1) << "one bounded wait, not one per item: " << status;
        EXPECT_EQ(service->currentUser(), profile) << "signed in for this run";
        EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::sessionNotKeptNotice));
        EXPECT_TRUE(secrets->items.isEmpty());

        secrets->writeStatus = SecretStore::success;
        signInByEmail();
        EXPECT_FALSE(service->sessionNotice()) << "kept again once the store takes it";
        EXPECT_TRUE(has(SessionStore::profileKey));
    }
}

TEST_F(StoredSessionTest, ASignOutTheKeyringDidNotFinishIsFinishedAtTheNextStart)
{
    const UserProfile profile = signInByEmail();
    secrets->removeStatus = SecretStore::timedOut;
    log.clear();
    QCoro::waitFor(service->signOut());
    EXPECT_FALSE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::signOutUnfinishedNotice));
    EXPECT_FALSE(log.messages("general").contains("User signed out"));
    EXPECT_TRUE(has(SessionStore::profileKey));

    // Still not answering: the stored session is not restored.
    restart();
    EXPECT_FALSE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::signOutUnfinishedNotice));

    secrets->removeStatus = SecretStore::success;
    restart();
    EXPECT_FALSE(service->currentUser());
    EXPECT_FALSE(service->sessionNotice());
    EXPECT_TRUE(secrets->items.isEmpty());
    restart();
    signInByEmail();
    restart();
    EXPECT_TRUE(service->currentUser()) << "a later session is kept as usual";
    QCoro::waitFor(service->signOut());
    EXPECT_TRUE(log.messages("general").contains("User signed out"));
}

TEST_F(StoredSessionTest, ALockedKeyringIsSaidAndItsSessionRestoredOnceItIsUnlocked)
{
    const UserProfile profile = signInByEmail();
    const auto locked = QString::fromLatin1(AuthService::storedSessionLockedNotice);
    secrets->readStatus = SecretStore::unavailable;
    restart();
    EXPECT_FALSE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(), locked);

    // Another collection changed: still locked.
    secrets->announceChange();
    QTest::qWait(20);
    EXPECT_FALSE(service->currentUser());
    EXPECT_EQ(service->sessionNotice(), locked);

    secrets->readStatus = SecretStore::success;
    secrets->announceChange();
    ASSERT_TRUE(waitUntil([&] { return service->currentUser() == profile; }));
    EXPECT_FALSE(service->sessionNotice());

    // A session the user set while the keyring was locked stands when it is unlocked.
    secrets->readStatus = SecretStore::unavailable;
    secrets->writeStatus = SecretStore::unavailable;
    restart();
    EXPECT_EQ(service->sessionNotice(), locked);
    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    const UserProfile byApple = await(service->signInWithApple());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::sessionNotKeptNotice));
    secrets->readStatus = SecretStore::success;
    secrets->announceChange();
    QTest::qWait(20);
    EXPECT_EQ(service->currentUser(), byApple);
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::sessionNotKeptNotice));
}

TEST_F(StoredSessionTest, ASignOutTheKeyringRefusedIsFinishedOnceItIsUnlocked)
{
    signInByEmail();
    secrets->removeStatus = SecretStore::unavailable;
    QCoro::waitFor(service->signOut());
    EXPECT_EQ(service->sessionNotice(), QString::fromLatin1(AuthService::signOutUnfinishedNotice));
    EXPECT_TRUE(has(SessionStore::profileKey));

    log.clear();
    secrets->removeStatus = SecretStore::success;
    secrets->announceChange();
    ASSERT_TRUE(waitUntil([&] { return !service->sessionNotice(); }));
    EXPECT_TRUE(secrets->items.isEmpty());
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(
        log.messages("general").contains("Finished the sign-out the keyring had left unfinished"));
    restart();
    EXPECT_FALSE(service->currentUser());
    EXPECT_FALSE(service->sessionNotice());
}

TEST_F(StoredSessionTest, ARefreshKeepsTheStoredProfile)
{
    const UserProfile profile = signInByEmail();
    const QByteArray storedProfile = stored(SessionStore::profileKey);
    QCoro::waitFor(service->refreshSession());
    EXPECT_EQ(stored(SessionStore::profileKey), storedProfile);
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8());
    restart();
    EXPECT_EQ(service->currentUser(), profile);
}

} // namespace
