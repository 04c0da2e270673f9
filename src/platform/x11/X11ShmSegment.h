#pragma once

#include <cstddef>
#include <cstdint>
#include <xcb/shm.h>
#include <xcb/xcb.h>

namespace platform {

// A shared-memory segment the X server writes screen reads into, grown on demand. Not thread
// safe; owned by whoever owns the connection it is attached on.
class X11ShmSegment {
public:
    enum class Reserve : std::uint8_t {
        ready,
        // The size cannot be had (system limits): read this one through GetImage.
        unavailable,
        // The server cannot attach our memory (another machine or IPC namespace); it never will.
        refused,
    };

    X11ShmSegment() = default;
    X11ShmSegment(const X11ShmSegment &) = delete;
    X11ShmSegment &operator=(const X11ShmSegment &) = delete;

    // At least `bytes` large and attached on `connection`.
    Reserve reserve(xcb_connection_t *connection, std::size_t bytes);
    // Detaches from the server when a usable connection is given, and frees the memory.
    void release(xcb_connection_t *usableConnection);

    xcb_shm_seg_t id() const { return m_segment; }
    const std::uint8_t *data() const { return static_cast<const std::uint8_t *>(m_address); }

private:
    xcb_shm_seg_t m_segment = 0;
    void *m_address = nullptr;
    std::size_t m_size = 0;
};

} // namespace platform
