#include "platform/UrlOpener.h"

#include <QFileInfo>

namespace platform {

QCoro::Task<bool> UrlOpener::openInBrowser(QUrl url, std::function<void()>)
{
    co_return openUrl(url);
}

bool UrlOpener::revealFile(const QUrl &file)
{
    if (!file.isLocalFile())
        return false;
    return openUrl(QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath()));
}

} // namespace platform
