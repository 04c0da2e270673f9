#include "account/AuthService.h"

#include "account/AuthError.h"
#include "account/AuthWire.h"
#include "account/Detached.h"
#include "account/KeychainStore.h"
#include "account/Redaction.h"
#include "account/SessionStore.h"
#include "account/SupabaseClient.h"
#include "platform/HttpTransport.h"
#include "platform/Log.h"
#include "platform/UrlOpener.h"

#include <QPointer>

using platform::AppleAuthorizationError;
using platform::AppleCredentialState;

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
      m_platform(std::move(platform))
{
    detached(restoreSession());
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

void AuthService::setErrorMessage(std::optional<QString> message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = std::move(message);
    emit errorMessageChanged();
}

QCoro::Task<void> AuthService::restoreSession()
{
    QPointer<AuthService> self(this);
    const int generation = m_sessionGeneration;
    std::optional<UserProfile> profile = co_await m_sessionStore.loadProfile();
    if (!self)
        co_return;
    m_restored = true;
    const bool replaced = generation != m_sessionGeneration;
    if (profile && !replaced)
        setCurrentUser(profile);
    emit sessionRestored();
    if (profile && !replaced)
        co_await validateRestoredSession(*profile);
}

QCoro::Task<void> AuthService::validateRestoredSession(UserProfile profile)
{
    if (profile.appleUserID.startsWith(QLatin1String("google_")) ||
        profile.appleUserID.startsWith(QLatin1String("email_")))
        co_return;
    if (!m_platform.appleSignIn)
        co_return;
    QPointer<AuthService> self(this);
    const AppleCredentialState state =
        co_await m_platform.appleSignIn->credentialState(profile.appleUserID);
    if (!self || m_currentUser != profile)
        co_return;
    if (state == AppleCredentialState::revoked || state == AppleCredentialState::notFound) {
        qCCritical(Log::general, "Apple ID credential revoked or not found; signing out locally");
        co_await signOut();
    }
}

QCoro::Task<void> AuthService::saveTokens(QString accessToken, std::optional<QString> refreshToken)
{
    co_await m_sessionStore.saveAccessToken(accessToken);
    if (refreshToken)
        co_await m_sessionStore.saveRefreshToken(*refreshToken);
    else
        co_await m_sessionStore.clearRefreshToken();
}

QCoro::Task<void> AuthService::completeSignIn(UserProfile profile)
{
    QPointer<AuthService> self(this);
    co_await m_sessionStore.saveProfile(profile);
    ensureAlive(self);
    setCurrentUser(profile);
    startProfileSync(profile);
}

authWire::Backend AuthService::backend() const
{
    return {m_supabaseClient.endpoint(), m_supabaseClient.anonKey()};
}

void AuthService::startProfileSync(const UserProfile &profile)
{
    detached(m_supabaseClient.syncProfile(BackendProfilePayload::from(profile)));
}

QCoro::Task<UserProfile> AuthService::signInWithApple()
{
    QPointer<AuthService> self(this);
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
            qCCritical(Log::general, "Sign in with Apple failed: %s", error.what());
            setErrorMessage(QString::fromUtf8(error.what()));
            setIsSigningIn(false);
        }
        throw;
    } catch (const std::exception &error) {
        if (self) {
            qCCritical(Log::general, "Sign in with Apple failed: %s", error.what());
            setErrorMessage(QString::fromUtf8(error.what()));
            setIsSigningIn(false);
        }
        throw;
    }

    co_await saveTokens(answer.accessToken, answer.refreshToken);
    ensureAlive(self);

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

    co_await completeSignIn(profile);
    qCInfo(Log::general, "Signed in successfully with Apple ID: %s",
           qUtf8Printable(redaction::identifier(profile.appleUserID)));
    setIsSigningIn(false);
    co_return profile;
}

QCoro::Task<UserProfile> AuthService::signInWithEmail(QString email, QString password)
{
    QPointer<AuthService> self(this);
    setIsSigningIn(true);
    setErrorMessage(std::nullopt);
    if (email.isEmpty() || password.isEmpty()) {
        const SignInRejectedError missing(-1, QStringLiteral("Email and password are required."));
        setErrorMessage(missing.description());
        setIsSigningIn(false);
        throw missing;
    }
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

    co_await saveTokens(answer.accessToken, answer.refreshToken);
    ensureAlive(self);
    UserProfile profile;
    profile.id = userUuid(answer.user.id);
    profile.appleUserID = QStringLiteral("email_") + uuidText::canonical(profile.id);
    profile.email = email;
    profile.displayName = beforeAt(email);
    profile.createdAt = QDateTime::currentDateTimeUtc();
    co_await completeSignIn(profile);
    qCInfo(Log::general, "Signed in successfully with Email");
    setIsSigningIn(false);
    co_return profile;
}

void AuthService::signInWithGoogle()
{
    const QUrl url = authWire::authorizeUrl(m_supabaseClient.endpoint());
    if (url.isValid() && m_platform.urlOpener)
        m_platform.urlOpener->openUrl(url);
}

QCoro::Task<UserProfile> AuthService::handleAuthCallback(QUrl url)
{
    QPointer<AuthService> self(this);
    setIsSigningIn(true);
    setErrorMessage(std::nullopt);
    const std::optional<authWire::CallbackTokens> tokens = authWire::parseCallbackFragment(
        url.hasFragment() ? std::optional(url.fragment(QUrl::FullyEncoded)) : std::nullopt);
    if (!tokens) {
        setIsSigningIn(false);
        throw AuthError::invalidCredentials();
    }
    authWire::BackendUser user;
    try {
        co_await saveTokens(tokens->accessToken, tokens->refreshToken);
        ensureAlive(self);
        const platform::HttpRequest request = authWire::userRequest(backend(), tokens->accessToken);
        const platform::HttpResponse response = co_await m_platform.http->send(request);
        ensureAlive(self);
        user = authWire::readUserAnswer(response);
    } catch (...) {
        if (self)
            setIsSigningIn(false);
        throw;
    }

    UserProfile profile;
    profile.id = userUuid(user.id);
    profile.appleUserID = QStringLiteral("google_") + uuidText::canonical(profile.id);
    profile.email = user.email;
    profile.displayName = user.email ? beforeAt(*user.email) : QStringLiteral("Google User");
    profile.createdAt = QDateTime::currentDateTimeUtc();
    co_await completeSignIn(profile);
    qCInfo(Log::general, "Signed in successfully with Google via Browser");
    setIsSigningIn(false);
    co_return profile;
}

QCoro::Task<void> AuthService::endSession()
{
    QPointer<AuthService> self(this);
    co_await m_sessionStore.clearSession();
    ensureAlive(self);
    setCurrentUser(std::nullopt);
}

QCoro::Task<void> AuthService::signOut()
{
    co_await endSession();
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
    co_await endSession();
    qCInfo(Log::general, "User account successfully deleted");
}

QCoro::Task<void> AuthService::refreshSession()
{
    QPointer<AuthService> self(this);
    const std::optional<QString> refreshToken = co_await m_sessionStore.loadRefreshToken();
    ensureAlive(self);
    if (!refreshToken)
        throw AuthError::invalidCredentials();
    const platform::HttpRequest request = authWire::refreshRequest(backend(), *refreshToken);
    const platform::HttpResponse response = co_await m_platform.http->send(request);
    ensureAlive(self);
    const authWire::RefreshAnswer answer = authWire::readRefreshAnswer(response);
    co_await m_sessionStore.saveAccessToken(answer.accessToken);
    if (answer.refreshToken)
        co_await m_sessionStore.saveRefreshToken(*answer.refreshToken);
}
