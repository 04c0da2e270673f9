#pragma once

#include <QDrag>
#include <QPointer>
#include <functional>

namespace platform {

// Runs a started drag out of the program to its end in place of QDrag::exec with the copy
// action, which needs a desktop to drop on.
using DragRunner = std::function<Qt::DropAction(QDrag &)>;

// Runs the drag and lets it go afterwards, unless its source went with it meanwhile (QDrag::exec
// runs an event loop of its own).
inline void runDragOut(QDrag *drag, const DragRunner &runner)
{
    const QPointer<QDrag> running(drag);
    if (runner)
        runner(*drag);
    else
        drag->exec(Qt::CopyAction);
    if (running)
        running->deleteLater();
}

} // namespace platform
