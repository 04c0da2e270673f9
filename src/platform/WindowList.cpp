#include "platform/WindowList.h"

#include "platform/Displays.h"

namespace platform {

std::optional<qsizetype> windowIndexAt(const QList<WindowInfo> &windows, QPointF capturePoint)
{
    for (qsizetype i = 0; i < windows.size(); ++i) {
        if (containsHalfOpen(windows[i].captureFrame, capturePoint))
            return i;
    }
    return std::nullopt;
}

} // namespace platform
