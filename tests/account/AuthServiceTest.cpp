#include "AccountFixture.h"
#include "account/AuthError.h"
#include "platform/linux/AbsentAppleSignInSheet.h"
#include "support/AwaitError.h"
#include "support/LogCapture.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <qcoro/qcoronetworkreply.h>

namespace {

using Reply = LocalAuthServer::Reply;
using Code = AuthError::Code;

const QString serverUserId = QString::fromLatin1(LocalAuthServer::userId);

class AuthServiceTest : public AccountFixture {
protected:
    // What the log shows must never include the secrets of the session or the user's address.
    void expectNoSecretsLogged()
    {
        const QString all = log.lines().join(u'\n');
        for (const QString &secret :
             {QString::fromLatin1(LocalAuthServer::password),
              QString::fromLatin1(LocalAuthServer::email), QStringLiteral("access-"),
              QStringLiteral("refresh-"), QStringLiteral("001234.apple.user"),
              QStringLiteral("apple-identity-token")})
            EXPECT_FALSE(all.contains(secret)) << secret.toStdString() << " in\n"
                                               << all.toStdString();
    }
    std::optional<AuthError> authError(QCoro::Task<UserProfile> task)
    {
        return awaitError<AuthError>(std::move(task));
    }
    std::optional<SignInRejectedError> rejected(QCoro::Task<UserProfile> task)
    {
        return awaitError<SignInRejectedError>(std::move(task));
    }

    LogCapture log;
};

TEST_F(AuthServiceTest, EmailSignInKeepsTheSessionInTheKeychainAcrossARestart)
{
    const UserProfile profile = signInByEmail();
    EXPECT_EQ(uuidText::canonical(profile.id), serverUserId);
    EXPECT_EQ(profile.appleUserID, "email_" + serverUserId);
    EXPECT_EQ(profile.email, LocalAuthServer::email);
    EXPECT_EQ(profile.displayName, "jane.doe");
    EXPECT_EQ(service->currentUser(), profile);
    EXPECT_FALSE(service->isSigningIn());
    EXPECT_FALSE(service->errorMessage());
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8());
    EXPECT_EQ(stored(SessionStore::refreshTokenKey), server.lastRefreshToken.toUtf8());
    EXPECT_EQ(UserProfile::fromJson(stored(SessionStore::profileKey)), profile);
    EXPECT_EQ(log.messages("general"),
              (QStringList{"Syncing profile to backend for user: " + serverUserId,
                           "Signed in successfully with Email"}));
    EXPECT_EQ(server.requests.size(), 1) << "the profile sync sends nothing";

    restart();
    EXPECT_EQ(service->currentUser(), profile);
    EXPECT_TRUE(apple->stateQueries.isEmpty()) << "only Apple users are checked at start";
    expectNoSecretsLogged();
}

TEST_F(AuthServiceTest, FailedEmailSignInsSignNobodyInAndKeepTheCurrentSession)
{
    const UserProfile signedIn = signInByEmail();
    const QByteArray access = stored(SessionStore::accessTokenKey);
    const QByteArray refresh = stored(SessionStore::refreshTokenKey);
    const QString email = QString::fromLatin1(LocalAuthServer::email);

    const auto wrong = rejected(service->signInWithEmail(email, QStringLiteral("wrong")));
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->code(), 400);
    EXPECT_EQ(wrong->description(), "Invalid login credentials");
    EXPECT_EQ(service->errorMessage(), "Invalid login credentials");

    const auto empty = rejected(service->signInWithEmail(email, QString()));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->code(), -1);
    EXPECT_EQ(empty->description(), "Email and password are required.");
    EXPECT_EQ(server.requests.size(), 2) << "an empty field sends nothing";

    struct Case {
        Reply reply;
        std::optional<QString> message;
    };
    const QList<Case> cases{
        {Reply::json(500, "<html><h1>Bad gateway</h1></html>"),
         QStringLiteral("Invalid credentials")},
        {Reply::json(500, "{}"), QStringLiteral("Invalid credentials")},
        {Reply::json(503, ""), QStringLiteral("Invalid credentials")},
        {Reply::json(201, R"({"access_token":"x","refresh_token":"y","user":{"id":"u"}})"),
         QStringLiteral("Invalid credentials")},
        {{Reply::Kind::answer, 302, {}, {}}, QStringLiteral("Invalid credentials")},
        {Reply::json(200, R"({"access_token":5,"user":{"id":"u"}})"), std::nullopt},
        {Reply::json(200, R"({"access_token":"x","user":"u"})"), std::nullopt},
        {Reply::json(200, QByteArray(256 * 1024, '{')), std::nullopt},
        {Reply::silent(), std::nullopt},
    };
    for (const Case &c : cases) {
        server.script(c.reply);
        bool failed = false;
        try {
            signInByEmail();
        } catch (const std::exception &) {
            failed = true;
        }
        EXPECT_TRUE(failed) << c.reply.status;
        EXPECT_EQ(service->errorMessage(), c.message) << c.reply.status;
        EXPECT_FALSE(service->isSigningIn());
        EXPECT_EQ(service->currentUser(), signedIn);
        EXPECT_EQ(stored(SessionStore::accessTokenKey), access);
        EXPECT_EQ(stored(SessionStore::refreshTokenKey), refresh);
    }
    server.scriptEvery(Reply::closed());
    EXPECT_TRUE(awaitError<platform::HttpTransportError>(
        service->signInWithEmail(email, QString::fromLatin1(LocalAuthServer::password))));
    EXPECT_EQ(service->currentUser(), signedIn);
    expectNoSecretsLogged();
}

TEST_F(AuthServiceTest, EmailSignInSendsTheTextAsTyped)
{
    const auto refused =
        rejected(service->signInWithEmail(QStringLiteral(" "), QStringLiteral("pw")));
    ASSERT_TRUE(refused);
    EXPECT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].json().value("email").toString(), " ");
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(secrets->items.isEmpty());

    // Control characters never belong to an address: refused before anything is sent.
    for (const QString &address :
         {QStringLiteral("jane@example.com\nBcc: x@y"),
          QString::fromUtf16(u"jane\0@example.com", 17), QStringLiteral("jane@example.com\r"),
          QString::fromUtf16(u"\u202Emoc.elpmaxe@enaj")}) {
        const auto control = rejected(service->signInWithEmail(address, QStringLiteral("pw")));
        ASSERT_TRUE(control);
        EXPECT_EQ(control->code(), -1);
        EXPECT_EQ(control->description(),
                  "The email address contains characters that are not allowed.");
        EXPECT_EQ(service->errorMessage(), control->description());
    }
    EXPECT_EQ(server.requests.size(), 1);
}

TEST_F(AuthServiceTest, ANewSessionWithoutRefreshTokenDropsThePreviousOne)
{
    signInByEmail();
    ASSERT_TRUE(has(SessionStore::refreshTokenKey));
    server.issuesRefreshToken = false;
    signInByEmail();
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8());
    EXPECT_FALSE(has(SessionStore::refreshTokenKey));
    EXPECT_TRUE(awaitError<AuthError>(service->refreshSession()));
}

TEST_F(AuthServiceTest, BadCallbacksOfAPendingBrowserSignInSignNobodyIn)
{
    for (const char *url :
         {"corvanta://auth-callback", "corvanta://auth-callback#",
          "corvanta://auth-callback#refresh_token=r", "corvanta://auth-callback#access_token=a=b",
          "corvanta://auth-callback#access_token", "corvanta://auth-callback?error=denied"}) {
        service->signInWithGoogle();
        const auto error = authError(service->handleAuthCallback(QUrl(QString::fromLatin1(url))));
        ASSERT_TRUE(error) << url;
        EXPECT_EQ(error->code(), Code::invalidCredentials);
        EXPECT_FALSE(service->isSigningIn());
    }
    EXPECT_TRUE(server.requests.isEmpty());
    EXPECT_TRUE(secrets->items.isEmpty());

    // A token the backend does not know: refused, even though the refusal decodes as a user.
    server.script(
        Reply::json(401, R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","msg":"invalid JWT"})"));
    service->signInWithGoogle();
    const auto refused =
        rejected(service->handleAuthCallback(QUrl("corvanta://auth-callback#access_token=forged")));
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code(), 401);
    server.script(Reply::json(200, R"({"email":"x@y"})"));
    service->signInWithGoogle();
    EXPECT_TRUE(awaitError<DecodingError>(service->handleAuthCallback(
        QUrl("corvanta://auth-callback#access_token=t2&refresh_token=r2"))));
    EXPECT_FALSE(service->currentUser());
    EXPECT_FALSE(service->errorMessage());
    EXPECT_FALSE(service->isSigningIn());
    EXPECT_TRUE(secrets->items.isEmpty()) << "nothing is stored before the sign-in succeeded";
}

TEST_F(AuthServiceTest, AppleSignInKeepsStoredDetailsOnlyForTheSameAppleUser)
{
    server.userEmail.clear();
    const UserProfile first = await(service->signInWithApple());
    EXPECT_EQ(first.appleUserID, "001234.apple.user");
    EXPECT_FALSE(first.email);
    EXPECT_EQ(first.displayName, "Corvanta User");
    EXPECT_EQ(server.requests.last().json(),
              (QJsonObject{{"provider", "apple"}, {"id_token", "apple-identity-token"}}));

    auto named = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    named.email = QStringLiteral("north@example.com");
    named.fullName = platform::PersonNameComponents();
    named.fullName->givenName = QStringLiteral("North");
    named.fullName->familyName = QStringLiteral("Star");
    apple->outcome = named;
    const UserProfile second = await(service->signInWithApple());
    EXPECT_EQ(second.displayName, "North Star");

    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    const UserProfile again = await(service->signInWithApple());
    EXPECT_EQ(again.email, "north@example.com");
    EXPECT_EQ(again.displayName, "North Star");

    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("009999.other.user"), "tok");
    const UserProfile other = await(service->signInWithApple());
    EXPECT_FALSE(other.email) << "another user never inherits the e-mail";
    EXPECT_EQ(other.displayName, "Corvanta User");

    server.userEmail = QStringLiteral("backend@example.com");
    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("009999.other.user"), "tok");
    EXPECT_EQ(await(service->signInWithApple()).email, "backend@example.com");
    EXPECT_TRUE(log.messages("general").contains("Signed in successfully with Apple ID: 009***"));
    expectNoSecretsLogged();
}

TEST_F(AuthServiceTest, AppleSheetOutcomes)
{
    apple->outcome = FakeAppleSignInSheet::cancelled();
    auto cancelled = authError(service->signInWithApple());
    ASSERT_TRUE(cancelled);
    EXPECT_EQ(cancelled->code(), Code::signInCancelled);
    EXPECT_FALSE(service->errorMessage());
    EXPECT_TRUE(log.lines().isEmpty());

    apple->outcome =
        FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "\xff\xfe");
    auto badToken = authError(service->signInWithApple());
    ASSERT_TRUE(badToken);
    EXPECT_EQ(badToken->code(), Code::invalidCredentials);
    EXPECT_EQ(service->errorMessage(), "Invalid Apple credentials.");

    platform::AppleIdCredential withoutToken;
    withoutToken.user = QStringLiteral("001234.apple.user");
    apple->outcome = withoutToken;
    EXPECT_EQ(authError(service->signInWithApple())->code(), Code::invalidCredentials);

    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    server.script(Reply::json(400, R"({"error_description":"<b>Bad</b> ID token"})"));
    EXPECT_EQ(rejected(service->signInWithApple())->description(), "<b>Bad</b> ID token");
    EXPECT_EQ(service->errorMessage(), "<b>Bad</b> ID token");
    EXPECT_TRUE(log.messages("general").contains("Sign in with Apple failed: <b>Bad</b> ID token"));
    server.script(
        Reply::json(400, "{\"error_description\":\"Bad\\r\\n2026 general error: forged\\u202E\"}"));
    EXPECT_TRUE(rejected(service->signInWithApple()));
    EXPECT_TRUE(log.messages("general").contains(
        "Sign in with Apple failed: Bad\\u{000D}\\u{000A}2026 general error: forged\\u{202E}"));
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(secrets->items.isEmpty());
    EXPECT_FALSE(service->isSigningIn());
    EXPECT_EQ(server.requests.size(), 2);
}

TEST_F(AuthServiceTest, WithoutTheAppleSheetAppleSignInSaysSoAndRestoredAppleUsersSignOut)
{
    apple = nullptr;
    auto absent = std::make_shared<platform::AbsentAppleSignInSheet>();
    service = std::make_unique<AuthService>(*session, *client,
                                            AuthService::Platform{http, absent, urlOpener});
    const auto error = awaitError<platform::AppleAuthorizationError>(service->signInWithApple());
    ASSERT_TRUE(error);
    EXPECT_NE(error->code(), platform::AppleAuthorizationError::canceled);
    EXPECT_STREQ(error->what(), "Sign in with Apple is not available on this system.");
    EXPECT_EQ(service->errorMessage(), "Sign in with Apple is not available on this system.");
    EXPECT_EQ(QCoro::waitFor(absent->credentialState(QStringLiteral("x"))),
              platform::AppleCredentialState::notFound);
}

TEST_F(AuthServiceTest, StartUpChecksAStoredAppleUserAndSignsARevokedOneOut)
{
    await(service->signInWithApple());
    apple->state = platform::AppleCredentialState::authorized;
    restart();
    EXPECT_TRUE(service->currentUser());
    EXPECT_EQ(apple->stateQueries, QStringList{"001234.apple.user"});

    apple->state = platform::AppleCredentialState::revoked;
    apple->stateGate.close();
    restart();
    EXPECT_TRUE(service->currentUser()) << "restored first, signed out when the check answers";
    log.clear();
    apple->stateGate.open();
    ASSERT_TRUE(waitUntil([this] { return !service->currentUser(); }));
    ASSERT_TRUE(waitUntil([this] { return secrets->items.isEmpty(); }));
    EXPECT_EQ(log.messages("general"),
              (QStringList{"Apple ID credential revoked or not found; signing out locally",
                           "User signed out"}));
}

TEST_F(AuthServiceTest, ACorruptStoredProfileStartsSignedOut)
{
    signInByEmail();
    secrets->items[{QString::fromLatin1(KeychainStore::defaultService), SessionStore::profileKey}] =
        "{\"id\":";
    restart();
    EXPECT_FALSE(service->currentUser());
    secrets->readStatus = 5;
    restart();
    EXPECT_FALSE(service->currentUser()) << "a locked store reads as signed out";
}

TEST_F(AuthServiceTest, RefreshRenewsTokensAndAFailedRefreshKeepsTheSession)
{
    EXPECT_EQ(awaitError<AuthError>(service->refreshSession())->code(), Code::invalidCredentials);
    EXPECT_TRUE(server.requests.isEmpty());

    const UserProfile profile = signInByEmail();
    const QByteArray oldRefresh = stored(SessionStore::refreshTokenKey);
    QCoro::waitFor(service->refreshSession());
    EXPECT_EQ(server.requests.last().json().value("refresh_token").toString().toUtf8(), oldRefresh);
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8());
    EXPECT_EQ(stored(SessionStore::refreshTokenKey), server.lastRefreshToken.toUtf8());

    const QByteArray access = stored(SessionStore::accessTokenKey);
    const QByteArray refresh = stored(SessionStore::refreshTokenKey);
    const QList<std::pair<Reply, QString>> failures{
        {Reply::json(400, R"({"error_description":"Invalid Refresh Token"})"),
         "Invalid Apple credentials."},
        {Reply::json(401, "{}"), "Invalid Apple credentials."},
        {Reply::json(503, "{}"), "Authentication network error: Refresh failed"},
        {{Reply::Kind::answer, 302, {}, {}}, "Authentication network error: Refresh failed"},
        {Reply::json(200, R"({"refresh_token":"r"})"),
         "Authentication network error: Invalid refresh response"},
    };
    for (const auto &[reply, message] : failures) {
        server.script(reply);
        const auto error = awaitError<AuthError>(service->refreshSession());
        ASSERT_TRUE(error);
        EXPECT_EQ(error->description(), message);
        EXPECT_EQ(service->currentUser(), profile);
        EXPECT_EQ(stored(SessionStore::accessTokenKey), access);
        EXPECT_EQ(stored(SessionStore::refreshTokenKey), refresh);
    }
    server.script(Reply::silent());
    EXPECT_TRUE(awaitError<platform::HttpTransportError>(service->refreshSession()));
    EXPECT_EQ(stored(SessionStore::refreshTokenKey), refresh);
    expectNoSecretsLogged();
}

TEST_F(AuthServiceTest, ARefreshOvertakenBySignOutOrAnotherSignInKeepsNothing)
{
    const auto items = [this] {
        return QList<QByteArray>{stored(SessionStore::profileKey),
                                 stored(SessionStore::accessTokenKey),
                                 stored(SessionStore::refreshTokenKey)};
    };
    const auto signOut = [this] { QCoro::waitFor(service->signOut()); };
    const auto emailSignIn = [this] { signInByEmail(); };
    const QList<std::pair<const char *, std::function<void()>>> cases{
        {"sign-out", signOut}, {"e-mail sign-in as another user", emailSignIn}};
    for (const auto &[what, meanwhile] : cases) {
        apple->outcome =
            FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
        await(service->signInWithApple());
        holding->holdGrant(QStringLiteral("refresh_token"));
        QCoro::Task<void> refresh = service->refreshSession();
        EXPECT_TRUE(waitUntil([this] { return holding->gate.waiting() == 1; })) << what;
        meanwhile();
        const std::optional<UserProfile> user = service->currentUser();
        const QList<QByteArray> kept = items();

        holding->gate.open();
        EXPECT_TRUE(awaitError<SignInOvertakenError>(std::move(refresh))) << what;
        EXPECT_EQ(service->currentUser(), user) << what;
        EXPECT_EQ(items(), kept) << what;
    }
    ASSERT_TRUE(service->currentUser());
    EXPECT_TRUE(service->currentUser()->appleUserID.startsWith(u"email_"));

    // A sign-out pressed while the new access token is being written.
    secrets->holding = true;
    QCoro::Task<void> refresh = service->refreshSession();
    EXPECT_TRUE(waitUntil([this] { return secrets->heldCalls() == 1; }));
    QCoro::Task<void> ending = service->signOut();
    while (secrets->heldCalls() > 0)
        secrets->release(0);
    EXPECT_TRUE(awaitError<SignInOvertakenError>(std::move(refresh)));
    QCoro::waitFor(std::move(ending));
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(secrets->items.isEmpty());
}

TEST_F(AuthServiceTest, SignOutAndDeletionEndTheSession)
{
    EXPECT_EQ(awaitError<AuthError>(service->deleteAccount())->code(), Code::notSignedIn);
    QCoro::waitFor(service->signOut());
    EXPECT_EQ(log.messages("general"), QStringList{"User signed out"});

    signInByEmail();
    QCoro::waitFor(service->signOut());
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(secrets->items.isEmpty());

    const UserProfile profile = signInByEmail();
    log.clear();
    QCoro::waitFor(service->deleteAccount());
    EXPECT_FALSE(service->currentUser());
    EXPECT_TRUE(secrets->items.isEmpty());
    EXPECT_EQ(log.messages("general"),
              (QStringList{"Requesting account deletion on backend for user: " +
                               uuidText::canonical(profile.id),
                           "User account successfully deleted"}));
    restart();
    EXPECT_FALSE(service->currentUser());
}

TEST_F(AuthServiceTest, PublishedStateFollowsAFlowAndAnnouncesEachChangeOnce)
{
    int userChanges = 0;
    int busyChanges = 0;
    QObject::connect(service.get(), &AuthService::currentUserChanged, [&] { ++userChanges; });
    QObject::connect(service.get(), &AuthService::isSigningInChanged, [&] { ++busyChanges; });
    server.script(Reply::silent());
    auto pending = service->signInWithEmail(QStringLiteral("a@b"), QStringLiteral("c"));
    EXPECT_TRUE(service->isSigningIn());
    EXPECT_TRUE(awaitError<platform::HttpTransportError>(std::move(pending)));
    EXPECT_FALSE(service->isSigningIn());
    EXPECT_EQ(busyChanges, 2);
    EXPECT_EQ(userChanges, 0);
    signInByEmail();
    EXPECT_EQ(userChanges, 1);
}

} // namespace
