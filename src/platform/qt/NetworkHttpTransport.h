#pragma once

#include "platform/HttpTransport.h"

#include <QNetworkAccessManager>
#include <chrono>
#include <functional>
#include <memory>

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

    // Bounds one exchange: calls `expire` once `timeout` has passed, unless the returned object
    // (the exchange's hold on the bound) has been destroyed first. A timer by default; a test
    // hands in its own to see a bound of a minute hold without waiting a minute.
    using Deadline = std::function<std::unique_ptr<QObject>(std::chrono::milliseconds timeout,
                                                            std::function<void()> expire)>;

    explicit NetworkHttpTransport(std::chrono::milliseconds timeout = defaultTimeout,
                                  qint64 maximumBodySize = defaultMaximumBodySize,
                                  Deadline deadline = {});

    QCoro::Task<HttpResponse> send(HttpRequest request) override;

    // Whether a request to this address may go out at all.
    static bool isAllowedUrl(const QUrl &url);

private:
    QNetworkAccessManager m_manager;
    std::chrono::milliseconds m_timeout;
    qint64 m_maximumBodySize;
    Deadline m_deadline;
};

} // namespace platform
