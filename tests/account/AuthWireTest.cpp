#include "account/AuthWire.h"
#include "account/AuthError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

using platform::HttpResponse;

const authWire::Backend backend{QUrl(QStringLiteral("https://project.supabase.co")),
                                QStringLiteral("sb_publishable_key")};

HttpResponse answer(int status, const QByteArray &body)
{
    return {true, status, body};
}

template <typename F> std::optional<SignInRejectedError> rejection(F &&read)
{
    try {
        read();
    } catch (const SignInRejectedError &error) {
        return error;
    }
    return std::nullopt;
}

template <typename F> QString authErrorText(F &&read)
{
    try {
        read();
    } catch (const AuthError &error) {
        return error.description();
    }
    return {};
}

TEST(AuthWire, RequestsCarryTheKeyTheQueryAndStringBodies)
{
    const platform::HttpRequest password = authWire::passwordTokenRequest(
        backend, QStringLiteral(" Jane@Example.com "), QStringLiteral("p\"w"));
    EXPECT_EQ(password.method, "POST");
    EXPECT_EQ(password.url.toString(),
              "https://project.supabase.co/auth/v1/token?grant_type=password");
    EXPECT_TRUE(password.headers.contains({"apikey", "sb_publishable_key"}));
    EXPECT_TRUE(password.headers.contains({"Content-Type", "application/json"}));
    const QJsonObject body = QJsonDocument::fromJson(password.body).object();
    EXPECT_EQ(body.value("email").toString(), " Jane@Example.com ") << "sent as typed";
    EXPECT_EQ(body.value("password").toString(), "p\"w");
    EXPECT_EQ(body.size(), 2);

    const auto apple = authWire::appleTokenRequest(backend, QStringLiteral("id.token"));
    EXPECT_EQ(QUrlQuery(apple.url).queryItemValue("grant_type"), "id_token");
    EXPECT_EQ(QJsonDocument::fromJson(apple.body).object(),
              (QJsonObject{{"provider", "apple"}, {"id_token", "id.token"}}));

    const auto refresh = authWire::refreshRequest(backend, QStringLiteral("r1"));
    EXPECT_EQ(QUrlQuery(refresh.url).queryItemValue("grant_type"), "refresh_token");
    EXPECT_EQ(QJsonDocument::fromJson(refresh.body).object(),
              (QJsonObject{{"refresh_token", "r1"}}));

    const auto user = authWire::userRequest(backend, QStringLiteral("a1"));
    EXPECT_EQ(user.method, "GET");
    EXPECT_EQ(user.url.toString(), "https://project.supabase.co/auth/v1/user");
    EXPECT_TRUE(user.headers.contains({"Authorization", "Bearer a1"}));
    EXPECT_TRUE(user.headers.contains({"apikey", "sb_publishable_key"}));
    EXPECT_TRUE(user.body.isEmpty());

    EXPECT_EQ(
        authWire::authorizeUrl(backend.endpoint, QStringLiteral("ch-1"))
            .toString(QUrl::FullyEncoded),
        "https://project.supabase.co/auth/v1/authorize?provider=google&"
        "redirect_to=corvanta://auth-callback&code_challenge=ch-1&code_challenge_method=s256");
    const auto exchange =
        authWire::codeExchangeRequest(backend, QStringLiteral("c1"), QStringLiteral("v1"));
    EXPECT_EQ(QUrlQuery(exchange.url).queryItemValue("grant_type"), "pkce");
    EXPECT_EQ(QJsonDocument::fromJson(exchange.body).object(),
              (QJsonObject{{"auth_code", "c1"}, {"code_verifier", "v1"}}));
}

TEST(AuthWire, CallbackFragmentKeepsWellFormedPairsAndTheLastOfAName)
{
    const auto tokens = authWire::parseCallbackFragment(
        QStringLiteral("access_token=a1&expires_in=3600&refresh_token=r1&token_type=bearer"));
    ASSERT_TRUE(tokens);
    EXPECT_EQ(tokens->accessToken, "a1");
    EXPECT_EQ(tokens->refreshToken, "r1");

    const auto twice =
        authWire::parseCallbackFragment(QStringLiteral("access_token=a1&access_token=a2"));
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->accessToken, "a2");
    EXPECT_FALSE(twice->refreshToken);

    const auto encoded = authWire::parseCallbackFragment(QStringLiteral("access_token=a%2Bb"));
    ASSERT_TRUE(encoded);
    EXPECT_EQ(encoded->accessToken, "a%2Bb") << "values are taken without decoding";

    const auto empty = authWire::parseCallbackFragment(QStringLiteral("access_token="));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->accessToken, "");

    for (const char *failing : {"refresh_token=r1", "access_token=a=b", "access_token", "", "&&&",
                                "=a1", "ACCESS_TOKEN=a1", "access_token=a=b&refresh_token=r"})
        EXPECT_FALSE(authWire::parseCallbackFragment(QString::fromLatin1(failing))) << failing;
    EXPECT_FALSE(authWire::parseCallbackFragment(std::nullopt));
    // A bad pair does not spoil the good one beside it.
    EXPECT_TRUE(authWire::parseCallbackFragment(QStringLiteral("x=1=2&access_token=a1")));
}

TEST(AuthWire, SignInAnswerOnlyAt200AndRejectionsCarryTheBackendMessage)
{
    const auto ok = authWire::readSignInAnswer(
        answer(200, R"({"access_token":"a","user":{"id":"u","email":"e@x"},"extra":1})"));
    EXPECT_EQ(ok.accessToken, "a");
    EXPECT_FALSE(ok.refreshToken);
    EXPECT_EQ(ok.user.id, "u");
    EXPECT_EQ(ok.user.email, "e@x");

    struct Case {
        int status;
        QByteArray body;
        QString message;
    };
    const QList<Case> cases{
        {400, R"({"error_description":"Invalid login credentials","msg":"other"})",
         "Invalid login credentials"},
        {422, R"({"msg":"Signups not allowed"})", "Signups not allowed"},
        {500, "<html><body>Internal Server Error</body></html>", "Invalid credentials"},
        {500, "{}", "Invalid credentials"},
        {503, "", "Invalid credentials"},
        {400, R"({"error_description":42,"msg":"from msg"})", "from msg"},
        {400, R"(["error_description"])", "Invalid credentials"},
        {201, R"({"access_token":"a","user":{"id":"u"}})", "Invalid credentials"},
        {302, "", "Invalid credentials"},
    };
    for (const Case &c : cases) {
        const auto error = rejection([&] { authWire::readSignInAnswer(answer(c.status, c.body)); });
        ASSERT_TRUE(error) << c.status;
        EXPECT_EQ(error->code(), c.status);
        EXPECT_EQ(error->description(), c.message) << c.body.toStdString();
    }

    for (const QByteArray &body :
         {QByteArray(R"({"access_token":"a"})"),
          QByteArray(R"({"access_token":"a","user":{"email":"e"}})"),
          QByteArray(R"({"access_token":7,"user":{"id":"u"}})"),
          QByteArray(R"({"access_token":"a","user":{"id":5}})"),
          QByteArray(R"({"access_token":"a","refresh_token":[],"user":{"id":"u"}})"),
          QByteArray("not json"), QByteArray("[]")})
        EXPECT_THROW(authWire::readSignInAnswer(answer(200, body)), DecodingError)
            << body.toStdString();

    EXPECT_EQ(authErrorText([] {
                  authWire::readSignInAnswer({false, 0, {}});
              }),
              "Authentication network error: Invalid server response");
}

TEST(AuthWire, RefreshAnswerMapsStatusesToTheDocumentedErrors)
{
    const auto ok =
        authWire::readRefreshAnswer(answer(200, R"({"access_token":"a2","refresh_token":"r2"})"));
    EXPECT_EQ(ok.accessToken, "a2");
    EXPECT_EQ(ok.refreshToken, "r2");
    EXPECT_EQ(authErrorText([] { authWire::readRefreshAnswer(answer(401, "{}")); }),
              "Invalid Apple credentials.");
    EXPECT_EQ(authErrorText([] { authWire::readRefreshAnswer(answer(499, "")); }),
              "Invalid Apple credentials.");
    for (int status : {503, 302, 500, 201, 399, 500})
        EXPECT_EQ(authErrorText([&] { authWire::readRefreshAnswer(answer(status, "{}")); }),
                  "Authentication network error: Refresh failed")
            << status;
    for (const char *body : {R"({"refresh_token":"r"})", "<html>", R"({"access_token":null})"})
        EXPECT_EQ(authErrorText([&] { authWire::readRefreshAnswer(answer(200, body)); }),
                  "Authentication network error: Invalid refresh response");
    EXPECT_EQ(authErrorText([] {
                  authWire::readRefreshAnswer({false, 0, {}});
              }),
              "Authentication network error: Refresh failed");
}

TEST(AuthWire, UserAnswerIsAUserOnlyWhenTheStatusIsSuccess)
{
    const auto user = authWire::readUserAnswer(answer(200, R"({"id":"u1","email":null})"));
    EXPECT_EQ(user.id, "u1");
    EXPECT_FALSE(user.email);
    EXPECT_EQ(authWire::readUserAnswer(answer(203, R"({"id":"u2"})")).id, "u2");

    const auto refused = rejection(
        [] { authWire::readUserAnswer(answer(401, R"({"id":"u1","msg":"invalid JWT"})")); });
    ASSERT_TRUE(refused) << "a refusal with a decodable body signs nobody in";
    EXPECT_EQ(refused->code(), 401);
    EXPECT_EQ(refused->description(), "invalid JWT");
    EXPECT_TRUE(rejection([] { authWire::readUserAnswer(answer(500, R"({"id":"u1"})")); }));
    EXPECT_THROW(authWire::readUserAnswer(answer(200, R"({"email":"e"})")), DecodingError);
    EXPECT_THROW(authWire::readUserAnswer(answer(200, R"({"id":1})")), DecodingError);
}

} // namespace
