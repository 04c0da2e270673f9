#pragma once

#include <QString>
#include <QUrl>
#include <memory>

// Completes a sign-in started in the browser from its callback URL (a code in the query, or
// tokens in the fragment).
// The account code implements it.
class BrowserSignIn {
public:
    virtual ~BrowserSignIn() = default;
    virtual void handleBrowserCallback(const QUrl &url) = 0;
};

// Until there is an account to sign in to: says so, and drops the callback.
class UnavailableBrowserSignIn final : public BrowserSignIn {
public:
    void handleBrowserCallback(const QUrl &url) override;
};

// The program's URL callbacks ("corvanta://auth-callback?code=…" or
// "corvanta://auth-callback#access_token=…", read as the account reads them), as they arrive on
// the command line of this or a later start. The scheme and host are checked on the text as it
// was given, case-sensitively: QUrl would lower-case them. Anything else is logged (never with
// the URL, which may carry tokens) and ignored.
class OpenUrlHandler {
public:
    enum class Verdict {
        signInCallback,
        notAUrl,
        otherScheme,
        otherHost,
        malformedUrl,
        malformedFragment,
    };

    explicit OpenUrlHandler(std::shared_ptr<BrowserSignIn> signIn);

    static Verdict classify(const QString &argument);

    // Hands a sign-in callback to the account code; answers whether it was one.
    bool open(const QString &argument);

private:
    std::shared_ptr<BrowserSignIn> m_signIn;
};
