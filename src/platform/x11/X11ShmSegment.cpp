#include "platform/x11/X11ShmSegment.h"

#include "platform/x11/X11Connection.h"

#include <sys/ipc.h>
#include <sys/shm.h>

namespace platform {

X11ShmSegment::Reserve X11ShmSegment::reserve(xcb_connection_t *connection, std::size_t bytes)
{
    if (bytes <= m_size)
        return Reserve::ready;
    release(connection);
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return Reserve::unavailable;
    void *address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return Reserve::unavailable;
    }
    const xcb_shm_seg_t segment = xcb_generate_id(connection);
    XcbReply<xcb_generic_error_t> error(xcb_request_check(
        connection, xcb_shm_attach_checked(connection, segment, uint32_t(id), 0)));
    // Removed at once: the segment then goes away with its last user, even after a crash.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        shmdt(address);
        return Reserve::refused;
    }
    m_segment = segment;
    m_address = address;
    m_size = bytes;
    return Reserve::ready;
}

void X11ShmSegment::release(xcb_connection_t *usableConnection)
{
    if (!m_address)
        return;
    if (usableConnection)
        xcb_shm_detach(usableConnection, m_segment);
    shmdt(m_address);
    m_address = nullptr;
    m_size = 0;
    m_segment = 0;
}

} // namespace platform
