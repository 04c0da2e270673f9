#include "platform/CaptureFolder.h"

#include "platform/PrivateFolder.h"

#include <QMutex>

namespace platform {
namespace {

QMutex &cacheMutex()
{
    static QMutex mutex;
    return mutex;
}

std::optional<QString> &cachedPath()
{
    static std::optional<QString> path;
    return path;
}

} // namespace

CaptureFolder::Result CaptureFolder::get()
{
    QMutexLocker lock(&cacheMutex());
    std::optional<QString> &cached = cachedPath();
    if (cached && PrivateFolder::refusal(*cached).isEmpty())
        return {cached, {}, {}};
    Result result = PrivateFolder::claim(name);
    // A failure is not cached: the temporary directory may appear later.
    cached = result.path;
    return result;
}

std::optional<QString> CaptureFolder::current()
{
    QMutexLocker lock(&cacheMutex());
    return cachedPath();
}

void CaptureFolder::reset()
{
    QMutexLocker lock(&cacheMutex());
    cachedPath().reset();
}

} // namespace platform
