#include "app/MenuModel.h"

#include "model/ShortcutModel.h"

namespace {

MenuItem command(MenuCommand command, const QString &title, const QString &hint = {})
{
    const QString words = shortcutDisplayText(hint);
    const QString shown = hint.isEmpty() ? title : QStringLiteral("%1 (%2)").arg(title, words);
    return MenuItem{false, command, shown, words, true};
}

MenuItem separator()
{
    return MenuItem{true, MenuCommand::none, {}, {}, true};
}

} // namespace

namespace MenuModel {

QList<MenuItem> items(ShortcutScheme scheme, qsizetype queueCount, bool isRecording)
{
    const ShortcutDefinition::ShortcutSet hints = ShortcutDefinition::shortcuts(scheme);
    QList<MenuItem> items{
        command(MenuCommand::captureFullScreen, QStringLiteral("Capture Full Screen"),
                hints.fullDisplay.displayString),
        command(MenuCommand::captureArea, QStringLiteral("Capture Area"), hints.area.displayString),
        command(MenuCommand::captureWindow, QStringLiteral("Capture Window"),
                hints.window.displayString),
        isRecording ? command(MenuCommand::toggleScreenRecording,
                              QStringLiteral("Stop Screen Recording"), QStringLiteral("⏹"))
                    : command(MenuCommand::toggleScreenRecording,
                              QStringLiteral("Screen Recording"), hints.record.displayString),
    };
    if (queueCount > 0) {
        items << separator()
              << command(MenuCommand::toggleTray,
                         QStringLiteral("Show Tray (%1 item%2)")
                             .arg(queueCount)
                             .arg(queueCount == 1 ? QString() : QStringLiteral("s")))
              << command(MenuCommand::clearAllPendingItems,
                         QStringLiteral("Clear All Pending Items"));
    }
    items << separator() << command(MenuCommand::showSettings, QStringLiteral("Settings..."))
          << command(MenuCommand::quit, QStringLiteral("Quit Corvanta"));
    return items;
}

} // namespace MenuModel
