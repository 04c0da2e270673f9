#pragma once

#include "platform/UrlOpener.h"

namespace platform {

// Opens URLs with the desktop's default handlers (xdg-open and friends, through Qt).
class DesktopUrlOpener final : public UrlOpener {
public:
    bool openUrl(const QUrl &url) override;
    // Through xdg-open, judged on how it ends; without xdg-open, as openUrl().
    QCoro::Task<bool> openInBrowser(QUrl url, std::function<void()> failedLater) override;
    // Through the file manager's ShowItems call on the session bus, else the folder.
    bool revealFile(const QUrl &file) override;
};

} // namespace platform
