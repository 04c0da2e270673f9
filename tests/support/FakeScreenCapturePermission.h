#pragma once

#include "platform/ScreenCapturePermission.h"
#include "support/EventLog.h"

// Answers with `granted` (and a request with `grantedOnRequest`, when set); records
// "permission.preflight" and "permission.request" in `log` when one is given.
class FakeScreenCapturePermission : public platform::ScreenCapturePermission {
public:
    bool preflight() override
    {
        ++preflightCalls;
        if (log)
            log->add(QStringLiteral("permission.preflight"));
        return granted;
    }
    bool request() override
    {
        ++requestCalls;
        if (log)
            log->add(QStringLiteral("permission.request"));
        return grantedOnRequest.value_or(granted);
    }
    std::optional<QUrl> settingsUrl() const override { return url; }

    bool granted = true;
    std::optional<bool> grantedOnRequest;
    std::optional<QUrl> url;
    int preflightCalls = 0;
    int requestCalls = 0;
    EventLog *log = nullptr;
};
