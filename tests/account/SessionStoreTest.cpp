#include "account/SessionStore.h"
#include "account/KeychainStore.h"
#include "account/TurnQueue.h"
#include "account/UserProfile.h"
#include "support/FakeSecretStore.h"
#include "support/LogCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <coroutine>
#include <gtest/gtest.h>

namespace {

template <typename T> T await(QCoro::Task<T> task)
{
    return QCoro::waitFor(std::move(task));
}

// A coroutine the test resumes and destroys by hand, as no task of the program lets it.
struct HandCoroutine {
    struct promise_type {
        HandCoroutine get_return_object()
        {
            return {std::coroutine_handle<promise_type>::from_promise(*this)};
        }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() noexcept {}
        void unhandled_exception() noexcept { std::terminate(); }
    };
    std::coroutine_handle<promise_type> handle;
};

// Takes a turn, notes it, and holds it until the test resumes it once more.
HandCoroutine holdTurn(TurnQueue &turns, QStringList &taken, QString name)
{
    const TurnQueue::Turn turn = co_await turns.waitForTurn();
    taken << name;
    co_await std::suspend_always();
}

UserProfile profile(std::optional<QString> email, std::optional<QString> name)
{
    return {QUuid::fromString(QStringLiteral("{5b0e2c4a-8f1d-4e6b-9a3c-7d2e1f0a9b8c}")),
            QStringLiteral("email_5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C"), email, name,
            referenceDate::fromSeconds(786000000.25)};
}

TEST(UserProfile, StoredJsonUsesUpperCaseIdReferenceDateAndOmitsAbsentFields)
{
    const UserProfile bare = profile(std::nullopt, std::nullopt);
    const QJsonObject object = QJsonDocument::fromJson(bare.toJson()).object();
    EXPECT_EQ(object.value("id").toString(), "5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C");
    EXPECT_DOUBLE_EQ(object.value("createdAt").toDouble(), 786000000.25);
    EXPECT_FALSE(object.contains("email"));
    EXPECT_FALSE(object.contains("displayName"));
    EXPECT_EQ(UserProfile::fromJson(bare.toJson()), bare);

    const UserProfile full = profile(QStringLiteral("jane@example.com"), QStringLiteral("jane"));
    EXPECT_EQ(UserProfile::fromJson(full.toJson()), full);
    EXPECT_NE(full, bare);

    const auto epoch = UserProfile::fromJson(
        R"({"id":"5b0e2c4a-8f1d-4e6b-9a3c-7d2e1f0a9b8c","appleUserID":"x","createdAt":0,"email":null,"other":1})");
    ASSERT_TRUE(epoch);
    EXPECT_EQ(epoch->createdAt, QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_FALSE(epoch->email);

    const QByteArray payload = BackendProfilePayload::from(bare).toJson();
    EXPECT_EQ(QJsonDocument::fromJson(payload).object(),
              (QJsonObject{{"userId", "5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C"},
                           {"appleUserId", "email_5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C"}}));
}

TEST(UserProfile, CorruptOrIncompleteJsonReadsAsNoProfile)
{
    const char *id = R"("id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C")";
    const QList<QByteArray> corrupt{
        "",
        "garbage",
        "[]",
        QByteArray("{") + id + R"(,"createdAt":1})",
        QByteArray("{") + id + R"(,"appleUserID":"x"})",
        R"({"id":"not-a-uuid","appleUserID":"x","createdAt":1})",
        R"({"id":"{5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C}","appleUserID":"x","createdAt":1})",
        QByteArray("{") + id + R"(,"appleUserID":7,"createdAt":1})",
        QByteArray("{") + id + R"(,"appleUserID":"x","createdAt":"today"})",
        QByteArray("{") + id + R"(,"appleUserID":"x","createdAt":1e300})",
        QByteArray("{") + id + R"(,"appleUserID":"x","createdAt":1,"email":3})",
        QByteArray("{") + id + R"(,"appleUserID":"x","createdAt":1,"displayName":{}})",
    };
    for (const QByteArray &json : corrupt)
        EXPECT_FALSE(UserProfile::fromJson(json)) << json.toStdString();
}

TEST(KeychainStore, SavesReplaceLoadsAndDeletesUnderItsOwnService)
{
    LogCapture log;
    auto secrets = std::make_shared<FakeSecretStore>();
    KeychainStore store(secrets);
    KeychainStore other(secrets, QStringLiteral("com.corvanta.other"));

    EXPECT_TRUE(await(store.save("A", QStringLiteral("k"))));
    EXPECT_TRUE(await(store.save("B", QStringLiteral("k"))));
    EXPECT_TRUE(await(other.save("C", QStringLiteral("k"))));
    EXPECT_EQ(await(store.load(QStringLiteral("k"))), QByteArray("B"));
    EXPECT_EQ(await(other.load(QStringLiteral("k"))), QByteArray("C"));
    EXPECT_EQ(secrets->items.size(), 2);

    EXPECT_TRUE(await(store.deleteItem(QStringLiteral("never"))));
    EXPECT_FALSE(await(store.load(QStringLiteral("never"))));
    EXPECT_TRUE(await(store.deleteItem(QStringLiteral("k"))));
    EXPECT_TRUE(await(store.deleteItem(QStringLiteral("k"))));
    EXPECT_FALSE(await(store.load(QStringLiteral("k"))));
    EXPECT_EQ(await(other.load(QStringLiteral("k"))), QByteArray("C"));

    EXPECT_TRUE(await(store.save("\xff\xfe", QStringLiteral("bin"))));
    EXPECT_FALSE(await(store.loadString(QStringLiteral("bin"))));
    EXPECT_TRUE(await(store.saveString(QStringLiteral("text é"), QStringLiteral("s"))));
    EXPECT_EQ(await(store.loadString(QStringLiteral("s"))), QStringLiteral("text é"));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(KeychainStore, FailedSaveKeepsThePreviousSecretAndLogsTheKey)
{
    LogCapture log;
    auto secrets = std::make_shared<FakeSecretStore>();
    KeychainStore store(secrets);
    ASSERT_TRUE(await(store.save("old-token", QStringLiteral("corvanta.session.accessToken"))));

    secrets->writeStatus = 5; // the store is locked
    EXPECT_FALSE(await(store.save("new-token", QStringLiteral("corvanta.session.accessToken"))));
    secrets->writeStatus = platform::SecretStore::success;
    EXPECT_EQ(await(store.load(QStringLiteral("corvanta.session.accessToken"))),
              QByteArray("old-token"));
    EXPECT_EQ(log.messages("general"),
              QStringList{"Keychain save error for key corvanta.session.accessToken: 5"});
    EXPECT_TRUE(log.lines().filter("token").filter("-token").isEmpty());

    secrets->removeStatus = 5;
    EXPECT_FALSE(await(store.deleteItem(QStringLiteral("corvanta.session.accessToken"))));
    secrets->readStatus = 5;
    EXPECT_FALSE(await(store.load(QStringLiteral("corvanta.session.accessToken"))));
}

TEST(SessionStore, KeepsTheSessionUnderThreeKeysAndEndsItWhole)
{
    LogCapture log;
    auto secrets = std::make_shared<FakeSecretStore>();
    KeychainStore keychain(secrets);
    SessionStore session(keychain);
    EXPECT_FALSE(await(session.loadProfile()));

    const UserProfile first = profile(QStringLiteral("a@b"), std::nullopt);
    const UserProfile second = profile(std::nullopt, QStringLiteral("second"));
    await(session.saveAccessToken(QStringLiteral("access")));
    await(session.saveRefreshToken(QStringLiteral("refresh")));
    await(session.saveProfile(first));
    await(session.saveProfile(second));
    EXPECT_EQ(await(session.loadProfile()), second);
    EXPECT_EQ(await(session.loadAccessToken()), QStringLiteral("access"));
    EXPECT_EQ(await(session.loadRefreshToken()), QStringLiteral("refresh"));
    const QString service = QString::fromLatin1(KeychainStore::defaultService);
    EXPECT_EQ(secrets->items.value({service, "corvanta.session.accessToken"}), "access");
    EXPECT_EQ(secrets->items.value({service, "corvanta.session.refreshToken"}), "refresh");
    EXPECT_EQ(secrets->items.size(), 3);

    secrets->items[{service, "corvanta.session.profile"}] = "{broken";
    EXPECT_FALSE(await(session.loadProfile())) << "a damaged profile reads as none";

    await(session.clearSession());
    EXPECT_TRUE(secrets->items.isEmpty());
    EXPECT_FALSE(await(session.loadProfile()));
    EXPECT_FALSE(await(session.loadAccessToken()));
    EXPECT_FALSE(await(session.loadRefreshToken()));
    EXPECT_TRUE(log.lines().isEmpty());
}

TEST(SessionStore, SavesAndClearsReachTheKeyringOneAfterAnotherInTheOrderAsked)
{
    auto secrets = std::make_shared<FakeSecretStore>();
    KeychainStore keychain(secrets);
    SessionStore session(keychain);
    const QString service = QString::fromLatin1(KeychainStore::defaultService);
    // Newest first: the order in which a later request would overtake an earlier one.
    const auto releaseAll = [&] {
        while (secrets->heldCalls() > 0)
            secrets->release(secrets->heldCalls() - 1);
    };
    secrets->holding = true;

    const UserProfile first = profile(QStringLiteral("a@b"), std::nullopt);
    QCoro::Task<bool> saving = session.saveSession(first, "access-1", QStringLiteral("refresh-1"));
    QCoro::Task<bool> clearing = session.clearSession();
    releaseAll();
    EXPECT_TRUE(await(std::move(saving)));
    EXPECT_TRUE(await(std::move(clearing)));
    EXPECT_TRUE(secrets->items.isEmpty()) << "a session the user ended stays in the keyring";

    secrets->holding = false;
    ASSERT_TRUE(await(session.saveSession(first, "access-1", QStringLiteral("refresh-1"))));
    secrets->holding = true;
    const UserProfile second = profile(std::nullopt, QStringLiteral("second"));
    clearing = session.clearSession();
    saving = session.saveSession(second, "access-2", QStringLiteral("refresh-2"));
    releaseAll();
    EXPECT_TRUE(await(std::move(clearing)));
    EXPECT_TRUE(await(std::move(saving)));
    EXPECT_EQ(secrets->items, (QHash<FakeSecretStore::Key, QByteArray>{
                                  {{service, SessionStore::profileKey}, second.toJson()},
                                  {{service, SessionStore::accessTokenKey}, "access-2"},
                                  {{service, SessionStore::refreshTokenKey}, "refresh-2"}}));
}

TEST(SessionStore, ACoroutineDestroyedWhileItWaitsForTheKeyringLeavesTheQueue)
{
    TurnQueue turns;
    QStringList taken;
    const HandCoroutine first = holdTurn(turns, taken, QStringLiteral("first"));
    const HandCoroutine gone = holdTurn(turns, taken, QStringLiteral("gone"));
    const HandCoroutine second = holdTurn(turns, taken, QStringLiteral("second"));
    const HandCoroutine third = holdTurn(turns, taken, QStringLiteral("third"));
    ASSERT_EQ(taken, QStringList{"first"});
    gone.handle.destroy();

    first.handle.resume();
    EXPECT_EQ(taken, (QStringList{"first", "second"}));
    second.handle.resume();
    EXPECT_EQ(taken, (QStringList{"first", "second", "third"}));
    third.handle.resume();
    const HandCoroutine later = holdTurn(turns, taken, QStringLiteral("later"));
    EXPECT_EQ(taken, (QStringList{"first", "second", "third", "later"}));
    later.handle.resume();
    for (const HandCoroutine &finished : {first, second, third, later}) {
        EXPECT_TRUE(finished.handle.done());
        finished.handle.destroy();
    }
}

} // namespace
