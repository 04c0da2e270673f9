#pragma once

#include "model/SettingsEnums.h"

#include <QList>
#include <QString>

// What a menu entry does when chosen.
enum class MenuCommand {
    none, // separators
    captureFullScreen,
    captureArea,
    captureWindow,
    toggleScreenRecording,
    toggleTray,
    clearAllPendingItems,
    showSettings,
    quit,
};

struct MenuItem {
    bool isSeparator = false;
    MenuCommand command = MenuCommand::none;
    QString title;
    // The shortcut written into the title; empty when the title carries none.
    QString shortcutHint;
    bool enabled = true;

    bool operator==(const MenuItem &) const = default;
};

// The entries of the tray icon's menu, top to bottom, for the shortcut scheme, the number of
// staged captures and whether a recording runs. The hints are the scheme's preset shortcuts
// (the custom scheme shows the Control + Option ones). No entry is ever disabled.
namespace MenuModel {
QList<MenuItem> items(ShortcutScheme scheme, qsizetype queueCount, bool isRecording);
}
