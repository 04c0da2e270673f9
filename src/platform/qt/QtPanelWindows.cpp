#include "platform/qt/QtPanelWindows.h"

#include <QWidget>

namespace platform {

void QtPanelWindows::prepare(QWidget *panel, PanelLevel)
{
    setPanelAttributes(panel);
}

void QtPanelWindows::setInputRegion(QWidget *, const QRegion &) {}

std::optional<QRectF> QtPanelWindows::visibleFrame(const Display &) const
{
    return std::nullopt;
}

void QtPanelWindows::setPanelAttributes(QWidget *panel)
{
    if (!panel)
        return;
    panel->setAttribute(Qt::WA_ShowWithoutActivating);
    panel->setAttribute(Qt::WA_X11DoNotAcceptFocus);
    // Chooses a visual with alpha; it must be set before the native window is created.
    panel->setAttribute(Qt::WA_TranslucentBackground);
}

} // namespace platform
