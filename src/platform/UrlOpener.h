#pragma once

#include <QUrl>
#include <qcoro/qcorotask.h>

namespace platform {

// Hands a URL to the desktop's handler for it (browser, settings, file manager).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether a handler took the URL; nothing more is known about what it did.
    virtual bool openUrl(const QUrl &url) = 0;
    // Opens a web page in the browser and answers, once that is known, whether one took it:
    // false when no browser could be started. Where nothing more is known, what openUrl() says.
    virtual QCoro::Task<bool> openInBrowser(QUrl url);
    // Shows a local file selected in the file manager; where none says it can, opens the
    // folder that holds it.
    virtual bool revealFile(const QUrl &file);
};

} // namespace platform
