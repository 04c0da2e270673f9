#include "platform/x11/Ewmh.h"

#include <algorithm>

namespace platform {
namespace {

// X coordinates are 16-bit; anything larger is a broken hint.
int extent(quint32 value)
{
    return int(std::min<quint32>(value, 0x7fff));
}

QByteArray withoutTrailingNuls(QByteArray value)
{
    while (value.endsWith('\0'))
        value.chop(1);
    return value;
}

} // namespace

FrameExtents frameExtents(const QList<quint32> &values)
{
    if (values.size() != 4)
        return {};
    return {extent(values[0]), extent(values[1]), extent(values[2]), extent(values[3])};
}

QRect frameRect(const QRect &client, const FrameExtents &extents)
{
    return client.adjusted(-extents.left, -extents.top, extents.right, extents.bottom);
}

WmClass parseWmClass(const QByteArray &value)
{
    const QList<QByteArray> parts = value.split('\0');
    WmClass wmClass;
    if (!parts.isEmpty())
        wmClass.instance = QString::fromUtf8(parts[0]);
    if (parts.size() > 1)
        wmClass.className = QString::fromUtf8(parts[1]);
    return wmClass;
}

QString windowTitle(const QByteArray &netWmName, const QByteArray &wmName, bool wmNameIsUtf8)
{
    const QByteArray net = withoutTrailingNuls(netWmName);
    if (!net.isEmpty())
        return QString::fromUtf8(net);
    const QByteArray plain = withoutTrailingNuls(wmName);
    return wmNameIsUtf8 ? QString::fromUtf8(plain) : QString::fromLatin1(plain);
}

QList<WindowInfo> visibleTopmostFirst(const QList<EwmhClient> &bottomToTop,
                                      std::optional<quint32> currentDesktop)
{
    QList<WindowInfo> windows;
    for (auto it = bottomToTop.crbegin(); it != bottomToTop.crend(); ++it) {
        if (it->hidden)
            continue;
        if (currentDesktop && it->desktop && *it->desktop != allDesktops &&
            *it->desktop != *currentDesktop)
            continue;
        windows.append(it->info);
    }
    return windows;
}

} // namespace platform
