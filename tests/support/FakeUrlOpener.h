#pragma once

#include "platform/UrlOpener.h"
#include "support/EventLog.h"

#include <QList>

// Keeps the URLs it was asked to open and the files to reveal; answers `opens`. A reveal opens
// the file's folder, as on a desktop without a file manager that selects files.
class FakeUrlOpener : public platform::UrlOpener {
public:
    bool openUrl(const QUrl &url) override
    {
        opened << url;
        if (log)
            log->add(QStringLiteral("url.open(%1)").arg(url.toString()));
        return opens;
    }
    bool revealFile(const QUrl &file) override
    {
        revealed << file;
        return platform::UrlOpener::revealFile(file);
    }

    QList<QUrl> opened;
    QList<QUrl> revealed;
    bool opens = true;
    EventLog *log = nullptr;
};
