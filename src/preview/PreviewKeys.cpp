#include "preview/PreviewKeys.h"

#include <QKeyEvent>

PreviewKeyAction previewKeyAction(const QKeyEvent &event, const PreviewKeyContext &context)
{
    if (!context.windowVisible || context.markupMode || !context.targetIsPreview)
        return PreviewKeyAction::passOn;

    // The key decides before the modifiers do: Ctrl+Escape closes like Escape.
    switch (event.key()) {
    case Qt::Key_Escape:
        return PreviewKeyAction::close;
    case Qt::Key_Space:
        return context.currentIsVideo ? PreviewKeyAction::togglePlayback : PreviewKeyAction::close;
    case Qt::Key_Left:
        return PreviewKeyAction::previous;
    case Qt::Key_Right:
        return PreviewKeyAction::next;
    default:
        break;
    }
    // Inside our own windows the command shortcuts use Ctrl; with Shift the
    // character is "C" or "S", which is another shortcut.
    const Qt::KeyboardModifiers mods = event.modifiers();
    if (!mods.testFlag(Qt::ControlModifier) || mods.testFlag(Qt::ShiftModifier))
        return PreviewKeyAction::passOn;
    if (event.key() == Qt::Key_C)
        return PreviewKeyAction::copy;
    if (event.key() == Qt::Key_S)
        return PreviewKeyAction::save;
    return PreviewKeyAction::passOn;
}
