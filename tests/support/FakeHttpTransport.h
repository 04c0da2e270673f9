#pragma once

#include "platform/HttpTransport.h"

#include <QList>

// Answers every request with `response` (or throws `failure` when set) and keeps the requests.
class FakeHttpTransport : public platform::HttpTransport {
public:
    QCoro::Task<platform::HttpResponse> send(platform::HttpRequest request) override
    {
        requests << request;
        if (!failure.isEmpty())
            throw platform::HttpTransportError(failure.toStdString());
        co_return response;
    }

    QList<platform::HttpRequest> requests;
    platform::HttpResponse response{
        true, 200,
        R"({"id":"5B0E2C4A-8F1D-4E6B-9A3C-7D2E1F0A9B8C","email":"jane.doe@example.com"})"};
    QString failure;
};
