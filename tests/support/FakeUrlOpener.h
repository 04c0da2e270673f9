#pragma once

#include "platform/UrlOpener.h"
#include "support/EventLog.h"

#include <QList>

// Keeps the URLs it was asked to open; answers `opens`.
class FakeUrlOpener : public platform::UrlOpener {
public:
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        if (log)
            log->add(QStringLiteral("url.open(%1)").arg(url.toString()));
        return opens;
    }

    QList<QUrl> opened;
    bool opens = true;
    EventLog *log = nullptr;
};
