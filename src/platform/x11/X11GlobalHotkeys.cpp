#include "platform/x11/X11GlobalHotkeys.h"

#include "platform/KeyCodes.h"
#include "platform/x11/X11Connection.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

namespace platform {

namespace {

constexpr quint32 numLockKeysym = 0xff7f;

xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    return connection && !xcb_connection_has_error(connection) ? connection : nullptr;
}

// The root window of the screen DISPLAY names, the one Qt's windows live on.
xcb_window_t rootWindow(xcb_connection_t *connection)
{
    int screenNumber = 0;
    char *host = nullptr;
    int display = 0;
    if (xcb_parse_display(nullptr, &host, &display, &screenNumber))
        std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; it.rem > 1 && i < screenNumber; ++i)
        xcb_screen_next(&it);
    return it.rem ? it.data->root : xcb_window_t(XCB_NONE);
}

class KeySymbols {
public:
    explicit KeySymbols(xcb_connection_t *connection) : m_symbols(xcb_key_symbols_alloc(connection))
    {
    }
    ~KeySymbols()
    {
        if (m_symbols)
            xcb_key_symbols_free(m_symbols);
    }
    KeySymbols(const KeySymbols &) = delete;
    KeySymbols &operator=(const KeySymbols &) = delete;

    // The first key that carries the symbol at any level; nothing when the keyboard has none.
    std::optional<xcb_keycode_t> keycode(quint32 keysym) const
    {
        if (!m_symbols)
            return std::nullopt;
        XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_symbols, keysym));
        if (!codes || codes.get()[0] == XCB_NO_SYMBOL)
            return std::nullopt;
        return codes.get()[0];
    }

private:
    xcb_key_symbols_t *m_symbols;
};

// The modifier mask that NumLock sets, found through the modifier mapping; 0 without NumLock.
quint16 numLockMask(xcb_connection_t *connection)
{
    const auto numLock = KeySymbols(connection).keycode(numLockKeysym);
    if (!numLock)
        return 0;
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr));
    if (!mapping)
        return 0;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            if (codes[modifier * perModifier + i] == *numLock)
                return quint16(1u << modifier);
        }
    }
    return 0;
}

// The code XKB's events arrive under on the connection; 0 without the extension.
quint8 xkbFirstEvent(xcb_connection_t *connection)
{
    static constexpr char name[] = "XKEYBOARD";
    XcbReply<xcb_query_extension_reply_t> reply(xcb_query_extension_reply(
        connection, xcb_query_extension(connection, sizeof name - 1, name), nullptr));
    return reply && reply->present ? reply->first_event : 0;
}

} // namespace

X11GlobalHotkeys::~X11GlobalHotkeys()
{
    while (!m_grabs.empty())
        ungrab(m_grabs.begin()->first);
    removePressHandler();
}

int X11GlobalHotkeys::installPressHandler(PressHandler handler)
{
    if (!qtConnection())
        return HotkeyStatus::unavailable;
    m_handler = std::move(handler);
    if (!m_filterInstalled) {
        m_xkbFirstEvent = xkbFirstEvent(qtConnection());
        QCoreApplication::instance()->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    return HotkeyStatus::ok;
}

void X11GlobalHotkeys::removePressHandler()
{
    m_handler = nullptr;
    if (m_filterInstalled && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    m_filterInstalled = false;
}

HotkeyGrab X11GlobalHotkeys::grab(const HotkeyCombination &combination, HotkeyID id)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return {HotkeyStatus::unavailable, std::nullopt};
    const xcb_window_t root = rootWindow(connection);
    if (root == XCB_NONE)
        return {HotkeyStatus::unavailable, std::nullopt};

    // Stored codes are places on the keyboard, and so are X keycodes: whatever the layout types
    // there, the key at the place is the one grabbed.
    const auto keycode = x11KeycodeForVirtualKey(combination.keyCode);
    const xcb_setup_t *setup = xcb_get_setup(connection);
    if (!keycode || *keycode < setup->min_keycode || *keycode > setup->max_keycode)
        return {HotkeyStatus::hotKeyInvalid, std::nullopt};
    const quint16 modifiers = x11ModifierMask(combination.modifiers);
    for (const auto &[ref, existing] : m_grabs) {
        if (existing.keycode == *keycode && existing.modifiers == modifiers)
            return {HotkeyStatus::hotKeyExists, std::nullopt};
    }

    Grab grab;
    grab.id = id;
    grab.keycode = *keycode;
    grab.modifiers = modifiers;
    m_root = root;
    const int status = grabVariants(grab, numLockMask(connection));
    if (status != HotkeyStatus::ok) {
        releaseGrab(grab);
        return {status, std::nullopt};
    }
    m_keys.remove(grab.keycode);
    const HotkeyRef ref = m_nextRef++;
    m_grabs.emplace(ref, std::move(grab));
    return {HotkeyStatus::ok, ref};
}

int X11GlobalHotkeys::grabVariants(Grab &grab, quint16 numLockModifier)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return HotkeyStatus::unavailable;
    // A lock that shares its mask with a wanted modifier cannot be told apart from it.
    const quint16 numLock = numLockModifier & ~grab.modifiers;
    grab.ignoredMasks = quint16(X11Modifier::lock | numLock);
    grab.grabbedMasks.clear();
    QList<xcb_void_cookie_t> cookies;
    QList<quint16> masks;
    for (const quint16 extra :
         {quint16(0), X11Modifier::lock, numLock, quint16(X11Modifier::lock | numLock)}) {
        const quint16 mask = grab.modifiers | extra;
        if (masks.contains(mask))
            continue;
        masks << mask;
        cookies << xcb_grab_key_checked(connection, 0, m_root, mask, grab.keycode,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    // Every reply is collected before deciding, so that no error is left queued.
    int status = HotkeyStatus::ok;
    for (qsizetype i = 0; i < cookies.size(); ++i) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(connection, cookies[i]));
        if (!error)
            grab.grabbedMasks << masks[i];
        else if (status == HotkeyStatus::ok)
            status = error->error_code;
    }
    return status;
}

void X11GlobalHotkeys::keyboardMapChanged()
{
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return;
    // The keys keep their keycodes; the mask NumLock sets may have moved, and with it the
    // variants that keep the keys working while it is on.
    const quint16 numLock = numLockMask(connection);
    for (auto &[ref, grab] : m_grabs) {
        releaseGrab(grab);
        grabVariants(grab, numLock);
    }
}

void X11GlobalHotkeys::ungrab(HotkeyRef ref)
{
    const auto found = m_grabs.find(ref);
    if (found == m_grabs.end())
        return;
    const Grab grab = found->second;
    m_grabs.erase(found);
    releaseGrab(grab);
    // A release that comes after the ungrab goes elsewhere: forget the key's state.
    if (!usesKeycode(grab.keycode))
        m_keys.remove(grab.keycode);
}

void X11GlobalHotkeys::releaseGrab(const Grab &grab)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection || grab.grabbedMasks.isEmpty())
        return;
    for (const quint16 mask : grab.grabbedMasks)
        xcb_ungrab_key(connection, grab.keycode, m_root, mask);
    // A round trip, so the keys are free for other programs once this returns: a flush alone
    // lets another client's grab reach the server first and be refused.
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

bool X11GlobalHotkeys::usesKeycode(quint8 keycode) const
{
    for (const auto &[ref, grab] : m_grabs) {
        if (grab.keycode == keycode)
            return true;
    }
    return false;
}

bool X11GlobalHotkeys::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (m_grabs.empty() || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const quint8 type = event->response_type & 0x7f;
    // XKB's events carry their kind in the second byte: 0 a new keyboard, 1 a new map.
    if (type == XCB_MAPPING_NOTIFY ||
        (m_xkbFirstEvent && type == m_xkbFirstEvent && (event->pad0 == 0 || event->pad0 == 1))) {
        keyboardMapChanged();
        return false;
    }
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    // Key press and release events share one layout.
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    // Only grabs report on the root window; keys typed into our own windows pass untouched.
    if (key->event != m_root)
        return false;
    return type == XCB_KEY_PRESS ? keyPressed(key->detail, key->state, key->time)
                                 : keyReleased(key->detail, key->time);
}

bool X11GlobalHotkeys::keyPressed(quint8 keycode, quint16 state, quint32 time)
{
    const Grab *match = nullptr;
    for (const auto &[ref, grab] : m_grabs) {
        const quint16 modifiers = state & X11Modifier::all & ~grab.ignoredMasks;
        if (grab.keycode == keycode && grab.modifiers == modifiers) {
            match = &grab;
            break;
        }
    }
    if (!match)
        return false;
    KeyState &key = m_keys[keycode];
    // Detectable auto-repeat repeats the press alone; the classic kind sends a release and a
    // press with the same timestamp.
    const bool repeat = key.held || (key.released && key.releasedAt == time);
    key.held = true;
    if (repeat || !m_handler)
        return true;
    // The handler may ungrab, which would invalidate `match`.
    const HotkeyID id = match->id;
    return m_handler(id) == HotkeyStatus::ok;
}

bool X11GlobalHotkeys::keyReleased(quint8 keycode, quint32 time)
{
    if (!usesKeycode(keycode))
        return false;
    KeyState &key = m_keys[keycode];
    key.held = false;
    key.released = true;
    key.releasedAt = time;
    return true;
}

} // namespace platform
