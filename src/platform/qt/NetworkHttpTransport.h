#pragma once

#include "platform/HttpTransport.h"

#include <QNetworkAccessManager>
#include <chrono>

namespace platform {

// HTTP through Qt's network access manager. Only https is sent, or plain http to a loopback
// address (a local stand-in for the backend); redirects come back as they are; the status is
// the reply's own HTTP status. A request whose whole exchange takes longer than the timeout, or
// whose answer grows past the size limit, is abandoned with HttpTransportError; a request is
// never sent twice.
class NetworkHttpTransport final : public HttpTransport {
public:
    static constexpr std::chrono::milliseconds defaultTimeout{60000};
    static constexpr qint64 defaultMaximumBodySize = 4 * 1024 * 1024;

    explicit NetworkHttpTransport(std::chrono::milliseconds timeout = defaultTimeout,
                                  qint64 maximumBodySize = defaultMaximumBodySize);

    QCoro::Task<HttpResponse> send(HttpRequest request) override;

    // Whether a request to this address may go out at all.
    static bool isAllowedUrl(const QUrl &url);

private:
    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_timeout;
    qint64 m_maximumBodySize;
};

} // namespace platform
