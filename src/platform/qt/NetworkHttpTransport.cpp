#include "platform/qt/NetworkHttpTransport.h"

#include <QHostAddress>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <memory>
#include <qcoro/qcoronetworkreply.h>

namespace platform {

namespace {

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

} // namespace

NetworkHttpTransport::NetworkHttpTransport(std::chrono::milliseconds timeout,
                                           qint64 maximumBodySize)
    : m_timeout(timeout), m_maximumBodySize(maximumBodySize)
{
    m_manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
}

bool NetworkHttpTransport::isAllowedUrl(const QUrl &url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    return url.scheme() == QLatin1String("http") && isLoopbackHost(url.host());
}

QCoro::Task<HttpResponse> NetworkHttpTransport::send(HttpRequest request)
{
    if (!isAllowedUrl(request.url))
        throw HttpTransportError("Only https addresses, or http on this computer, are allowed");

    QNetworkRequest networkRequest(request.url);
    networkRequest.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                                QNetworkRequest::ManualRedirectPolicy);
    networkRequest.setTransferTimeout(int(m_timeout.count()));
    for (const auto &[name, value] : request.headers)
        networkRequest.setRawHeader(name, value);

    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> reply(
        request.body.isEmpty() && request.method == "GET"
            ? m_manager.get(networkRequest)
            : m_manager.sendCustomRequest(networkRequest, request.method, request.body),
        [](QNetworkReply *r) { r->deleteLater(); });

    bool tooLarge = false;
    const qint64 limit = m_maximumBodySize;
    QNetworkReply *raw = reply.get();
    QObject::connect(raw, &QNetworkReply::downloadProgress, raw,
                     [raw, limit, &tooLarge](qint64 received, qint64) {
                         if (received > limit && !tooLarge) {
                             tooLarge = true;
                             raw->abort();
                         }
                     });

    co_await qCoro(raw).waitForFinished(std::chrono::milliseconds(-1));
    QObject::disconnect(raw, &QNetworkReply::downloadProgress, raw, nullptr);

    if (tooLarge)
        throw HttpTransportError("The server's answer is too large");
    const QVariant status = raw->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid()) {
        HttpResponse response;
        response.status = status.toInt();
        response.body = raw->readAll();
        co_return response;
    }
    if (raw->error() != QNetworkReply::NoError)
        throw HttpTransportError(raw->errorString().toStdString());
    HttpResponse notHttp;
    notHttp.isHttp = false;
    co_return notHttp;
}

} // namespace platform
