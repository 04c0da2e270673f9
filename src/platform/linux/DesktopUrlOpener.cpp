#include "platform/linux/DesktopUrlOpener.h"

#include <QDesktopServices>

namespace platform {

bool DesktopUrlOpener::openUrl(const QUrl &url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

} // namespace platform
