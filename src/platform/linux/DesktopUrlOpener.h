#pragma once

#include "platform/UrlOpener.h"

namespace platform {

// Opens URLs with the desktop's default handlers (xdg-open and friends, through Qt).
class DesktopUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl &url) override;
};

} // namespace platform
