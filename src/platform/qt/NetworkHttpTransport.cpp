#include "platform/qt/NetworkHttpTransport.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <memory>
#include <qcoro/qcoronetworkreply.h>

namespace platform {

namespace {

// A request body that can be read once and never rewound. Qt's HTTP layer sends a request
// again on a new connection when the old one closes before the answer, and it can only do
// that by rewinding the body: with this body it reports an error instead.
class OneShotBody final : public QIODevice {
public:
    OneShotBody(QByteArray bytes, QObject *parent) : QIODevice(parent), m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    bool reset() override { return false; }
    qint64 bytesAvailable() const override
    {
        return m_bytes.size() - m_read + QIODevice::bytesAvailable();
    }
    bool atEnd() const override { return m_read == m_bytes.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 count = qMin(maxSize, qint64(m_bytes.size() - m_read));
        std::memcpy(data, m_bytes.constData() + m_read, size_t(count));
        m_read += count;
        return count;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_read = 0;
};

} // namespace

NetworkHttpTransport::NetworkHttpTransport(std::chrono::milliseconds timeout,
                                           qint64 maximumBodySize, Deadline deadline)
    : m_timeout(timeout), m_maximumBodySize(maximumBodySize), m_deadline(std::move(deadline))
{
    if (!m_deadline) {
        m_deadline = [](std::chrono::milliseconds bound, std::function<void()> expire) {
            auto timer = std::make_unique<QTimer>();
            timer->setSingleShot(true);
            QObject::connect(timer.get(), &QTimer::timeout, std::move(expire));
            timer->start(bound);
            return std::unique_ptr<QObject>(std::move(timer));
        };
    }
    m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

bool NetworkHttpTransport::isAllowedUrl(const QUrl &url)
{
    return isAllowedBackendUrl(url);
}

QCoro::Task<HttpResponse> NetworkHttpTransport::send(HttpRequest request)
{
    if (!isAllowedUrl(request.url))
        throw HttpTransportError("Only https addresses, or http on this computer, are allowed");

    QNetworkRequest networkRequest(request.url);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
    networkRequest.setHeader(QNetworkRequest::ContentLengthHeader, request.body.size());
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);

    auto *body = new OneShotBody(request.body, nullptr);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        m_manager.sendCustomRequest(networkRequest, request.method, body),
        [](QNetworkReply *r) { r->deleteLater(); });
    QNetworkReply *raw = reply.get();
    body->setParent(raw);

    bool tooLarge = false;
    const qint64 limit = m_maximumBodySize;
    QObject::connect(raw, &QNetworkReply::downloadProgress, raw,
                     [raw, limit, &tooLarge](qint64 received, qint64) {
                         if (received > limit && !tooLarge) {
                             tooLarge = true;
                             raw->abort();
                         }
                     });
    // The whole exchange is bounded, not only the silence between bytes: a server that drips
    // its answer would otherwise be waited for without end.
    bool late = false;
    std::unique_ptr<QObject> deadline = m_deadline(m_timeout, [raw, &late] {
        late = true;
        raw->abort();
    });

    co_await qCoro(raw).waitForFinished(std::chrono::milliseconds(-1));
    deadline.reset();
    QObject::disconnect(raw, &QNetworkReply::downloadProgress, raw, nullptr);

    if (tooLarge)
        throw HttpTransportError("The server's answer is too large");
    if (late)
        throw HttpTransportError("The server did not answer in time.");
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        HttpResponse response;
        response.status = status.toInt();
        response.body = raw->readAll();
        co_return response;
    }
    // A connection closed before the answer ends in Qt's refusal to send the body again.
    if (raw->error() == QNetworkReply::ContentReSendError ||
        raw->error() == QNetworkReply::RemoteHostClosedError)
        throw HttpTransportError("The server closed the connection without answering.");
    if (raw->error() != QNetworkReply::NoError)
        throw HttpTransportError(raw->errorString().toStdString());
    HttpResponse notHttp;
    notHttp.isHttp = false;
    co_return notHttp;
}

} // namespace platform
