#pragma once

#include <QImage>
#include <QString>

namespace platform {

// The desktop icon theme's picture for a file, found by its MIME type (from the name and, when
// the file exists, its contents), at `size` pixels square. Falls back to the type's generic icon,
// then to the theme's plain document icon; a null image when the theme has none of them.
QImage fileIcon(const QString &path, int size);

// The same for a MIME type given by name ("video/mp4").
QImage mimeTypeIcon(const QString &mimeType, int size);

} // namespace platform
