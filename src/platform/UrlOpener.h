#pragma once

#include <QUrl>
#include <functional>
#include <qcoro/qcorotask.h>

namespace platform {

// Hands a URL to the desktop's handler for it (browser, settings, file manager).
class UrlOpener {
public:
    virtual ~UrlOpener() = default;
    // Whether a handler took the URL; nothing more is known about what it did.
    virtual bool openUrl(const QUrl &url) = 0;
    // Opens a web page in the browser and answers, once that is known, whether one took it:
    // false when no browser could be started. A browser counted as having taken the page may
    // still fail to show it: `failedLater` is called then, at most once, and never while the
    // program quits. Where nothing more is known, what openUrl() says, and nothing later.
    virtual QCoro::Task<bool> openInBrowser(QUrl url, std::function<void()> failedLater);
    // Shows a local file selected in the file manager; where none says it can, opens the
    // folder that holds it.
    virtual bool revealFile(const QUrl &file);
};

} // namespace platform
