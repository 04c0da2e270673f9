#include "platform/UrlOpener.h"

#include <QFileInfo>

namespace platform {

bool UrlOpener::revealFile(const QUrl &file)
{
    if (!file.isLocalFile())
        return false;
    return openUrl(QUrl::fromLocalFile(QFileInfo(file.toLocalFile()).absolutePath()));
}

} // namespace platform
