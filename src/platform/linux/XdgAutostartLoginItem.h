#pragma once

#include "platform/LoginItem.h"

namespace platform {

// Launch at login through an XDG autostart entry:
// $XDG_CONFIG_HOME/autostart/corvanta.desktop (~/.config when unset).
class XdgAutostartLoginItem : public LoginItem {
public:
    // The program the entry starts; empty means the running executable.
    explicit XdgAutostartLoginItem(QString executablePath = {});

    // Resolved on every call, so a changed environment is followed.
    static QString desktopFilePath();

    Status status() const override;
    std::optional<QString> registerItem() override;
    std::optional<QString> unregisterItem() override;

private:
    QString executablePath() const;

    QString m_executablePath;
};

} // namespace platform
