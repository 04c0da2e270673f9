#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>
#include <stdexcept>
#include <utility>

namespace platform {

struct HttpRequest {
    QByteArray method = "GET";
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
};

struct HttpResponse {
    // False when the peer answered with something that is not HTTP.
    bool isHttp = true;
    int status = 0;
    QByteArray body;
};

// The request never got an answer: refused, closed, timed out, too large, or not allowed.
class HttpTransportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether a request may go to this address: https, or plain http only to this computer (a local
// stand-in for the backend). Also decides whether the browser may be sent there.
bool isAllowedBackendUrl(const QUrl &url);

// Sends one request and waits for its whole answer without blocking the event loop.
// Redirects are answers like any other (never followed). A request is sent once: it may carry a
// password or a token, so a connection lost before the answer is an error, never a resend.
// Throws HttpTransportError.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    virtual QCoro::Task<HttpResponse> send(HttpRequest request) = 0;
};

} // namespace platform
