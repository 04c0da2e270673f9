#include "platform/KeyCodes.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(KeyCodes, EveryUsKeyRoundTripsThroughItsSymbol)
{
    int keys = 0;
    for (quint32 code = 0; code < 256; ++code) {
        const auto keysym = keysymForVirtualKey(code);
        if (!keysym)
            continue;
        ++keys;
        EXPECT_EQ(virtualKeyForKeysym(*keysym, false), code) << code;
        EXPECT_EQ(virtualKeyForKeysym(*keysym, true), code) << code;
        EXPECT_EQ(virtualKeyForX11Keycode(x11KeycodeForVirtualKey(code).value()), code) << code;
    }
    EXPECT_EQ(keys, 99);
    // Places as evdev numbers them: 1, P, the keypad's Enter, Up.
    EXPECT_EQ(x11KeycodeForVirtualKey(18), 10);
    EXPECT_EQ(x11KeycodeForVirtualKey(35), 33);
    EXPECT_EQ(x11KeycodeForVirtualKey(76), 104);
    EXPECT_EQ(x11KeycodeForVirtualKey(126), 111);
    EXPECT_FALSE(virtualKeyForX11Keycode(94)); // the key beside the left Shift of ISO keyboards

    EXPECT_EQ(keysymForVirtualKey(18), quint32('1'));
    EXPECT_EQ(keysymForVirtualKey(35), quint32('p'));
    EXPECT_EQ(keysymForVirtualKey(96), 0xffc2u);  // F5
    EXPECT_EQ(keysymForVirtualKey(122), 0xffbeu); // F1
    EXPECT_EQ(keysymForVirtualKey(123), 0xff51u); // Left
    for (quint32 missing : {10u, 52u, 55u, 56u, 59u, 71u, 127u, 200u, 0x10000u})
        EXPECT_FALSE(keysymForVirtualKey(missing)) << missing;
}

TEST(KeyCodes, SymbolsTypedWithModifiersFindTheirKey)
{
    EXPECT_EQ(virtualKeyForKeysym('P', false), 35); // caps lock
    EXPECT_EQ(virtualKeyForKeysym('!', true), 18);
    EXPECT_EQ(virtualKeyForKeysym('^', true), 22);
    EXPECT_EQ(virtualKeyForKeysym(0xfe20, true), 48); // Shift + Tab
    // Without Shift these symbols sit on other keys than on a US keyboard.
    EXPECT_FALSE(virtualKeyForKeysym('!', false));
    EXPECT_FALSE(virtualKeyForKeysym('+', false));
    // The keypad with NumLock off.
    EXPECT_EQ(virtualKeyForKeysym(0xff9c, false), 83);
    EXPECT_EQ(virtualKeyForKeysym(0xff9f, false), 65);
    EXPECT_FALSE(virtualKeyForKeysym(0xe9, false));   // é
    EXPECT_FALSE(virtualKeyForKeysym(0xffe3, false)); // Control_L
}

TEST(KeyCodes, TextOfSymbols)
{
    EXPECT_EQ(keysymText(0xe9), "é");
    EXPECT_EQ(keysymText(0xffaa), "*"); // keypad
    EXPECT_EQ(keysymText(0x010020ac), "€");
    EXPECT_FALSE(keysymText(0xff50)); // Home
}

TEST(KeyCodes, ModifierMapping)
{
    EXPECT_EQ(x11ModifierMask(4096), X11Modifier::control);
    EXPECT_EQ(x11ModifierMask(2048), X11Modifier::mod1);
    EXPECT_EQ(x11ModifierMask(512), X11Modifier::shift);
    EXPECT_EQ(x11ModifierMask(256), X11Modifier::mod4);
    EXPECT_EQ(x11ModifierMask(6144), X11Modifier::control | X11Modifier::mod1);
    EXPECT_EQ(x11ModifierMask(768), X11Modifier::shift | X11Modifier::mod4);
    // Caps lock and other bits of the stored mask have no counterpart.
    EXPECT_EQ(x11ModifierMask(1024 | 1 | 0x10000), 0);
}
