#include "AccountFixture.h"
#include "account/AuthError.h"
#include "support/AwaitError.h"
#include "support/LogCapture.h"

// The session in a keyring that is locked, missing or does not answer: the program says so,
// waits for it once, and never restores a session the user ended.
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
