#pragma once

#include <QtGlobal>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

// A second X client with a connection of its own, to hold grabs against ours or to see whether a
// key combination is free: the server refuses a grab that another client holds.
class X11KeyGrabber {
public:
    X11KeyGrabber()
        : m_connection(xcb_connect(nullptr, nullptr)),
          m_symbols(xcb_key_symbols_alloc(m_connection)),
          m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root)
    {
    }
    ~X11KeyGrabber()
    {
        xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_connection);
    }
    X11KeyGrabber(const X11KeyGrabber &) = delete;
    X11KeyGrabber &operator=(const X11KeyGrabber &) = delete;

    // Grabs the key and holds the grab until this client is gone; whether the server allowed it.
    bool grab(xcb_keysym_t keysym, quint16 modifiers)
    {
        const xcb_keycode_t keycode = keycodeOf(keysym);
        if (keycode == 0)
            return false;
        xcb_generic_error_t *error = xcb_request_check(
            m_connection, xcb_grab_key_checked(m_connection, 0, m_root, modifiers, keycode,
                                               XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const bool granted = error == nullptr;
        std::free(error);
        return granted;
    }

    // Grabs and at once releases the key; whether the server allowed the grab.
    bool canGrab(xcb_keysym_t keysym, quint16 modifiers)
    {
        if (!grab(keysym, modifiers))
            return false;
        xcb_ungrab_key(m_connection, keycodeOf(keysym), m_root, modifiers);
        xcb_flush(m_connection);
        return true;
    }

    // The modifier state of the core keyboard (Lock and NumLock show here).
    quint16 modifierState()
    {
        xcb_query_pointer_reply_t *reply =
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
        const quint16 mask = reply ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

private:
    xcb_keycode_t keycodeOf(xcb_keysym_t keysym)
    {
        xcb_keycode_t *codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        const xcb_keycode_t keycode = codes ? codes[0] : 0;
        std::free(codes);
        return keycode;
    }

    xcb_connection_t *m_connection;
    xcb_key_symbols_t *m_symbols;
    xcb_window_t m_root;
};
