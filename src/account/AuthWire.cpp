#include "account/AuthWire.h"

#include "account/AuthError.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>
#include <algorithm>

namespace authWire {

namespace {

QUrl address(const QUrl &endpoint, const char *path)
{
    QUrl url = endpoint;
    QString joined = url.path();
    if (!joined.endsWith(u'/'))
        joined += u'/';
    url.setPath(joined + QLatin1String(path));
    return url;
}

platform::HttpRequest tokenRequest(const Backend &backend, const char *grantType,
                                   const QJsonObject &body)
{
    platform::HttpRequest request;
    request.method = "POST";
    request.url = address(backend.endpoint, "auth/v1/token");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("grant_type"), QString::fromLatin1(grantType));
    request.url.setQuery(query);
    request.headers = {{"apikey", backend.anonKey.toUtf8()}, {"Content-Type", "application/json"}};
    request.body = QJsonDocument(body).toJson(QJsonDocument::Compact);
    return request;
}

QJsonObject decodeObject(const QByteArray &body)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError)
        throw DecodingError(QStringLiteral("The data couldn't be read because it isn't in the "
                                           "correct format."));
    if (!document.isObject())
        throw DecodingError(QStringLiteral("The data couldn't be read because it isn't an "
                                           "object."));
    return document.object();
}

QString requiredString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        throw DecodingError(QStringLiteral("The data couldn't be read because \"%1\" is missing.")
                                .arg(QLatin1String(key)));
    if (!value.isString())
        throw DecodingError(
            QStringLiteral("The data couldn't be read because \"%1\" is not a string.")
                .arg(QLatin1String(key)));
    return value.toString();
}

std::optional<QString> optionalString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        throw DecodingError(
            QStringLiteral("The data couldn't be read because \"%1\" is not a string.")
                .arg(QLatin1String(key)));
    return value.toString();
}

BackendUser decodeUser(const QJsonObject &object)
{
    return {requiredString(object, "id"), optionalString(object, "email")};
}

// The backend's refusal of a sign-in, its message taken from the body when there is one.
SignInRejectedError rejection(const platform::HttpResponse &response)
{
    QString message = QStringLiteral("Invalid credentials");
    const QJsonObject object = QJsonDocument::fromJson(response.body).object();
    const QJsonValue description = object.value(QLatin1String("error_description"));
    const QJsonValue msg = object.value(QLatin1String("msg"));
    if (description.isString())
        message = description.toString();
    else if (msg.isString())
        message = msg.toString();
    return SignInRejectedError(response.status, message);
}

} // namespace

platform::HttpRequest appleTokenRequest(const Backend &backend, const QString &identityToken)
{
    return tokenRequest(backend, "id_token",
                        {{QStringLiteral("provider"), QStringLiteral("apple")},
                         {QStringLiteral("id_token"), identityToken}});
}

platform::HttpRequest passwordTokenRequest(const Backend &backend, const QString &email,
                                           const QString &password)
{
    return tokenRequest(backend, "password",
                        {{QStringLiteral("email"), email}, {QStringLiteral("password"), password}});
}

platform::HttpRequest refreshRequest(const Backend &backend, const QString &refreshToken)
{
    return tokenRequest(backend, "refresh_token",
                        {{QStringLiteral("refresh_token"), refreshToken}});
}

platform::HttpRequest userRequest(const Backend &backend, const QString &accessToken)
{
    platform::HttpRequest request;
    request.method = "GET";
    request.url = address(backend.endpoint, "auth/v1/user");
    request.headers = {{"apikey", backend.anonKey.toUtf8()},
                       {"Authorization", "Bearer " + accessToken.toUtf8()}};
    return request;
}

platform::HttpRequest codeExchangeRequest(const Backend &backend, const QString &authCode,
                                          const QString &codeVerifier)
{
    return tokenRequest(
        backend, "pkce",
        {{QStringLiteral("auth_code"), authCode}, {QStringLiteral("code_verifier"), codeVerifier}});
}

QUrl authorizeUrl(const QUrl &endpoint, const QString &codeChallenge)
{
    QUrl url = address(endpoint, "auth/v1/authorize");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("provider"), QStringLiteral("google"));
    query.addQueryItem(QStringLiteral("redirect_to"), QString::fromLatin1(callbackUrl));
    query.addQueryItem(QStringLiteral("code_challenge"), codeChallenge);
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("s256"));
    url.setQuery(query);
    return url;
}

namespace {

// "key=value" pairs joined by "&", every key non-empty.
bool isWellFormedPairs(const QString &pairText)
{
    if (pairText.isEmpty())
        return false;
    const QStringList pairs = pairText.split(u'&');
    return std::all_of(pairs.cbegin(), pairs.cend(),
                       [](const QString &pair) { return pair.indexOf(u'=') > 0; });
}

// How many pieces of the query are named "code", with a value or without.
qsizetype codeItems(const QString &query)
{
    const QStringList pieces = query.split(u'&');
    return std::count_if(pieces.cbegin(), pieces.cend(), [](const QString &piece) {
        return piece == QLatin1String("code") || piece.startsWith(QLatin1String("code="));
    });
}

} // namespace

std::optional<BrowserCallback> readCallback(const QUrl &callback)
{
    const QString query = callback.hasQuery() ? callback.query(QUrl::FullyEncoded) : QString();
    if (const qsizetype codes = codeItems(query); codes > 0) {
        if (codes > 1 || !isWellFormedPairs(query))
            return std::nullopt;
        const QString code =
            QUrlQuery(callback).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        if (code.isEmpty())
            return std::nullopt;
        return BrowserCallback{code, std::nullopt};
    }
    if (!callback.hasFragment())
        return std::nullopt;
    const QString fragment = callback.fragment(QUrl::FullyEncoded);
    if (!isWellFormedPairs(fragment))
        return std::nullopt;
    const std::optional<CallbackTokens> tokens = parseCallbackFragment(fragment);
    if (!tokens || tokens->accessToken.isEmpty())
        return std::nullopt;
    return BrowserCallback{std::nullopt, tokens};
}

std::optional<CallbackTokens> parseCallbackFragment(const std::optional<QString> &fragment)
{
    if (!fragment)
        return std::nullopt;
    std::optional<QString> access;
    std::optional<QString> refresh;
    for (QStringView piece : QStringView(*fragment).split(u'&')) {
        const qsizetype equals = piece.indexOf(u'=');
        if (equals < 0 || piece.indexOf(u'=', equals + 1) >= 0)
            continue;
        const QStringView name = piece.left(equals);
        const QStringView value = piece.mid(equals + 1);
        if (name == u"access_token")
            access = value.toString();
        else if (name == u"refresh_token")
            refresh = value.toString();
    }
    if (!access)
        return std::nullopt;
    return CallbackTokens{*access, refresh};
}

SignInAnswer readSignInAnswer(const platform::HttpResponse &response)
{
    if (!response.isHttp)
        throw AuthError::networkError(QStringLiteral("Invalid server response"));
    if (response.status != 200)
        throw rejection(response);
    const QJsonObject object = decodeObject(response.body);
    SignInAnswer answer;
    answer.accessToken = requiredString(object, "access_token");
    answer.refreshToken = optionalString(object, "refresh_token");
    const QJsonValue user = object.value(QLatin1String("user"));
    if (!user.isObject())
        throw DecodingError(
            QStringLiteral("The data couldn't be read because \"user\" is missing."));
    answer.user = decodeUser(user.toObject());
    return answer;
}

RefreshAnswer readRefreshAnswer(const platform::HttpResponse &response)
{
    if (!response.isHttp)
        throw AuthError::networkError(QStringLiteral("Refresh failed"));
    if (response.status == 200) {
        try {
            const QJsonObject object = decodeObject(response.body);
            return {requiredString(object, "access_token"),
                    optionalString(object, "refresh_token")};
        } catch (const DecodingError &) {
            throw AuthError::networkError(QStringLiteral("Invalid refresh response"));
        }
    }
    if (response.status >= 400 && response.status <= 499)
        throw AuthError::invalidCredentials();
    throw AuthError::networkError(QStringLiteral("Refresh failed"));
}

BackendUser readUserAnswer(const platform::HttpResponse &response)
{
    if (!response.isHttp)
        throw AuthError::networkError(QStringLiteral("Invalid server response"));
    if (response.status < 200 || response.status > 299)
        throw rejection(response);
    return decodeUser(decodeObject(response.body));
}

} // namespace authWire
