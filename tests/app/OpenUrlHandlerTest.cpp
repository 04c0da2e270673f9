#include "app/OpenUrlHandler.h"
#include "support/FakeBrowserSignIn.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

using Verdict = OpenUrlHandler::Verdict;

TEST(OpenUrlHandler, SchemeAndHostAreCheckedOnTheRawText)
{
    const QList<std::pair<QString, Verdict>> cases{
        {"corvanta://auth-callback#access_token=x&refresh_token=y", Verdict::signInCallback},
        {"corvanta://auth-callback/?state=1#access_token=x", Verdict::signInCallback},
        {"corvanta://auth-callback?code=c-1", Verdict::signInCallback},
        {"corvanta://auth-callback?error=access_denied", Verdict::malformedFragment},
        {"corvanta://auth-callback?code=c-1&&x=2", Verdict::malformedFragment},
        // A query that names a code is read by its code alone, as the account reads it.
        {"corvanta://auth-callback?code=c-1#access_token=x", Verdict::signInCallback},
        {"corvanta://auth-callback?x&code=c-1#access_token=x", Verdict::malformedFragment},
        {"corvanta://auth-callback?code=#access_token=x", Verdict::malformedFragment},
        {"corvanta://auth-callback?code=c-1&code=c-2", Verdict::malformedFragment},
        {"corvanta://auth-callback#access_token=&refresh_token=y", Verdict::malformedFragment},
        {"CORVANTA://auth-callback#access_token=x", Verdict::otherScheme},
        {"Corvanta://auth-callback#access_token=x", Verdict::otherScheme},
        {"https://auth-callback#access_token=x", Verdict::otherScheme},
        {"corvanta://AUTH-CALLBACK#access_token=x", Verdict::otherHost},
        {"corvanta://auth-callback.example.com#access_token=x", Verdict::otherHost},
        {"corvanta://auth-callback@evil.example#access_token=x", Verdict::otherHost},
        {"corvanta://auth-callback:80#access_token=x", Verdict::otherHost},
        {"corvanta://settings", Verdict::otherHost},
        {"corvanta:auth-callback#access_token=x", Verdict::otherHost},
        {"corvanta://auth-callback", Verdict::malformedFragment},
        {"corvanta://auth-callback#", Verdict::malformedFragment},
        {"corvanta://auth-callback#access_token", Verdict::malformedFragment},
        {"corvanta://auth-callback#=x", Verdict::malformedFragment},
        {"corvanta://auth-callback#a=1&&b=2", Verdict::malformedFragment},
        {"corvanta://auth-callback#access_token=%zz", Verdict::malformedUrl},
        {"--verbose", Verdict::notAUrl},
        {"/home/user/picture.png", Verdict::notAUrl},
        {"", Verdict::notAUrl},
    };
    for (const auto &[text, verdict] : cases)
        EXPECT_EQ(OpenUrlHandler::classify(text), verdict) << text.toStdString();
}

TEST(OpenUrlHandler, OnlyCallbacksReachTheSignInAndNothingLogsTheTokens)
{
    LogCapture log;
    auto signIn = std::make_shared<FakeBrowserSignIn>();
    OpenUrlHandler handler(signIn);
    EXPECT_TRUE(handler.open("corvanta://auth-callback#access_token=secret1"));
    EXPECT_FALSE(handler.open("corvanta://elsewhere#access_token=secret2"));
    EXPECT_FALSE(handler.open("corvanta://auth-callback#secret3"));
    EXPECT_FALSE(handler.open("secret4"));
    ASSERT_EQ(signIn->received.size(), 1);
    EXPECT_EQ(signIn->received[0].fragment(), "access_token=secret1");
    EXPECT_EQ(log.messages("general").size(), 3) << "each ignored argument is logged";
    EXPECT_TRUE(log.lines().filter("secret").isEmpty());

    OpenUrlHandler withoutAccount(nullptr);
    EXPECT_TRUE(withoutAccount.open("corvanta://auth-callback#access_token=secret5"));
    EXPECT_EQ(log.messages("general").last(),
              "Browser sign-in is not available; the sign-in callback is ignored");
    EXPECT_TRUE(log.lines().filter("secret").isEmpty());
}

} // namespace
