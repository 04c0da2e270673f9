#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// Stored shortcuts keep the other platform's virtual key codes (the US-layout positions of the
// keys) and its modifier bits. X11 speaks keycodes, key symbols and modifier masks instead;
// these tables translate between them: keycodes by the place of the key, whatever the layout,
// symbols as a US keyboard types them. They are plain numbers so that callers need no X11
// headers.
namespace platform {

// X11 core modifier masks, as they appear in a key event's state.
namespace X11Modifier {
constexpr quint16 shift = 0x01;
constexpr quint16 lock = 0x02;
constexpr quint16 control = 0x04;
constexpr quint16 mod1 = 0x08; // Alt
constexpr quint16 mod2 = 0x10; // usually NumLock
constexpr quint16 mod3 = 0x20;
constexpr quint16 mod4 = 0x40; // Super
constexpr quint16 mod5 = 0x80;
constexpr quint16 all = 0xff;
} // namespace X11Modifier

// The key symbol a US keyboard produces for the key without modifiers (lower-case letters);
// nothing for a code that has no key there (for example 10, 52, or anything from 127 up).
std::optional<quint32> keysymForVirtualKey(quint32 virtualKeyCode);

// The X keycode of the key at the code's place (evdev keycodes: the scan code plus 8), and the
// code of the place of a keycode; nothing for a place or keycode the US keyboard has no key for.
std::optional<quint8> x11KeycodeForVirtualKey(quint32 virtualKeyCode);
std::optional<quint16> virtualKeyForX11Keycode(quint32 keycode);

// The virtual key code of the key that produces the symbol on a US keyboard. Letters count
// whatever their case (caps lock), the keypad's keys with NumLock on or off. The symbols a US
// keyboard types with Shift (`!` on the key 1) count only when Shift was held: a layout that
// types `+` without Shift has it on another key than the US `=`.
std::optional<quint16> virtualKeyForKeysym(quint32 keysym, bool shiftHeld);

// The text a key symbol types, for naming keys that have no fixed name: printable Latin-1,
// the keypad's digits and operators, and Unicode symbols; nothing for function and control keys.
std::optional<QString> keysymText(quint32 keysym);

// Stored modifier bits to X11 masks: control → Control, option → Mod1 (Alt), shift → Shift,
// command → Mod4 (Super). Other stored bits have no counterpart and are left out.
quint16 x11ModifierMask(quint32 carbonModifiers);

} // namespace platform
