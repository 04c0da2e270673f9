#include "platform/qt/NetworkHttpTransport.h"
#include "support/AwaitError.h"
#include "support/LocalAuthServer.h"

#include <QElapsedTimer>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using platform::HttpRequest;
using platform::HttpResponse;
using platform::HttpTransportError;
using platform::NetworkHttpTransport;
using Reply = LocalAuthServer::Reply;

class NetworkHttpTransportTest : public ::testing::Test {
protected:
    HttpRequest post(const QByteArray &body = "{}")
    {
        HttpRequest request;
        request.method = "POST";
        request.url = server.origin();
        request.url.setPath(QStringLiteral("/auth/v1/token"));
        request.headers = {{"apikey", LocalAuthServer::apiKey},
                           {"Content-Type", "application/json"}};
        request.body = body;
        return request;
    }
    HttpResponse send(HttpRequest request) { return awaited(transport.send(std::move(request))); }

    LocalAuthServer server;
    NetworkHttpTransport transport{std::chrono::milliseconds(500 * buildSlowdown), 64 * 1024};
};

TEST_F(NetworkHttpTransportTest, SendsMethodHeadersAndBodyAndReadsAnyStatus)
{
    server.script(Reply::json(201, R"({"a":1})"));
    const HttpResponse created = send(post(R"({"email":"x"})"));
    EXPECT_TRUE(created.isHttp);
    EXPECT_EQ(created.status, 201);
    EXPECT_EQ(created.body, R"({"a":1})");
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].method, "POST");
    EXPECT_EQ(server.requests[0].headers.value("apikey"), LocalAuthServer::apiKey);
    EXPECT_EQ(server.requests[0].body, R"({"email":"x"})");

    server.script(Reply::json(500, "<html>oops</html>"));
    EXPECT_EQ(send(post()).status, 500);
    server.script(Reply::json(503, ""));
    EXPECT_EQ(send(post()).status, 503);
}

TEST_F(NetworkHttpTransportTest, RedirectsAreAnswersNotFollowed)
{
    server.script({Reply::Kind::answer, 302, {}, {{"Location", "/auth/v1/user"}}});
    EXPECT_EQ(send(post()).status, 302);
    server.script({Reply::Kind::answer, 302, {}, {}});
    EXPECT_EQ(send(post()).status, 302) << "a redirect without a location";
    EXPECT_EQ(server.requests.size(), 2);
}

TEST_F(NetworkHttpTransportTest, ClosedSilentAndHugeAnswersEndInTransportErrors)
{
    server.scriptEvery(Reply::closed());
    EXPECT_TRUE(awaitError<HttpTransportError>(transport.send(post())));
    server.scriptEvery(std::nullopt);

    server.script(Reply::silent());
    QElapsedTimer timer;
    timer.start();
    EXPECT_TRUE(awaitError<HttpTransportError>(transport.send(post())));
    EXPECT_LT(timer.elapsed(), 5000 * buildSlowdown) << "bounded by the transfer timeout";

    server.script(Reply::json(200, QByteArray(512 * 1024, 'x')));
    const auto huge = awaitError<HttpTransportError>(transport.send(post()));
    ASSERT_TRUE(huge);
    EXPECT_STREQ(huge->what(), "The server's answer is too large");

    server.scriptEvery(Reply::rawBytes("SSH-2.0-OpenSSH\r\n"));
    EXPECT_TRUE(awaitError<HttpTransportError>(transport.send(post())));
}

TEST_F(NetworkHttpTransportTest, AConnectionClosedWithoutAnAnswerIsNeverSentAgain)
{
    HttpRequest user;
    user.url = server.origin();
    user.url.setPath(QStringLiteral("/auth/v1/user"));
    user.headers = {{"apikey", LocalAuthServer::apiKey}, {"Authorization", "Bearer secret"}};
    for (const HttpRequest &request : {post(R"({"password":"secret"})"), user}) {
        server.requests.clear();
        server.scriptEvery(Reply::closed());
        const auto closed = awaitError<HttpTransportError>(transport.send(request));
        ASSERT_TRUE(closed);
        EXPECT_STREQ(closed->what(), "The server closed the connection without answering.");
        // A late resend would still reach the server after the error.
        QTest::qWait(200);
        ASSERT_EQ(server.requests.size(), 1) << request.method.toStdString();
        EXPECT_EQ(server.requests[0].body, request.body);
    }
    server.scriptEvery(std::nullopt);
    server.requests.clear();
    EXPECT_TRUE(send(user).isHttp) << "the next request goes out as usual";
    EXPECT_EQ(server.requests.size(), 1);
}

TEST_F(NetworkHttpTransportTest, AnAnswerDrippingInPastTheBoundIsGivenUp)
{
    server.script(Reply::dripping(100 * buildSlowdown, QByteArray(60, 'x')));
    const auto late = awaitError<HttpTransportError>(transport.send(post()));
    ASSERT_TRUE(late);
    EXPECT_STREQ(late->what(), "The server did not answer in time.");
    EXPECT_LT(server.drippedBytes, 40) << "given up at the bound, not when the answer ended";

    server.script(Reply::silent());
    const auto silent = awaitError<HttpTransportError>(transport.send(post()));
    ASSERT_TRUE(silent);
    EXPECT_STREQ(silent->what(), "The server did not answer in time.");
}

TEST_F(NetworkHttpTransportTest, TheProgramsTransportGivesAnExchangeOneMinute)
{
    // The transport as the program makes it, its bound seen through a deadline of the test's.
    std::optional<std::chrono::milliseconds> bound;
    std::function<void()> expire;
    QPointer<QObject> held;
    NetworkHttpTransport program(
        NetworkHttpTransport::defaultTimeout, NetworkHttpTransport::defaultMaximumBodySize,
        [&](std::chrono::milliseconds timeout, std::function<void()> onExpiry) {
            auto hold = std::make_unique<QObject>();
            bound = timeout;
            expire = std::move(onExpiry);
            held = hold.get();
            return hold;
        });
    // Ten seconds for the whole answer: without a bound the request ends, but not in time.
    server.script(Reply::dripping(50, QByteArray(200, 'x')));
    QTimer minuteOver;
    QObject::connect(&minuteOver, &QTimer::timeout, [&] {
        if (held && server.drippedBytes > 0) {
            minuteOver.stop();
            expire();
        }
    });
    minuteOver.start(10);
    const auto late = awaitError<HttpTransportError>(program.send(post()));
    ASSERT_TRUE(bound);
    EXPECT_EQ(*bound, std::chrono::seconds(60));
    ASSERT_TRUE(late);
    EXPECT_STREQ(late->what(), "The server did not answer in time.");
    EXPECT_FALSE(held) << "an exchange lets go of its bound when it ends";
}

TEST_F(NetworkHttpTransportTest, PlainHttpOnlyToLoopback)
{
    EXPECT_TRUE(NetworkHttpTransport::isAllowedUrl(QUrl("https://project.supabase.co/auth")));
    EXPECT_TRUE(NetworkHttpTransport::isAllowedUrl(QUrl("http://127.0.0.1:8080/x")));
    EXPECT_TRUE(NetworkHttpTransport::isAllowedUrl(QUrl("http://127.9.0.1/x")));
    EXPECT_TRUE(NetworkHttpTransport::isAllowedUrl(QUrl("http://[::1]:9/x")));
    EXPECT_TRUE(NetworkHttpTransport::isAllowedUrl(QUrl("http://localhost/x")));
    for (const char *refused :
         {"http://project.supabase.co/auth", "http://10.0.0.1/", "ftp://127.0.0.1/",
          "http://127.0.0.1.evil.example/", "file:///etc/passwd", "https://", ""})
        EXPECT_FALSE(NetworkHttpTransport::isAllowedUrl(QUrl(refused))) << refused;

    HttpRequest request = post();
    request.url = QUrl(QStringLiteral("http://192.0.2.1/auth/v1/token"));
    EXPECT_TRUE(awaitError<HttpTransportError>(transport.send(request)));
    EXPECT_TRUE(server.requests.isEmpty());
}

} // namespace
