#include "platform/KeyCodes.h"

namespace platform {

namespace {

struct KeyEntry {
    quint16 virtualKey;
    quint32 keysym;
};

// Each key of the US layout with the symbol it types unmodified: besides letters, digits and
// punctuation, 36 Return, 48 Tab, 51 BackSpace, 53 Escape; the keypad (65 . 67 * 69 + 75 /
// 76 Enter 78 - 81 = and the digits 82-92); F1-F20; 114 Insert (where the other platform's
// keyboards have Help), 115 Home, 116 Prior, 117 Delete, 119 End, 121 Next; 123-126 the
// arrows. Codes 10, 52, 54-63 (the modifier keys), 66, 68, 70-74, 77, 93-95, 102, 104, 108,
// 110, 112 and 127 up have no key here.
constexpr KeyEntry baseKeys[] = {
    {0, 'a'},      {1, 's'},      {2, 'd'},      {3, 'f'},      {4, 'h'},      {5, 'g'},
    {6, 'z'},      {7, 'x'},      {8, 'c'},      {9, 'v'},      {11, 'b'},     {12, 'q'},
    {13, 'w'},     {14, 'e'},     {15, 'r'},     {16, 'y'},     {17, 't'},     {18, '1'},
    {19, '2'},     {20, '3'},     {21, '4'},     {22, '6'},     {23, '5'},     {24, '='},
    {25, '9'},     {26, '7'},     {27, '-'},     {28, '8'},     {29, '0'},     {30, ']'},
    {31, 'o'},     {32, 'u'},     {33, '['},     {34, 'i'},     {35, 'p'},     {36, 0xff0d},
    {37, 'l'},     {38, 'j'},     {39, '\''},    {40, 'k'},     {41, ';'},     {42, '\\'},
    {43, ','},     {44, '/'},     {45, 'n'},     {46, 'm'},     {47, '.'},     {48, 0xff09},
    {49, ' '},     {50, '`'},     {51, 0xff08},  {53, 0xff1b},  {64, 0xffce},  {65, 0xffae},
    {67, 0xffaa},  {69, 0xffab},  {75, 0xffaf},  {76, 0xff8d},  {78, 0xffad},  {79, 0xffcf},
    {80, 0xffd0},  {81, 0xffbd},  {82, 0xffb0},  {83, 0xffb1},  {84, 0xffb2},  {85, 0xffb3},
    {86, 0xffb4},  {87, 0xffb5},  {88, 0xffb6},  {89, 0xffb7},  {90, 0xffd1},  {91, 0xffb8},
    {92, 0xffb9},  {96, 0xffc2},  {97, 0xffc3},  {98, 0xffc4},  {99, 0xffc0},  {100, 0xffc5},
    {101, 0xffc6}, {103, 0xffc8}, {105, 0xffca}, {106, 0xffcd}, {107, 0xffcb}, {109, 0xffc7},
    {111, 0xffc9}, {113, 0xffcc}, {114, 0xff63}, {115, 0xff50}, {116, 0xff55}, {117, 0xffff},
    {118, 0xffc1}, {119, 0xff57}, {120, 0xffbf}, {121, 0xff56}, {122, 0xffbe}, {123, 0xff51},
    {124, 0xff53}, {125, 0xff54}, {126, 0xff52},
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
