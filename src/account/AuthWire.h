#pragma once

#include "platform/HttpTransport.h"

#include <QString>
#include <QUrl>
#include <optional>

// The backend's authentication exchanges: the requests the auth service sends, the browser
// address of the Google sign-in, and how the callback and each answer are read. Plain
// functions; the readers throw AuthError, SignInRejectedError or DecodingError.
namespace authWire {

inline constexpr const char *callbackUrl = "corvanta://auth-callback";

struct BackendUser {
    QString id;
    std::optional<QString> email;
};

// The session's two tokens, as a refresh answer or a browser callback carries them.
struct Tokens {
    QString accessToken;
    std::optional<QString> refreshToken;
};
using RefreshAnswer = Tokens;
using CallbackTokens = Tokens;

struct SignInAnswer : Tokens {
    BackendUser user;
};

struct Backend {
    QUrl endpoint;
    QString anonKey;
};

platform::HttpRequest appleTokenRequest(const Backend &backend, const QString &identityToken);
platform::HttpRequest passwordTokenRequest(const Backend &backend, const QString &email,
                                           const QString &password);
platform::HttpRequest refreshRequest(const Backend &backend, const QString &refreshToken);
platform::HttpRequest userRequest(const Backend &backend, const QString &accessToken);
// The PKCE exchange: the code of a browser callback and the verifier of the sign-in it answers,
// for a session (the answer reads as a sign-in token answer).
platform::HttpRequest codeExchangeRequest(const Backend &backend, const QString &authCode,
                                          const QString &codeVerifier);
// "<origin>/auth/v1/authorize?provider=google&redirect_to=corvanta://auth-callback
// &code_challenge=<challenge>&code_challenge_method=s256".
QUrl authorizeUrl(const QUrl &endpoint, const QString &codeChallenge);

// What a browser callback carries, read one way only: the code of the PKCE flow, or the tokens
// of the implicit flow.
struct BrowserCallback {
    std::optional<QString> code;
    std::optional<CallbackTokens> tokens;
};

// A callback whose query names a code is read by that code alone: the query must be
// well-formed pairs with one non-empty code, whatever the fragment holds. Any other is read by
// its fragment: well-formed pairs with a non-empty "access_token". Nothing when the form it is
// read by is not whole.
std::optional<BrowserCallback> readCallback(const QUrl &callback);

// The tokens of a callback fragment (the text after "#", undecoded); nothing when the
// fragment is absent or holds no "access_token".
std::optional<CallbackTokens> parseCallbackFragment(const std::optional<QString> &fragment);

SignInAnswer readSignInAnswer(const platform::HttpResponse &response);
RefreshAnswer readRefreshAnswer(const platform::HttpResponse &response);
// Only a 2xx answer is a user: another status is the backend's refusal, whatever its body.
BackendUser readUserAnswer(const platform::HttpResponse &response);

} // namespace authWire
