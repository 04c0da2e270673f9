#include "support/LocalAuthServer.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reason(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 302:
        return "Found";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    default:
        return "Status";
    }
}

} // namespace

QJsonObject LocalAuthServer::Request::json() const
{
    return QJsonDocument::fromJson(body).object();
}

LocalAuthServer::Reply LocalAuthServer::Reply::json(int status, const QByteArray &body)
{
    return {Kind::answer, status, body, {{"Content-Type", "application/json"}}};
}

LocalAuthServer::LocalAuthServer(QObject *parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->listen(QHostAddress::LocalHost, 0);
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = m_server->nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { serve(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                m_buffers.remove(socket);
                socket->deleteLater();
            });
        }
    });
}

LocalAuthServer::~LocalAuthServer() = default;

QUrl LocalAuthServer::origin() const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(m_server->serverPort()));
}

void LocalAuthServer::serve(QTcpSocket *socket)
{
    QByteArray &buffer = m_buffers[socket];
    buffer += socket->readAll();
    const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        return;
    const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    request.method = requestLine.value(0);
    const QUrl target(QString::fromLatin1(requestLine.value(1)));
    request.path = target.path();
    request.query = QUrlQuery(target);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (buffer.size() < headerEnd + 4 + length)
        return;
    request.body = buffer.mid(headerEnd + 4, length);
    buffer.remove(0, headerEnd + 4 + length);
    requests << request;

    const Reply reply = m_every                ? *m_every
                        : m_scripted.isEmpty() ? answer(request)
                                               : m_scripted.takeFirst();
    switch (reply.kind) {
    case Reply::Kind::never:
        return;
    case Reply::Kind::closeWithoutAnswer:
        socket->disconnectFromHost();
        return;
    case Reply::Kind::raw:
        socket->write(reply.body);
        socket->disconnectFromHost();
        return;
    case Reply::Kind::answer:
    case Reply::Kind::drip:
        break;
    }
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reason(reply.status) +
                     "\r\nContent-Length: " + QByteArray::number(reply.body.size()) +
                     "\r\nConnection: close\r\n";
    for (const auto &[name, value] : reply.headers)
        out += name + ": " + value + "\r\n";
    out += "\r\n";
    if (reply.kind == Reply::Kind::drip) {
        socket->write(out);
        drip(socket, reply.body, reply.interval);
        return;
    }
    out += reply.body;
    socket->write(out);
    socket->disconnectFromHost();
}

void LocalAuthServer::drip(QTcpSocket *socket, QByteArray bytes, int interval)
{
    QPointer<QTcpSocket> alive(socket);
    QTimer::singleShot(interval, this, [this, alive, bytes, interval] {
        if (!alive || alive->state() != QAbstractSocket::ConnectedState)
            return;
        alive->write(bytes.left(1));
        ++drippedBytes;
        if (bytes.size() > 1)
            drip(alive, bytes.mid(1), interval);
        else
            alive->disconnectFromHost();
    });
}

LocalAuthServer::Reply LocalAuthServer::sessionAnswer()
{
    ++m_issued;
    lastAccessToken = QStringLiteral("access-%1").arg(m_issued);
    lastRefreshToken = QStringLiteral("refresh-%1").arg(m_issued);
    m_accessTokens << lastAccessToken;
    m_refreshTokens << lastRefreshToken;
    QJsonObject user{{QStringLiteral("id"), QString::fromLatin1(userId)}};
    if (!userEmail.isEmpty())
        user.insert(QStringLiteral("email"), userEmail);
    QJsonObject body{{QStringLiteral("access_token"), lastAccessToken},
                     {QStringLiteral("token_type"), QStringLiteral("bearer")},
                     {QStringLiteral("expires_in"), 3600},
                     {QStringLiteral("user"), user}};
    if (issuesRefreshToken)
        body.insert(QStringLiteral("refresh_token"), lastRefreshToken);
    return Reply::json(200, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

LocalAuthServer::Reply LocalAuthServer::answer(const Request &request)
{
    if (request.path == QLatin1String("/auth/v1/authorize") && request.method == "GET") {
        if (request.query.queryItemValue(QStringLiteral("provider")) != QLatin1String("google"))
            return Reply::json(400, R"({"msg":"Unsupported provider"})");
        // The browser sends no API key. The provider's own pages are skipped: the browser comes
        // straight back with a code or a session.
        const QString challenge = request.query.queryItemValue(QStringLiteral("code_challenge"));
        const QByteArray redirect =
            request.query.queryItemValue(QStringLiteral("redirect_to"), QUrl::FullyDecoded)
                .toUtf8();
        if (!challenge.isEmpty() && !implicitFlow) {
            const QString code = QStringLiteral("code-%1").arg(m_codeChallenges.size() + 1);
            m_codeChallenges.insert(code, challenge);
            return {
                Reply::Kind::answer, 302, {}, {{"Location", redirect + "?code=" + code.toUtf8()}}};
        }
        sessionAnswer();
        const QByteArray location =
            request.query.queryItemValue(QStringLiteral("redirect_to"), QUrl::FullyDecoded)
                .toUtf8() +
            "#access_token=" + lastAccessToken.toUtf8() +
            "&expires_in=3600&refresh_token=" + lastRefreshToken.toUtf8() + "&token_type=bearer";
        Reply reply{Reply::Kind::answer, 302, {}, {{"Location", location}}};
        return reply;
    }
    if (request.headers.value("apikey") != apiKey)
        return Reply::json(401, R"({"message":"Invalid API key"})");

    if (request.path == QLatin1String("/auth/v1/token") && request.method == "POST") {
        if (request.headers.value("content-type") != "application/json")
            return Reply::json(400, R"({"msg":"Content-Type must be application/json"})");
        const QJsonObject body = request.json();
        const QString grant = request.query.queryItemValue(QStringLiteral("grant_type"));
        if (grant == QLatin1String("password")) {
            if (body.value(QStringLiteral("email")).toString() != QLatin1String(email) ||
                body.value(QStringLiteral("password")).toString() != QLatin1String(password))
                return Reply::json(
                    400,
                    R"({"error":"invalid_grant","error_description":"Invalid login credentials"})");
            return sessionAnswer();
        }
        if (grant == QLatin1String("id_token")) {
            if (body.value(QStringLiteral("provider")).toString() != QLatin1String("apple") ||
                body.value(QStringLiteral("id_token")).toString().isEmpty())
                return Reply::json(400, R"({"error_description":"Bad ID token"})");
            return sessionAnswer();
        }
        if (grant == QLatin1String("pkce")) {
            const QByteArray verifier =
                body.value(QStringLiteral("code_verifier")).toString().toLatin1();
            const QString challenge = QString::fromLatin1(
                QCryptographicHash::hash(verifier, QCryptographicHash::Sha256)
                    .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
            const QString expected =
                m_codeChallenges.take(body.value(QStringLiteral("auth_code")).toString());
            if (expected.isEmpty() || expected != challenge)
                return Reply::json(
                    400, R"({"error_description":"code challenge does not match the verifier"})");
            return sessionAnswer();
        }
        if (grant == QLatin1String("refresh_token")) {
            const QString token = body.value(QStringLiteral("refresh_token")).toString();
            if (!m_refreshTokens.contains(token))
                return Reply::json(400, R"({"error_description":"Invalid Refresh Token"})");
            m_refreshTokens.removeAll(token);
            return sessionAnswer();
        }
        return Reply::json(400, R"({"msg":"unsupported_grant_type"})");
    }

    if (request.path == QLatin1String("/auth/v1/user") && request.method == "GET") {
        const QByteArray authorization = request.headers.value("authorization");
        const QString token = QString::fromUtf8(authorization.mid(7));
        if (!authorization.startsWith("Bearer ") || !m_accessTokens.contains(token))
            return Reply::json(401, R"({"code":401,"msg":"invalid JWT"})");
        QJsonObject user{{QStringLiteral("id"), QString::fromLatin1(userId)}};
        if (!userEmail.isEmpty())
            user.insert(QStringLiteral("email"), userEmail);
        return Reply::json(200, QJsonDocument(user).toJson(QJsonDocument::Compact));
    }

    return Reply::json(404, R"({"msg":"Not found"})");
}
