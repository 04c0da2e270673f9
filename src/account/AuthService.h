#pragma once

#include "account/AuthWire.h"
#include "account/PendingBrowserSignIn.h"
#include "account/UserProfile.h"
#include "platform/AppleSignInSheet.h"

#include <QObject>
#include <QUrl>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class BrowserNotOpenedError;
class SessionStore;
class SupabaseClient;

namespace platform {
class HttpTransport;
class UrlOpener;
} // namespace platform

// The one owner of the account state: signs in with Apple, e-mail and password, or Google in
// the browser; keeps the session through the session store; signs out, deletes the account
// locally and renews the tokens on request. On construction it restores the stored profile
// (asynchronously: sessionRestored() tells when) and checks an Apple user's credential. A
// browser callback is taken only as the answer to a browser sign-in this run started and still
// waits for: any completed sign-in or sign-out ends that wait. A sign-in or token refresh
// overtaken by another kept sign-in or by a sign-out keeps nothing and ends with
// SignInOvertakenError. The keychain changes only when a sign-in has succeeded; when it cannot
// keep a session, read the stored one (locked) or finish a sign-out, sessionNotice() says so for
// the account page, and the restore or the sign-out is done once the keychain announces a change.
// Operations throw AuthError, SignInRejectedError, SignInOvertakenError, DecodingError,
// BrowserNotOpenedError or the platform's errors. Main thread only.
class AuthService final : public QObject {
    Q_OBJECT

public:
    struct Platform {
        std::shared_ptr<platform::HttpTransport> http;
        std::shared_ptr<platform::AppleSignInSheet> appleSignIn;
        std::shared_ptr<platform::UrlOpener> urlOpener;
        // The clock of the browser sign-in's time limit; the steady clock when empty.
        PendingBrowserSignIn::Clock clock = {};
    };

    static constexpr const char *sessionNotKeptNotice =
        "The keyring is locked or unavailable, so this session will not be kept: you will be "
        "signed out when Corvanta quits.";
    static constexpr const char *signOutUnfinishedNotice =
        "The keyring did not remove the stored session. Corvanta will finish signing out once "
        "the keyring is unlocked, or when it next starts.";
    static constexpr const char *storedSessionLockedNotice =
        "The keyring is locked, so the stored session cannot be read. You will be signed in as "
        "soon as the keyring is unlocked.";

    AuthService(SessionStore &sessionStore, SupabaseClient &supabaseClient, Platform platform,
                QObject *parent = nullptr);
    ~AuthService() override;

    const std::optional<UserProfile> &currentUser() const { return m_currentUser; }
    void setCurrentUser(std::optional<UserProfile> user);
    bool isSigningIn() const { return m_isSigningIn; }
    void setIsSigningIn(bool signingIn);
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    void setErrorMessage(std::optional<QString> message);
    bool isSignedIn() const { return m_currentUser.has_value(); }
    // What the account page must tell about the stored session (not kept, or not yet removed);
    // nothing while the keychain holds the session as it should.
    const std::optional<QString> &sessionNotice() const { return m_sessionNotice; }
    // Whether a browser sign-in started here still waits for its callback.
    bool isBrowserSignInPending() const { return m_browserSignIn.isPending(); }
    // Whether the start-up read of the stored session has finished.
    bool isRestored() const { return m_restored; }

    SessionStore &sessionStore() const { return m_sessionStore; }
    SupabaseClient &supabaseClient() const { return m_supabaseClient; }

    QCoro::Task<UserProfile> signInWithApple();
    QCoro::Task<UserProfile> signInWithEmail(QString email, QString password);
    // Opens the browser sign-in; the session arrives later through handleAuthCallback(). A
    // backend that is neither https nor on this computer is never opened. Ends once a browser
    // took the page; throws BrowserNotOpenedError when none could be started. When the browser
    // fails later, while the sign-in still waits, the sign-in ends and browserSignInFailed()
    // says so with that error's description.
    QCoro::Task<void> signInWithGoogle();
    QCoro::Task<UserProfile> handleAuthCallback(QUrl url);
    QCoro::Task<void> signOut();
    QCoro::Task<void> deleteAccount();
    QCoro::Task<void> refreshSession();

signals:
    void currentUserChanged();
    void isSigningInChanged();
    void errorMessageChanged();
    void sessionRestored();
    void sessionNoticeChanged();
    void browserSignInFailed(const QString &description);

private:
    // Reads the stored session (announcing the first read) and checks a restored one.
    QCoro::Task<void> restoreSession();
    // Finishes a sign-out the keychain did not finish, else restores the session stored at the
    // start; when the keychain cannot be reached, says so and tries again once it changes.
    QCoro::Task<std::optional<UserProfile>> readStoredSession();
    void waitForKeychain(int changesBefore);
    void keychainChanged();
    QCoro::Task<void> validateRestoredSession(UserProfile profile);
    // Keeps a new session (a session without a refresh token keeps none) and makes it current,
    // unless another sign-in was kept or a sign-out began since `round` (the sign-in's start).
    QCoro::Task<void> completeSignIn(UserProfile profile, authWire::Tokens tokens, int round);
    // Throws SignInOvertakenError when a sign-in was kept or a sign-out began since `round`.
    void ensureNotOvertaken(int round) const;
    // Logs and publishes that no browser took the page of the browser sign-in; answers the error.
    BrowserNotOpenedError browserNotOpened();
    QCoro::Task<authWire::SignInAnswer> exchangeCallback(authWire::BrowserCallback callback,
                                                         QString codeVerifier);
    // Ends the session in the keychain and here; answers whether the keychain finished it.
    QCoro::Task<bool> endSession();
    void setSessionNotice(std::optional<QString> notice);
    void startProfileSync(const UserProfile &profile);
    authWire::Backend backend() const;

    SessionStore &m_sessionStore;
    SupabaseClient &m_supabaseClient;
    Platform m_platform;
    std::optional<UserProfile> m_currentUser;
    bool m_isSigningIn = false;
    std::optional<QString> m_errorMessage;
    bool m_restored = false;
    std::optional<QString> m_sessionNotice;
    PendingBrowserSignIn m_browserSignIn;
    // Counts session changes, so that a slow start-up read never replaces a newer session.
    int m_sessionGeneration = 0;
    // Counts kept sign-ins and begun sign-outs, so that a slow sign-in answer never replaces
    // what the user did since asking for it.
    int m_signInRound = 0;
    // Whether a sign-out or the restore waits for the keychain to change, and how often the
    // keychain announced a change.
    bool m_waitingForKeychain = false;
    int m_keychainChanges = 0;
};

// The display name Apple's name parts give: the given and family names, in that order.
QString formattedPersonName(const platform::PersonNameComponents &name);
