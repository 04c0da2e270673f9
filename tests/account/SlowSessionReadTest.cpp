#include "AccountFixture.h"
#include "support/Gate.h"

// A keyring slow to answer the start-up read: whatever the user does meanwhile (a sign-in, a
// sign-out) stands, and the stored session read before it never comes back over it.
namespace {

// Reads what is stored when asked, then holds the answer until the test opens the gate.
class SlowReads : public FakeSecretStore {
public:
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        QCoro::Task<ReadResult> reading = FakeSecretStore::read(service, account);
        const ReadResult early = co_await reading;
        co_await readGate.pass();
        co_return early;
    }

    Gate readGate;
};

class SlowSessionReadTest : public AccountFixture {};

TEST_F(SlowSessionReadTest, TheSessionReadAtStartUpNeverReplacesANewerOne)
{
    const UserProfile current = signInByEmail();
    const UserProfile stale{QUuid::createUuid(), QStringLiteral("email_stale"),
                            QStringLiteral("someone.else@example.com"), QStringLiteral("someone"),
                            QDateTime::fromSecsSinceEpoch(1'700'000'000, Qt::UTC)};
    ASSERT_NE(stale.id, current.id);

    enum class Newer { signIn, signOut };
    for (const Newer newer : {Newer::signIn, Newer::signOut}) {
        const auto keyring = std::make_shared<SlowReads>();
        keyring->items = secrets->items;
        keyring->items.insert({QString::fromLatin1(KeychainStore::defaultService),
                               QString::fromLatin1(SessionStore::profileKey)},
                              stale.toJson());
        keyring->readGate.close();
        KeychainStore slowKeychain{keyring};
        SessionStore slowSession(slowKeychain, dataFolder.filePath("slow-session-end"));
        AuthService starting(
            slowSession, *client,
            AuthService::Platform{http, apple, urlOpener, [this] { return clockNow; }});
        ASSERT_TRUE(waitUntil([&] { return keyring->readGate.waiting() == 1; }));

        if (newer == Newer::signIn) {
            const UserProfile signedIn =
                await(starting.signInWithEmail(QString::fromLatin1(LocalAuthServer::email),
                                               QString::fromLatin1(LocalAuthServer::password)));
            EXPECT_EQ(signedIn.id, current.id);
        } else {
            QCoro::waitFor(starting.signOut());
        }
        keyring->readGate.open();
        ASSERT_TRUE(waitUntil([&] { return starting.isRestored(); }));
        if (newer == Newer::signIn)
            EXPECT_EQ(starting.currentUser().value_or(stale).id, current.id)
                << "the sign-in made while it was read";
        else
            EXPECT_FALSE(starting.currentUser()) << "the sign-out made while it was read";
    }
}

} // namespace
