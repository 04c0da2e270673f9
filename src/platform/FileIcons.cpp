#include "platform/FileIcons.h"

#include <QIcon>
#include <QMimeDatabase>
#include <QMimeType>
#include <QPixmap>

namespace platform {

namespace {

QImage iconFor(const QMimeType &type, int size)
{
    if (size <= 0)
        return {};
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(QStringLiteral("text-x-generic"));
    if (icon.isNull())
        return {};
    return icon.pixmap(size, size).toImage();
}

} // namespace

QImage fileIcon(const QString &path, int size)
{
    return iconFor(QMimeDatabase().mimeTypeForFile(path), size);
}

QImage mimeTypeIcon(const QString &mimeType, int size)
{
    return iconFor(QMimeDatabase().mimeTypeForName(mimeType), size);
}

} // namespace platform
