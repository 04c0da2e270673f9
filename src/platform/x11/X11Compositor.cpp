#include "platform/x11/X11Compositor.h"

#include "platform/x11/X11Connection.h"

namespace platform {

X11Compositor::X11Compositor(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
}

bool X11Compositor::isCompositing() const
{
    QMutexLocker lock(&m_connection->mutex());
    return m_connection->isUsable() && m_connection->compositorRunning();
}

} // namespace platform
