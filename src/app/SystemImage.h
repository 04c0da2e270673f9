#pragma once

#include <QIcon>
#include <QString>

// The icons the program names by their symbol names ("camera.viewfinder"), as icons of the
// desktop's theme, else drawn here so that there is always one to show.
namespace SystemImage {
// The tray icon's symbol.
constexpr const char *cameraViewfinder = "camera.viewfinder";

// The freedesktop theme names tried for a symbol, in order.
QStringList themeNames(const QString &symbolName);
// The theme's icon for the symbol, else the drawn one; a null icon for an unknown symbol.
QIcon icon(const QString &symbolName);
// A viewfinder drawn as four corner brackets around a lens.
QIcon drawnViewfinder();
} // namespace SystemImage
