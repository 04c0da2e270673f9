#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLoggingCategory>
#include <QMutex>
#include <QString>
#include <cstdlib>
#include <memory>
#include <optional>
#include <xcb/xcb.h>

namespace platform {

struct FreeDeleter {
    void operator()(void *pointer) const { std::free(pointer); }
};
// xcb hands out replies and errors allocated with malloc.
template <typename T> using XcbReply = std::unique_ptr<T, FreeDeleter>;

struct X11Property {
    xcb_atom_t type = XCB_NONE;
    int format = 0;
    QByteArray data;

    bool exists() const { return type != XCB_NONE; }
    // The values of a 32-bit property (CARDINAL, WINDOW, ATOM); empty for other formats.
    QList<quint32> values32() const;
    std::optional<quint32> value32() const;
};

// A connection to the X server of our own, apart from Qt's, so that captures can run on worker
// threads and never disturb Qt's event handling. Callers hold mutex() for a whole exchange.
class X11Connection {
public:
    X11Connection();
    ~X11Connection();
    X11Connection(const X11Connection &) = delete;
    X11Connection &operator=(const X11Connection &) = delete;

    QMutex &mutex() { return m_mutex; }
    xcb_connection_t *get() const { return m_connection; }
    // Connected and not broken since; every use checks it first.
    bool isUsable() const;
    xcb_window_t root() const { return m_root; }
    int screenNumber() const { return m_screenNumber; }
    xcb_screen_t *screen() const { return m_screen; }

    xcb_atom_t atom(const QByteArray &name);
    xcb_get_property_cookie_t requestProperty(xcb_window_t window, xcb_atom_t property);
    X11Property takeProperty(xcb_get_property_cookie_t cookie);
    X11Property property(xcb_window_t window, const QByteArray &name);

    // Whether a compositing manager owns this screen's _NET_WM_CM_S<n> selection.
    bool compositorRunning();

    // Discards what the server queued for this connection (errors of unchecked requests);
    // nothing else reads this connection's queue.
    void drainEvents();

private:
    QMutex m_mutex;
    xcb_connection_t *m_connection = nullptr;
    xcb_screen_t *m_screen = nullptr;
    xcb_window_t m_root = XCB_NONE;
    int m_screenNumber = 0;
    QHash<QByteArray, xcb_atom_t> m_atoms;
};

} // namespace platform
