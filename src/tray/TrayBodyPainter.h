#pragma once

#include "tray/TrayBodyLayout.h"

#include <QRect>

class QPainter;

// What the tray view paints itself under its child widgets: the outline with its shadow, the
// count badge, the recording's elapsed time and the information column.
namespace TrayBody {

// One moment of the morph between the bodies: how far it has gone (0 compact, 1 expanded) and
// how visible each body is.
struct Moment {
    double progress = 0;
    double compactOpacity = 1;
    double expandedOpacity = 0;
};

// Paints the tray into `bounds` (the whole view). Without a compositor the panel is cut to the
// outline, so the outline's shape is filled to its very edge and no shadow is drawn.
void paint(QPainter &painter, const QRect &bounds, bool compositing, const Content &content,
           const Layout &layout, const Moment &moment);

// The column's words with no capture displayed.
QString emptyText();

} // namespace TrayBody
