#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QUrlQuery>
#include <optional>

class QTcpServer;
class QTcpSocket;

// A stand-in for the account backend on 127.0.0.1 (an ephemeral port): the token (password,
// Apple id_token, refresh, and the PKCE code exchange), user and authorize endpoints. It checks the
// "apikey" header and the request bodies as the real backend would, keeps every request it
// received, and answers the next requests with scripted replies instead when a test queues them.
class LocalAuthServer final : public QObject {
public:
    static constexpr const char *apiKey = "sb_publishable_LocalTestServerKey0123456789ab";
    static constexpr const char *userId = "5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C";
    static constexpr const char *email = "jane.doe@example.com";
    static constexpr const char *password = "correct horse battery";

    struct Request {
        QByteArray method;
        QString path;
        QUrlQuery query;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QJsonObject json() const;
    };

    struct Reply {
        enum class Kind { answer, closeWithoutAnswer, never, raw, drip };
        Kind kind = Kind::answer;
        int status = 200;
        QByteArray body;
        QList<std::pair<QByteArray, QByteArray>> headers;

        static Reply json(int status, const QByteArray &body);
        static Reply make(Kind kind, int status = 0, const QByteArray &body = {})
        {
            Reply reply;
            reply.kind = kind;
            reply.status = status;
            reply.body = body;
            return reply;
        }
        static Reply closed() { return make(Kind::closeWithoutAnswer); }
        static Reply silent() { return make(Kind::never); }
        static Reply rawBytes(const QByteArray &bytes) { return make(Kind::raw, 0, bytes); }
        // An answer whose head comes at once and whose body follows one byte every `interval` ms.
        static Reply dripping(int interval, const QByteArray &body)
        {
            Reply reply = json(200, body);
            reply.kind = Kind::drip;
            reply.status = 200;
            reply.interval = interval;
            return reply;
        }
        int interval = 0;
    };

    explicit LocalAuthServer(QObject *parent = nullptr);
    ~LocalAuthServer() override;

    QUrl origin() const;
    // Answers the next request with `reply`, whatever it asks (in queue order).
    void script(Reply reply) { m_scripted << reply; }
    // Answers every later request with `reply` (Qt sends a request again after some failures).
    void scriptEvery(std::optional<Reply> reply) { m_every = std::move(reply); }

    QList<Request> requests;
    // Bytes of dripping answers written so far.
    int drippedBytes = 0;
    // The tokens the server issues; each sign-in and refresh issues a new pair.
    QString lastAccessToken;
    QString lastRefreshToken;
    // When false, sign-ins answer without "refresh_token".
    bool issuesRefreshToken = true;
    // When true, the authorize page sends the browser back with tokens in the fragment (the
    // implicit flow) even when a code challenge came with it; else with a one-time code.
    bool implicitFlow = false;
    // The "email" of the user answer and of the token answers; empty: none sent.
    QString userEmail = QString::fromLatin1(email);

private:
    void serve(QTcpSocket *socket);
    Reply answer(const Request &request);
    Reply sessionAnswer();

    void drip(QTcpSocket *socket, QByteArray bytes, int interval);

    QTcpServer *m_server;
    QList<Reply> m_scripted;
    std::optional<Reply> m_every;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QStringList m_accessTokens;
    QStringList m_refreshTokens;
    QHash<QString, QString> m_codeChallenges;
    int m_issued = 0;
};
