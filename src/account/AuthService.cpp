#include "account/AuthService.h"

#include "account/AuthError.h"
#include "account/AuthWire.h"
#include "account/KeychainStore.h"
#include "account/Redaction.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "model/StartTask.h"
#include "platform/HttpTransport.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"

#include <QPointer>

using platform::AppleAuthorizationError;

namespace {

// A flow resumes after its object may have gone (the program quitting under a request).
void ensureAlive(const QPointer<AuthService> &self)
{
    if (!self)
        throw AuthError::unknown();
}

QUuid userUuid(const QString &backendId)
{
    return uuidText::parse(backendId).value_or(QUuid::createUuid());
}

QString beforeAt(const QString &email)
{
    const qsizetype at = email.indexOf(u'@');
    return at < 0 ? email : email.left(at);
}

void logAppleFailure(const char *description)
{
    qCCritical(Log::general, "Sign in with Apple failed: %s",
               qUtf8Printable(redaction::logText(QString::fromUtf8(description))));
}

} // namespace

QString formattedPersonName(const platform::PersonNameComponents &name)
{
    QStringList parts;
    for (const QString &part : {name.givenName, name.familyName})
        if (!part.isEmpty())
            parts << part;
    return parts.join(u' ');
}

AuthService::AuthService(SessionStore &sessionStore, SupabaseClient &supabaseClient,
                         Platform platform, QObject *parent)
    : QObject(parent), m_sessionStore(sessionStore), m_supabaseClient(supabaseClient),
      m_platform(std::move(platform)), m_browserSignIn(m_platform.clock)
{
    m_sessionStore.keychain().whenChanged(this, [this] { keychainChanged(); });
    startTask(restoreSession());
}

AuthService::~AuthService() = default;

void AuthService::setCurrentUser(std::optional<UserProfile> user)
{
    ++m_sessionGeneration;
    if (user == m_currentUser)
        return;
    m_currentUser = std::move(user);
    emit currentUserChanged();
}

void AuthService::setIsSigningIn(bool signingIn)
{
    if (signingIn == m_isSigningIn)
        return;
    m_isSigningIn = signingIn;
    emit isSigningInChanged();
}

void AuthService::setSessionNotice(std::optional<QString> notice)
{
    if (notice == m_sessionNotice)
        return;
    m_sessionNotice = std::move(notice);
    emit sessionNoticeChanged();
}

void AuthService::setErrorMessage(std::optional<QString> message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

void AuthService::ensureNotOvertaken(int round) const
{
    if (round != m_signInRound)
        throw SignInOvertakenError();
}

QCoro::Task<void> AuthService::completeSignIn(UserProfile profile, authWire::Tokens tokens,
                                              int round)
{
    QPointer<AuthService> self(this);
    bool kept = false;
    try {
        ensureNotOvertaken(round);
        round = ++m_signInRound;
        kept =
            co_await m_sessionStore.saveSession(profile, tokens.accessToken, tokens.refreshToken);
        ensureAlive(self);
        ensureNotOvertaken(round);
    } catch (const SignInOvertakenError &) {
        setIsSigningIn(false);
        throw;
    }
    if (kept) {
        m_sessionStore.setEndPending(false);
        m_waitingForKeychain = false;
        setSessionNotice(std::nullopt);
    } else {
        qCCritical(Log::general,
                   "The keyring did not keep the new session; it lasts only while Corvanta runs");
        setSessionNotice(QString::fromLatin1(sessionNotKeptNotice));
    }
    // A completed sign-in answers any browser sign-in still waiting: its callback would
    // replace this user.
    m_browserSignIn.cancel();
    setCurrentUser(profile);
    startProfileSync(profile);
}

authWire::Backend AuthService::backend() const
{
    return {m_supabaseClient.endpoint(), m_supabaseClient.anonKey()};
}

void AuthService::startProfileSync(const UserProfile &profile)
{
    startTask(m_supabaseClient.syncProfile(BackendProfilePayload::from(profile)));
}

QCoro::Task<UserProfile> AuthService::signInWithApple()
{
    QPointer<AuthService> self(this);
    const int round = m_signInRound;
    setIsSigningIn(true);
    setErrorMessage(std::nullopt);
    platform::AppleIdCredential credential;
    authWire::SignInAnswer answer;
    try {
        if (!m_platform.appleSignIn)
            throw AppleAuthorizationError(AppleAuthorizationError::notHandled,
                                          QStringLiteral("Sign in with Apple is not available "
                                                         "on this system."));
        credential = co_await m_platform.appleSignIn->requestAuthorization();
        ensureAlive(self);
        const std::optional<QString> identityToken =
            credential.identityToken ? decodeUtf8(*credential.identityToken) : std::nullopt;
        if (!identityToken)
            throw AuthError::invalidCredentials();
        const platform::HttpRequest request =
            authWire::appleTokenRequest(backend(), *identityToken);
        const platform::HttpResponse response = co_await m_platform.http->send(request);
        ensureAlive(self);
        try {
            answer = authWire::readSignInAnswer(response);
        } catch (const SignInRejectedError &rejected) {
            setErrorMessage(rejected.description());
            throw;
        }
    } catch (const AppleAuthorizationError &error) {
        if (self && error.code() == AppleAuthorizationError::canceled) {
            setIsSigningIn(false);
            throw AuthError::signInCancelled();
        }
        if (self) {
            logAppleFailure(error.what());
            setErrorMessage(QString::fromUtf8(error.what()));
            setIsSigningIn(false);
        }
        throw;
    } catch (const std::exception &error) {
        if (self) {
            logAppleFailure(error.what());
            setErrorMessage(QString::fromUtf8(error.what()));
            setIsSigningIn(false);
        }
        throw;
    }

    // The stored e-mail and name are the signed-in user's: only the same Apple user keeps them.
    const std::optional<UserProfile> previous =
        m_currentUser && m_currentUser->appleUserID == credential.user ? m_currentUser
                                                                       : std::nullopt;
    UserProfile profile;
    profile.id = userUuid(answer.user.id);
    profile.appleUserID = credential.user;
    if (credential.email)
        profile.email = credential.email;
    else if (answer.user.email)
        profile.email = answer.user.email;
    else if (previous)
        profile.email = previous->email;
    if (credential.fullName)
        profile.displayName = formattedPersonName(*credential.fullName);
    else if (previous)
        profile.displayName = previous->displayName;
    else
        profile.displayName = QStringLiteral("Corvanta User");
    profile.createdAt = QDateTime::currentDateTimeUtc();

    co_await completeSignIn(profile, answer, round);
    qCInfo(Log::general, "Signed in successfully with Apple ID: %s",
           qUtf8Printable(redaction::logText(redaction::identifier(profile.appleUserID))));
    setIsSigningIn(false);
    co_return profile;
}

QCoro::Task<UserProfile> AuthService::signInWithEmail(QString email, QString password)
{
    QPointer<AuthService> self(this);
    const int round = m_signInRound;
    setIsSigningIn(true);
    setErrorMessage(std::nullopt);
    const auto refuse = [this](const QString &message) {
        const SignInRejectedError refused(-1, message);
        setErrorMessage(refused.description());
        setIsSigningIn(false);
        return refused;
    };
    if (email.isEmpty() || password.isEmpty())
        throw refuse(QStringLiteral("Email and password are required."));
    // Line breaks, NUL or a direction override in an address are never the user's intent.
    if (redaction::hasControlCharacters(email))
        throw refuse(QStringLiteral("The email address contains characters that are not allowed."));
    authWire::SignInAnswer answer;
    try {
        const platform::HttpRequest request =
            authWire::passwordTokenRequest(backend(), email, password);
        const platform::HttpResponse response = co_await m_platform.http->send(request);
        ensureAlive(self);
        answer = authWire::readSignInAnswer(response);
    } catch (const SignInRejectedError &rejected) {
        if (self) {
            setErrorMessage(rejected.description());
            setIsSigningIn(false);
        }
        throw;
    } catch (...) {
        if (self)
            setIsSigningIn(false);
        throw;
    }

    UserProfile profile;
    profile.id = userUuid(answer.user.id);
    profile.appleUserID = QStringLiteral("email_") + uuidText::canonical(profile.id);
    profile.email = email;
    profile.displayName = beforeAt(email);
    profile.createdAt = QDateTime::currentDateTimeUtc();
    co_await completeSignIn(profile, answer, round);
    qCInfo(Log::general, "Signed in successfully with Email");
    setIsSigningIn(false);
    co_return profile;
}

QCoro::Task<void> AuthService::signInWithGoogle()
{
    const QUrl endpoint = m_supabaseClient.endpoint();
    if (!platform::isAllowedBackendUrl(endpoint)) {
        qCWarning(Log::general, "Refused to open the browser sign-in: the backend is neither "
                                "https nor on this computer");
        co_return;
    }
    const QString challenge = m_browserSignIn.start();
    const QUrl url = authWire::authorizeUrl(endpoint, challenge);
    if (!url.isValid()) {
        m_browserSignIn.cancel();
        co_return;
    }
    QPointer<AuthService> self(this);
    const std::shared_ptr<platform::UrlOpener> opener = m_platform.urlOpener;
    bool opened = false;
    // Made apart from the co_await: GCC 12 destroys a lambda made within it twice.
    const std::function<void()> failedLater = [self, challenge] {
        if (self && self->m_browserSignIn.cancel(challenge))
            emit self->browserSignInFailed(self->browserNotOpened().description());
    };
    if (opener)
        opened = co_await opener->openInBrowser(url, failedLater);
    if (opened || !self)
        co_return;
    // A sign-in started since, by a second press, keeps waiting for its own page.
    m_browserSignIn.cancel(challenge);
    throw browserNotOpened();
}

BrowserNotOpenedError AuthService::browserNotOpened()
{
    qCWarning(Log::general, "No web browser took the page of the browser sign-in");
    BrowserNotOpenedError failure;
    setErrorMessage(failure.description());
    return failure;
}

QCoro::Task<authWire::SignInAnswer>
AuthService::exchangeCallback(authWire::BrowserCallback callback, QString codeVerifier)
{
    const authWire::Backend backend = this->backend();
    if (callback.code) {
        const platform::HttpResponse response = co_await m_platform.http->send(
            authWire::codeExchangeRequest(backend, *callback.code, codeVerifier));
        co_return authWire::readSignInAnswer(response);
    }
    const platform::HttpResponse response = co_await m_platform.http->send(
        authWire::userRequest(backend, callback.tokens->accessToken));
    authWire::SignInAnswer answer;
    static_cast<authWire::Tokens &>(answer) = *callback.tokens;
    answer.user = authWire::readUserAnswer(response);
    co_return answer;
}

QCoro::Task<UserProfile> AuthService::handleAuthCallback(QUrl url)
{
    // Only the answer to the browser sign-in this run opened; anything else changes nothing.
    const std::optional<QString> verifier = m_browserSignIn.take();
    if (!verifier)
        throw CallbackRefusedError();
    const std::optional<authWire::BrowserCallback> callback = authWire::readCallback(url);
    if (!callback)
        throw AuthError::invalidCredentials();
    QPointer<AuthService> self(this);
    const int round = m_signInRound;
    setIsSigningIn(true);
    setErrorMessage(std::nullopt);
    authWire::SignInAnswer answer;
    try {
        answer = co_await exchangeCallback(*callback, *verifier);
        ensureAlive(self);
    } catch (...) {
        if (self)
            setIsSigningIn(false);
        throw;
    }

    UserProfile profile;
    profile.id = userUuid(answer.user.id);
    profile.appleUserID = QStringLiteral("google_") + uuidText::canonical(profile.id);
    profile.email = answer.user.email;
    profile.displayName =
        answer.user.email ? beforeAt(*answer.user.email) : QStringLiteral("Google User");
    profile.createdAt = QDateTime::currentDateTimeUtc();
    co_await completeSignIn(profile, answer, round);
    qCInfo(Log::general, "Signed in successfully with Google via Browser");
    setIsSigningIn(false);
    co_return profile;
}

QCoro::Task<bool> AuthService::endSession()
{
    QPointer<AuthService> self(this);
    m_browserSignIn.cancel();
    ++m_signInRound;
    const int changes = m_keychainChanges;
    const bool ended = co_await m_sessionStore.clearSession();
    ensureAlive(self);
    m_sessionStore.setEndPending(!ended);
    setCurrentUser(std::nullopt);
    if (ended) {
        setSessionNotice(std::nullopt);
    } else {
        qCCritical(Log::general, "The keyring did not remove the stored session; it will be "
                                 "removed once the keyring can be reached");
        setSessionNotice(QString::fromLatin1(signOutUnfinishedNotice));
        waitForKeychain(changes);
    }
    co_return ended;
}

QCoro::Task<void> AuthService::signOut()
{
    if (co_await endSession())
        qCInfo(Log::general, "User signed out");
}

QCoro::Task<void> AuthService::deleteAccount()
{
    if (!m_currentUser)
        throw AuthError::notSignedIn();
    QPointer<AuthService> self(this);
    try {
        co_await m_supabaseClient.deleteAccount(m_currentUser->id);
    } catch (...) {
    }
    ensureAlive(self);
    if (co_await endSession())
        qCInfo(Log::general, "User account successfully deleted");
}

QCoro::Task<void> AuthService::refreshSession()
{
    QPointer<AuthService> self(this);
    // The renewed tokens belong to the session this refresh started in; saved after a sign-out
    // or a later sign-in, they would outlive that session or mix into the new one.
    const int round = m_signInRound;
    const std::optional<QString> refreshToken = co_await m_sessionStore.loadRefreshToken();
    ensureAlive(self);
    if (!refreshToken)
        throw AuthError::invalidCredentials();
    const platform::HttpRequest request = authWire::refreshRequest(backend(), *refreshToken);
    const platform::HttpResponse response = co_await m_platform.http->send(request);
    ensureAlive(self);
    const authWire::RefreshAnswer answer = authWire::readRefreshAnswer(response);
    ensureNotOvertaken(round);
    co_await m_sessionStore.saveAccessToken(answer.accessToken);
    ensureAlive(self);
    ensureNotOvertaken(round);
    if (answer.refreshToken)
        co_await m_sessionStore.saveRefreshToken(*answer.refreshToken);
}
