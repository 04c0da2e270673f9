#pragma once

#include "platform/UrlOpener.h"
#include "support/EventLog.h"

#include <QList>

// Keeps the URLs it was asked to open, the files to reveal and what to call when each browser
// page fails later; answers `opens`. A reveal opens the file's folder, as on a desktop without a
// file manager that selects files.
class FakeUrlOpener : public platform::UrlOpener {
public:
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        if (log)
            log->add(QStringLiteral("url.open(%1)").arg(url.toString()));
        return opens;
    }
    QCoro::Task<bool> openInBrowser(QUrl url, std::function<void()> failedLater) override
    {
        browserFailures << std::move(failedLater);
        co_return openUrl(url);
    }
    bool revealFile(const QUrl &file) override
    {
        revealed << file;
        return platform::UrlOpener::revealFile(file);
    }

    QList<QUrl> opened;
    QList<QUrl> revealed;
    QList<std::function<void()>> browserFailures;
    bool opens = true;
    EventLog *log = nullptr;
};
