#include "platform/KeyCodes.h"

namespace platform {

namespace {

struct KeyEntry {
    quint16 virtualKey;
    quint32 keysym;
    quint8 keycode = 0;
};

// Each key of the US layout with the symbol it types unmodified and its X keycode: besides letters,
// digits and punctuation, 36 Return, 48 Tab, 51 BackSpace, 53 Escape; the keypad (65 . 67 * 69 + 75
// / 76 Enter 78 - 81 = and the digits 82-92); F1-F20; 114 Insert (where the other platform's
// keyboards have Help), 115 Home, 116 Prior, 117 Delete, 119 End, 121 Next; 123-126 the
// arrows. Codes 10, 52, 54-63 (the modifier keys), 66, 68, 70-74, 77, 93-95, 102, 104, 108,
// 110, 112 and 127 up have no key here. The keycodes are the evdev scan codes of the places plus
// 8, as an X server with evdev keycodes numbers them whatever layout types on them.
constexpr KeyEntry baseKeys[] = {
    {0, 'a', 38},       {1, 's', 39},       {2, 'd', 40},       {3, 'f', 41},
    {4, 'h', 43},       {5, 'g', 42},       {6, 'z', 52},       {7, 'x', 53},
    {8, 'c', 54},       {9, 'v', 55},       {11, 'b', 56},      {12, 'q', 24},
    {13, 'w', 25},      {14, 'e', 26},      {15, 'r', 27},      {16, 'y', 29},
    {17, 't', 28},      {18, '1', 10},      {19, '2', 11},      {20, '3', 12},
    {21, '4', 13},      {22, '6', 15},      {23, '5', 14},      {24, '=', 21},
    {25, '9', 18},      {26, '7', 16},      {27, '-', 20},      {28, '8', 17},
    {29, '0', 19},      {30, ']', 35},      {31, 'o', 32},      {32, 'u', 30},
    {33, '[', 34},      {34, 'i', 31},      {35, 'p', 33},      {36, 0xff0d, 36},
    {37, 'l', 46},      {38, 'j', 44},      {39, '\'', 48},     {40, 'k', 45},
    {41, ';', 47},      {42, '\\', 51},     {43, ',', 59},      {44, '/', 61},
    {45, 'n', 57},      {46, 'm', 58},      {47, '.', 60},      {48, 0xff09, 23},
    {49, ' ', 65},      {50, '`', 49},      {51, 0xff08, 22},   {53, 0xff1b, 9},
    {64, 0xffce, 195},  {65, 0xffae, 91},   {67, 0xffaa, 63},   {69, 0xffab, 86},
    {75, 0xffaf, 106},  {76, 0xff8d, 104},  {78, 0xffad, 82},   {79, 0xffcf, 196},
    {80, 0xffd0, 197},  {81, 0xffbd, 125},  {82, 0xffb0, 90},   {83, 0xffb1, 87},
    {84, 0xffb2, 88},   {85, 0xffb3, 89},   {86, 0xffb4, 83},   {87, 0xffb5, 84},
    {88, 0xffb6, 85},   {89, 0xffb7, 79},   {90, 0xffd1, 198},  {91, 0xffb8, 80},
    {92, 0xffb9, 81},   {96, 0xffc2, 71},   {97, 0xffc3, 72},   {98, 0xffc4, 73},
    {99, 0xffc0, 69},   {100, 0xffc5, 74},  {101, 0xffc6, 75},  {103, 0xffc8, 95},
    {105, 0xffca, 191}, {106, 0xffcd, 194}, {107, 0xffcb, 192}, {109, 0xffc7, 76},
    {111, 0xffc9, 96},  {113, 0xffcc, 193}, {114, 0xff63, 118}, {115, 0xff50, 110},
    {116, 0xff55, 112}, {117, 0xffff, 119}, {118, 0xffc1, 70},  {119, 0xff57, 115},
    {120, 0xffbf, 68},  {121, 0xff56, 117}, {122, 0xffbe, 67},  {123, 0xff51, 113},
    {124, 0xff53, 114}, {125, 0xff54, 116}, {126, 0xff52, 111},
};

// What the keys type with Shift on a US keyboard.
constexpr KeyEntry shiftedKeys[] = {
    {18, '!'}, {19, '@'}, {20, '#'}, {21, '$'}, {22, '^'}, {23, '%'},    {24, '+'}, {25, '('},
    {26, '&'}, {27, '_'}, {28, '*'}, {29, ')'}, {30, '}'}, {33, '{'},    {39, '"'}, {41, ':'},
    {42, '|'}, {43, '<'}, {44, '?'}, {47, '>'}, {50, '~'}, {48, 0xfe20}, // ISO_Left_Tab
};

// The keypad's keys with NumLock off.
constexpr KeyEntry keypadNavigationKeys[] = {
    {65, 0xff9f}, {82, 0xff9e}, {83, 0xff9c}, {84, 0xff99}, {85, 0xff9b}, {86, 0xff96},
    {87, 0xff9d}, {88, 0xff98}, {89, 0xff95}, {91, 0xff97}, {92, 0xff9a},
};

template <size_t N>
std::optional<quint16> findVirtualKey(const KeyEntry (&table)[N], quint32 keysym)
{
    for (const KeyEntry &entry : table) {
        if (entry.keysym == keysym)
            return entry.virtualKey;
    }
    return std::nullopt;
}

struct ModifierPair {
    quint32 carbon;
    quint16 x11;
};

constexpr ModifierPair modifierPairs[] = {
    {4096, X11Modifier::control},
    {2048, X11Modifier::mod1},
    {512, X11Modifier::shift},
    {256, X11Modifier::mod4},
};

} // namespace

std::optional<quint32> keysymForVirtualKey(quint32 virtualKeyCode)
{
    for (const KeyEntry &entry : baseKeys) {
        if (entry.virtualKey == virtualKeyCode)
            return entry.keysym;
    }
    return std::nullopt;
}

std::optional<quint8> x11KeycodeForVirtualKey(quint32 virtualKeyCode)
{
    for (const KeyEntry &entry : baseKeys) {
        if (entry.virtualKey == virtualKeyCode)
            return entry.keycode;
    }
    return std::nullopt;
}

std::optional<quint16> virtualKeyForX11Keycode(quint32 keycode)
{
    for (const KeyEntry &entry : baseKeys) {
        if (entry.keycode == keycode)
            return entry.virtualKey;
    }
    return std::nullopt;
}

std::optional<quint16> virtualKeyForKeysym(quint32 keysym, bool shiftHeld)
{
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    if (auto key = findVirtualKey(baseKeys, keysym))
        return key;
    if (auto key = findVirtualKey(keypadNavigationKeys, keysym))
        return key;
    if (shiftHeld)
        return findVirtualKey(shiftedKeys, keysym);
    return std::nullopt;
}

std::optional<QString> keysymText(quint32 keysym)
{
    if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff))
        return QString(QChar(char16_t(keysym)));
    // The keypad's digits and operators sit 0xff80 above their ASCII codes.
    if ((keysym >= 0xffaa && keysym <= 0xffb9) || keysym == 0xffbd)
        return QString(QChar(char16_t(keysym - 0xff80)));
    // Symbols outside Latin-1 are the code point plus 0x01000000.
    if (keysym >= 0x01000100 && keysym <= 0x0110ffff) {
        const char32_t codePoint = keysym - 0x01000000;
        if (QChar::isPrint(codePoint))
            return QString::fromUcs4(&codePoint, 1);
    }
    return std::nullopt;
}

quint16 x11ModifierMask(quint32 carbonModifiers)
{
    quint16 mask = 0;
    for (const ModifierPair &pair : modifierPairs) {
        if (carbonModifiers & pair.carbon)
            mask |= pair.x11;
    }
    return mask;
}

} // namespace platform
