#include "AccountFixture.h"
#include "account/AuthError.h"
#include "support/AwaitError.h"
#include "support/Gate.h"
#include "support/LogCapture.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QUrlQuery>
#include <qcoro/qcoronetworkreply.h>

// The browser sign-in: only the answer to a sign-in this run opened and still waits for may sign
// anybody in, a callback is read one way only, and a callback that fails leaves the stored
// session as it was.
namespace {

using Reply = LocalAuthServer::Reply;

class BrowserSignInTest : public AccountFixture {
protected:
    // The browser's part: the authorize page sends it back to the program.
    QUrl browse(const QUrl &authorize)
    {
        QNetworkAccessManager browser;
        browser.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        std::unique_ptr<QNetworkReply> reply(browser.get(QNetworkRequest(authorize)));
        QCoro::waitFor(qCoro(reply.get()).waitForFinished());
        return QUrl(QString::fromUtf8(reply->rawHeader("Location")));
    }
    QUrl openBrowser()
    {
        const qsizetype before = urlOpener->opened.size();
        service->signInWithGoogle();
        if (urlOpener->opened.size() != before + 1)
            return {};
        return browse(urlOpener->opened.last());
    }
    // Whether the task ended with an error of type E (and not with another, or none).
    template <typename E> static bool endsWith(QCoro::Task<UserProfile> task)
    {
        std::exception_ptr thrown;
        QCoro::waitFor(
            [](QCoro::Task<UserProfile> task, std::exception_ptr &thrown) -> QCoro::Task<> {
                try {
                    co_await std::move(task);
                } catch (...) {
                    thrown = std::current_exception();
                }
            }(std::move(task), thrown));
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const E &) {
            return true;
        } catch (...) {
        }
        return false;
    }
    QList<QByteArray> items() const
    {
        return {stored(SessionStore::profileKey), stored(SessionStore::accessTokenKey),
                stored(SessionStore::refreshTokenKey)};
    }
    // A callback that must be refused: nothing sent, nothing stored, nobody else signed in. The
    // refusal says why; the caller logs it (the service itself writes nothing).
    template <typename Error = CallbackRefusedError>
    void expectRefused(const QUrl &callback, const char *what)
    {
        const auto user = service->currentUser();
        const QList<QByteArray> before = items();
        const qsizetype requests = server.requests.size();
        log.clear();
        EXPECT_TRUE(endsWith<Error>(service->handleAuthCallback(callback))) << what;
        EXPECT_EQ(server.requests.size(), requests) << what;
        EXPECT_EQ(items(), before) << what;
        EXPECT_EQ(service->currentUser(), user) << what;
        EXPECT_FALSE(service->isSigningIn()) << what;
        EXPECT_FALSE(service->isBrowserSignInPending()) << what;
        EXPECT_EQ(log.messages("general"), QStringList()) << what;
    }

    LogCapture log;
};

// Tells whether a browser took the page only once the test opens its gate.
class SlowUrlOpener final : public FakeUrlOpener {
public:
    QCoro::Task<bool> openInBrowser(QUrl url, std::function<void()>) override
    {
        const bool opened = openUrl(url);
        co_await gate.pass();
        co_return opened;
    }

    Gate gate;
};

TEST_F(BrowserSignInTest, TheCodeOfThisRunsSignInIsExchangedWithItsVerifier)
{
    service->signInWithGoogle();
    ASSERT_EQ(urlOpener->opened.size(), 1);
    const QUrl authorize = urlOpener->opened[0];
    const QUrlQuery query(authorize);
    EXPECT_EQ(authorize.path(), "/auth/v1/authorize");
    EXPECT_EQ(query.queryItemValue("provider"), "google");
    EXPECT_EQ(query.queryItemValue("redirect_to", QUrl::FullyDecoded), "corvanta://auth-callback");
    EXPECT_EQ(query.queryItemValue("code_challenge_method"), "s256");
    EXPECT_EQ(query.queryItemValue("code_challenge").size(), 43);
    EXPECT_TRUE(service->isBrowserSignInPending());
    EXPECT_FALSE(service->isSigningIn());

    const QUrl callback = browse(authorize);
    ASSERT_EQ(callback.toString(), "corvanta://auth-callback?code=code-1");
    const UserProfile profile = await(service->handleAuthCallback(callback));
    const LocalAuthServer::Request exchange = server.requests.last();
    EXPECT_EQ(exchange.query.queryItemValue("grant_type"), "pkce");
    EXPECT_EQ(exchange.json().value("code_verifier").toString().size(), 43);
    EXPECT_EQ(profile.appleUserID, "google_" + QString::fromLatin1(LocalAuthServer::userId));
    EXPECT_EQ(profile.displayName, "jane.doe");
    EXPECT_EQ(service->currentUser(), profile);
    EXPECT_EQ(items(), (QList<QByteArray>{profile.toJson(), server.lastAccessToken.toUtf8(),
                                          server.lastRefreshToken.toUtf8()}));
    EXPECT_TRUE(log.messages("general").contains("Signed in successfully with Google via Browser"));

    // One callback per sign-in: the same one again, or a forged one, changes nothing.
    expectRefused(callback, "the same callback twice");
    expectRefused(QUrl("corvanta://auth-callback#access_token=forged&refresh_token=forged"),
                  "a forged callback after a sign-in");
    restart();
    EXPECT_EQ(service->currentUser(), profile);
    const QString all = log.lines().join(u'\n');
    EXPECT_FALSE(all.contains("forged") || all.contains("code-1") || all.contains("access-"));
}

TEST_F(BrowserSignInTest, ACallbackNobodyHereAskedForNeverSignsIn)
{
    const UserProfile signedIn = signInByEmail();
    const QUrl forged("corvanta://auth-callback#access_token=forged&refresh_token=forged");
    expectRefused(forged, "no browser sign-in started");

    service->signInWithGoogle();
    QCoro::waitFor(service->signOut());
    EXPECT_FALSE(service->isBrowserSignInPending());
    signInByEmail();
    expectRefused(forged, "a sign-in started before the sign-out");

    service->signInWithGoogle();
    restart();
    expectRefused(forged, "a sign-in started before the restart");

    service->signInWithGoogle();
    clockNow += PendingBrowserSignIn::lifetime + std::chrono::nanoseconds(1);
    expectRefused(forged, "a sign-in started more than ten minutes ago");

    // Within the time, up to its very end, the tokens of the implicit flow are still taken.
    server.implicitFlow = true;
    const QUrl callback = openBrowser();
    ASSERT_TRUE(callback.hasFragment());
    clockNow += PendingBrowserSignIn::lifetime;
    const UserProfile google = await(service->handleAuthCallback(callback));
    EXPECT_EQ(google.appleUserID, "google_" + QString::fromLatin1(LocalAuthServer::userId));
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8());
}

TEST_F(BrowserSignInTest, ACompletedSignInEndsTheWaitingBrowserSignIn)
{
    // A token the backend takes, as one of somebody else's account would be.
    signInByEmail();
    const QUrl forged("corvanta://auth-callback#access_token=" + server.lastAccessToken);
    QCoro::waitFor(service->signOut());

    service->signInWithGoogle();
    const UserProfile byEmail = signInByEmail();
    expectRefused(forged, "a browser sign-in started before an e-mail sign-in");
    EXPECT_EQ(service->currentUser(), byEmail);

    service->signInWithGoogle();
    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    const UserProfile byApple = await(service->signInWithApple());
    expectRefused(forged, "a browser sign-in started before a Sign in with Apple");
    EXPECT_EQ(service->currentUser(), byApple);

    // A failed browser sign-in ends it as well.
    const QUrl failing = openBrowser();
    server.script(Reply::closed());
    EXPECT_TRUE(endsWith<platform::HttpTransportError>(service->handleAuthCallback(failing)));
    expectRefused(forged, "after a failed browser sign-in");

    // A new browser sign-in replaces the one before: the earlier page's answer is exchanged
    // with the later sign-in's verifier, which the backend refuses.
    const QUrl earlier = openBrowser();
    openBrowser();
    EXPECT_TRUE(endsWith<SignInRejectedError>(service->handleAuthCallback(earlier)));
    EXPECT_EQ(service->currentUser(), byApple);
}

TEST_F(BrowserSignInTest, ASignInOvertakenByAnotherOrBySignOutKeepsNothing)
{
    apple->outcome = FakeAppleSignInSheet::credential(QStringLiteral("001234.apple.user"), "tok");
    const auto byBrowser = [this] { return service->handleAuthCallback(openBrowser()); };
    const auto byEmail = [this] {
        return service->signInWithEmail(QString::fromLatin1(LocalAuthServer::email),
                                        QString::fromLatin1(LocalAuthServer::password));
    };
    const auto emailSignIn = [this] { signInByEmail(); };
    const auto appleSignIn = [this] { await(service->signInWithApple()); };
    const auto signOut = [this] { QCoro::waitFor(service->signOut()); };
    const auto userNow = [this] {
        return service->currentUser() ? service->currentUser()->appleUserID.toStdString() : "";
    };
    struct Case {
        const char *what;
        const char *heldGrant;
        std::function<QCoro::Task<UserProfile>()> slow;
        std::function<void()> meanwhile;
        std::string userAfter;
    };
    const QList<Case> cases{
        {"code exchange, then e-mail sign-in", "pkce", byBrowser, emailSignIn,
         "email_" + std::string(LocalAuthServer::userId)},
        {"code exchange, then sign-out", "pkce", byBrowser, signOut, {}},
        {"e-mail sign-in, then Sign in with Apple", "password", byEmail, appleSignIn,
         "001234.apple.user"},
        {"e-mail sign-in, then sign-out", "password", byEmail, signOut, {}},
    };
    for (const Case &c : cases) {
        holding->holdGrant(QString::fromLatin1(c.heldGrant));
        QCoro::Task<UserProfile> slow = c.slow();
        EXPECT_TRUE(waitUntil([this] { return holding->gate.waiting() == 1; })) << c.what;
        c.meanwhile();
        const QList<QByteArray> kept = items();
        EXPECT_EQ(userNow(), c.userAfter) << c.what;
        EXPECT_EQ(kept[0].isEmpty(), c.userAfter.empty()) << c.what;

        holding->gate.open();
        EXPECT_TRUE(endsWith<SignInOvertakenError>(std::move(slow))) << c.what;
        EXPECT_EQ(userNow(), c.userAfter) << c.what;
        EXPECT_EQ(items(), kept) << c.what;
        EXPECT_FALSE(service->isSigningIn()) << c.what;
    }
}

TEST_F(BrowserSignInTest, ACallbackIsReadOneWayOnly)
{
    // What each callback makes the service send: the code it exchanges, the token it asks the
    // user with, or nothing.
    const QList<std::pair<QString, QString>> cases{
        {"?code=c-7#access_token=t-7", "code c-7"},
        {"/?state=1#access_token=t-7&refresh_token=r-7", "token t-7"},
        {"?x&code=c-7#access_token=t-7", ""},
        {"?code=#access_token=t-7", ""},
        {"?code=c-7&code=c-8", ""},
        {"?code#access_token=t-7", ""},
        {"#access_token=&refresh_token=r-7", ""},
        {"?error=access_denied", ""},
    };
    for (const auto &[suffix, expected] : cases) {
        ASSERT_TRUE(openBrowser().isValid());
        const qsizetype before = server.requests.size();
        const QUrl callback("corvanta://auth-callback" + suffix, QUrl::StrictMode);
        ASSERT_TRUE(callback.isValid()) << suffix.toStdString();
        QCoro::waitFor([](QCoro::Task<UserProfile> task) -> QCoro::Task<> {
            try {
                co_await std::move(task);
            } catch (...) {
            }
        }(service->handleAuthCallback(callback)));
        QString sent;
        if (server.requests.size() > before) {
            const LocalAuthServer::Request &request = server.requests[before];
            sent = request.path == "/auth/v1/user"
                       ? "token " + QString::fromUtf8(request.headers.value("authorization").mid(7))
                       : "code " + request.json().value("auth_code").toString();
        }
        EXPECT_EQ(sent, expected) << suffix.toStdString();
        EXPECT_FALSE(service->isBrowserSignInPending()) << suffix.toStdString();
    }
}

TEST_F(BrowserSignInTest, AFailedCallbackLeavesTheStoredSessionWhole)
{
    const UserProfile signedIn = signInByEmail();
    const QList<QByteArray> before = items();

    const QUrl callback = openBrowser();
    server.script(Reply::json(400, R"({"error_description":"invalid flow state"})"));
    EXPECT_TRUE(awaitError<SignInRejectedError>(service->handleAuthCallback(callback)));

    server.implicitFlow = true;
    const QUrl tokens = openBrowser();
    server.script(Reply::json(400, R"({"msg":"bad_jwt"})"));
    EXPECT_TRUE(awaitError<SignInRejectedError>(service->handleAuthCallback(tokens)));

    openBrowser();
    server.script(Reply::closed());
    EXPECT_TRUE(awaitError<platform::HttpTransportError>(service->handleAuthCallback(
        QUrl("corvanta://auth-callback#access_token=a9&refresh_token=r9"))));

    EXPECT_EQ(items(), before);
    EXPECT_EQ(service->currentUser(), signedIn);
    EXPECT_FALSE(service->isSigningIn());
    restart();
    EXPECT_EQ(service->currentUser(), signedIn);
    QCoro::waitFor(service->refreshSession());
    EXPECT_EQ(stored(SessionStore::accessTokenKey), server.lastAccessToken.toUtf8())
        << "the kept refresh token still renews the session";
}

TEST_F(BrowserSignInTest, ThePageOfABackendWithoutHttpsElsewhereIsNeverOpened)
{
    for (const char *origin : {"http://backend.example", "http://192.0.2.1:8080"}) {
        SupabaseClient remote(QUrl(QString::fromLatin1(origin)),
                              QString::fromLatin1(LocalAuthServer::apiKey));
        AuthService other(*session, remote, AuthService::Platform{http, apple, urlOpener});
        other.signInWithGoogle();
        EXPECT_TRUE(urlOpener->opened.isEmpty()) << origin;
        EXPECT_FALSE(other.isBrowserSignInPending()) << origin;
    }
    SupabaseClient secure(QUrl("https://project.supabase.co"),
                          QString::fromLatin1(LocalAuthServer::apiKey));
    AuthService remote(*session, secure, AuthService::Platform{http, apple, urlOpener});
    remote.signInWithGoogle();
    ASSERT_EQ(urlOpener->opened.size(), 1);
    EXPECT_EQ(urlOpener->opened[0].host(), "project.supabase.co");
}

TEST_F(BrowserSignInTest, ABrowserThatCannotBeOpenedSaysSoAndEndsOnlyItsOwnSignIn)
{
    urlOpener->opens = false;
    EXPECT_TRUE(awaitError<BrowserNotOpenedError>(service->signInWithGoogle()));
    EXPECT_FALSE(service->isBrowserSignInPending());

    auto slow = std::make_shared<SlowUrlOpener>();
    AuthService other(*session, *client, AuthService::Platform{http, apple, slow});
    slow->gate.close();
    slow->opens = false;
    QCoro::Task<void> failing = other.signInWithGoogle();
    slow->opens = true;
    QCoro::Task<void> opening = other.signInWithGoogle();
    slow->gate.open();
    EXPECT_TRUE(awaitError<BrowserNotOpenedError>(std::move(failing)));
    EXPECT_FALSE(awaitError<BrowserNotOpenedError>(std::move(opening)));
    EXPECT_TRUE(other.isBrowserSignInPending()) << "the later sign-in still waits for its callback";

    // A browser that fails after it seemed to take the page ends its sign-in as one that failed
    // at once, while that sign-in still waits; after it ended, the failure changes nothing.
    urlOpener->opens = true;
    const QList<std::pair<const char *, std::function<void()>>> cases{
        {"while the sign-in waits", {}},
        {"after the callback",
         [this] { await(service->handleAuthCallback(browse(urlOpener->opened.last()))); }},
        {"after a sign-out", [this] { QCoro::waitFor(service->signOut()); }},
        {"after a newer sign-in", [this] { service->signInWithGoogle(); }},
        {"after the time limit",
         [this] { clockNow += PendingBrowserSignIn::lifetime + std::chrono::nanoseconds(1); }},
    };
    const QString description = BrowserNotOpenedError().description();
    for (const auto &[what, meanwhile] : cases) {
        const qsizetype page = urlOpener->opened.size();
        service->signInWithGoogle();
        if (meanwhile)
            meanwhile();
        service->setErrorMessage(std::nullopt);
        QSignalSpy failures(service.get(), &AuthService::browserSignInFailed);
        urlOpener->browserFailures[page]();
        EXPECT_EQ(failures, meanwhile ? QList<QVariantList>() : QList<QVariantList>{{description}})
            << what;
        EXPECT_EQ(service->errorMessage(), meanwhile ? std::nullopt : std::optional(description))
            << what;
        EXPECT_EQ(service->isBrowserSignInPending(), urlOpener->opened.size() > page + 1)
            << what << ": only a newer sign-in still waits";
        QCoro::waitFor(service->signOut());
    }
}

} // namespace
