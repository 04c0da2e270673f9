#include "model/ShortcutModel.h"

#include "platform/KeyCodes.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QKeyEvent>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <utility>

namespace {

struct KeyName {
    quint16 code;
    const char *name; // UTF-8
};

// Virtual key codes (US-layout positions) with a fixed name; every other key
// is named by its characters or its code.
constexpr KeyName keyNames[] = {
    {0, "A"},     {1, "S"},     {2, "D"},   {3, "F"},      {4, "H"},    {5, "G"},    {6, "Z"},
    {7, "X"},     {8, "C"},     {9, "V"},   {11, "B"},     {12, "Q"},   {13, "W"},   {14, "E"},
    {15, "R"},    {16, "Y"},    {17, "T"},  {18, "1"},     {19, "2"},   {20, "3"},   {21, "4"},
    {22, "6"},    {23, "5"},    {25, "9"},  {26, "7"},     {28, "8"},   {29, "0"},   {31, "O"},
    {32, "U"},    {34, "I"},    {35, "P"},  {37, "L"},     {38, "J"},   {40, "K"},   {45, "N"},
    {46, "M"},    {36, "↩"},    {48, "⇥"},  {49, "Space"}, {51, "⌫"},   {53, "⎋"},   {117, "⌦"},
    {123, "←"},   {124, "→"},   {125, "↓"}, {126, "↑"},    {122, "F1"}, {120, "F2"}, {99, "F3"},
    {118, "F4"},  {96, "F5"},   {97, "F6"}, {98, "F7"},    {100, "F8"}, {101, "F9"}, {109, "F10"},
    {103, "F11"}, {111, "F12"},
};

// A JSON number that is a whole value within 32 unsigned bits.
std::optional<quint32> unsignedMember(const QJsonObject &object, const char *name)
{
    const QJsonValue value = object.value(QLatin1String(name));
    if (!value.isDouble())
        return std::nullopt;
    const double number = value.toDouble();
    if (!std::isfinite(number) || number < 0 || number > 4294967295.0 ||
        number != std::floor(number))
        return std::nullopt;
    return static_cast<quint32>(number);
}

} // namespace

quint32 CarbonModifier::fromQt(Qt::KeyboardModifiers modifiers)
{
    quint32 bits = 0;
    if (modifiers & Qt::ControlModifier)
        bits |= control;
    if (modifiers & Qt::AltModifier)
        bits |= option;
    if (modifiers & Qt::ShiftModifier)
        bits |= shift;
    if (modifiers & Qt::MetaModifier)
        bits |= command;
    return bits;
}

QString CarbonModifier::glyphs(quint32 carbonModifiers)
{
    QString text;
    if (carbonModifiers & control)
        text += QChar(0x2303);
    if (carbonModifiers & option)
        text += QChar(0x2325);
    if (carbonModifiers & shift)
        text += QChar(0x21e7);
    if (carbonModifiers & command)
        text += QChar(0x2318);
    return text;
}

QJsonObject ShortcutData::toJson() const
{
    return QJsonObject{{QStringLiteral("keyCode"), static_cast<double>(keyCode)},
                       {QStringLiteral("carbonModifiers"), static_cast<double>(carbonModifiers)},
                       {QStringLiteral("displayString"), displayString}};
}

QByteArray ShortcutData::toJsonText() const
{
    return QJsonDocument(toJson()).toJson(QJsonDocument::Compact);
}

std::optional<ShortcutData> ShortcutData::fromJson(const QJsonObject &object)
{
    const auto keyCode = unsignedMember(object, "keyCode");
    const auto modifiers = unsignedMember(object, "carbonModifiers");
    const QJsonValue display = object.value(QLatin1String("displayString"));
    if (!keyCode || !modifiers || !display.isString())
        return std::nullopt;
    return ShortcutData{*keyCode, *modifiers, display.toString()};
}

std::optional<ShortcutData> ShortcutData::fromJsonText(const QByteArray &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    return fromJson(document.object());
}

QString ShortcutData::keyString(quint16 keyCode, const std::optional<QString> &characters)
{
    for (const KeyName &entry : keyNames) {
        if (entry.code == keyCode)
            return QString::fromUtf8(entry.name);
    }
    if (characters) {
        const QString upper = characters->toUpper();
        if (!upper.isEmpty())
            return upper;
    }
    return QString::number(keyCode);
}

std::optional<ShortcutData> ShortcutData::from(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (!CarbonModifier::fromQt(modifiers))
        return std::nullopt;
    // The place of the key, whatever the layout types there. Events made without a window
    // system (offscreen) have no scan code; their symbol names the key as a US keyboard types it.
    const auto keyCode = event.nativeScanCode()
                             ? platform::virtualKeyForX11Keycode(event.nativeScanCode())
                             : platform::virtualKeyForKeysym(event.nativeVirtualKey(),
                                                             modifiers & Qt::ShiftModifier);
    if (!keyCode)
        return std::nullopt;
    // Shift or caps lock change the symbol; the name comes from the unmodified key.
    const auto baseKeysym = platform::keysymForVirtualKey(*keyCode);
    return from(*keyCode, CarbonModifier::fromQt(modifiers),
                baseKeysym ? platform::keysymText(*baseKeysym) : std::nullopt);
}

std::optional<ShortcutData> ShortcutData::from(quint16 keyCode, quint32 carbonModifiers,
                                               const std::optional<QString> &characters)
{
    const quint32 modifiers = carbonModifiers & CarbonModifier::all;
    if (!modifiers)
        return std::nullopt;
    return ShortcutData{keyCode, modifiers,
                        CarbonModifier::glyphs(modifiers) + keyString(keyCode, characters)};
}

bool isGrabbableShortcut(quint32 keyCode, quint32 carbonModifiers)
{
    return (carbonModifiers & CarbonModifier::all) != 0 &&
           platform::keysymForVirtualKey(keyCode).has_value();
}

QString shortcutDisplayText(const ShortcutData &shortcut)
{
    if (!isGrabbableShortcut(shortcut.keyCode, shortcut.carbonModifiers))
        return QStringLiteral("Not set");
    return shortcutDisplayText(shortcut.displayString);
}

QString shortcutDisplayText(const QString &displayString)
{
    struct Name {
        char16_t glyph;
        const char *name;
    };
    static constexpr Name modifierNames[] = {
        {u'⌃', "Ctrl"}, {u'⌥', "Alt"}, {u'⇧', "Shift"}, {u'⌘', "Super"}};
    static constexpr Name keyGlyphNames[] = {{u'↩', "Enter"}, {u'⇥', "Tab"},    {u'⌫', "Backspace"},
                                             {u'⎋', "Esc"},   {u'⌦', "Delete"}, {u'←', "Left"},
                                             {u'→', "Right"}, {u'↓', "Down"},   {u'↑', "Up"}};
    qsizetype keyAt = 0;
    bool held[std::size(modifierNames)] = {};
    for (; keyAt < displayString.size(); ++keyAt) {
        const auto modifier =
            std::find_if(std::begin(modifierNames), std::end(modifierNames),
                         [&](const Name &name) { return displayString[keyAt] == name.glyph; });
        if (modifier == std::end(modifierNames))
            break;
        held[modifier - std::begin(modifierNames)] = true;
    }
    QStringList parts;
    for (size_t index = 0; index < std::size(modifierNames); ++index) {
        if (held[index])
            parts << QString::fromLatin1(modifierNames[index].name);
    }
    QString key = displayString.mid(keyAt);
    for (const Name &name : keyGlyphNames) {
        if (key == QChar(name.glyph))
            key = QString::fromLatin1(name.name);
    }
    if (!key.isEmpty())
        parts << key;
    return parts.join(u'+');
}

size_t qHash(const ShortcutData &data, size_t seed)
{
    return qHashMulti(seed, data.keyCode, data.carbonModifiers, data.displayString);
}

ShortcutDefinition::ShortcutDefinition(QString id, quint32 keyCode, quint32 carbonModifiers,
                                       QString displayString)
    : id(std::move(id)), keyCode(keyCode), carbonModifiers(carbonModifiers),
      displayString(std::move(displayString))
{
}

ShortcutDefinition::ShortcutDefinition(QString id, const ShortcutData &data)
    : ShortcutDefinition(std::move(id), data.keyCode, data.carbonModifiers, data.displayString)
{
}

ShortcutDefinition::ShortcutSet ShortcutDefinition::shortcuts(ShortcutScheme scheme)
{
    using namespace CarbonModifier;
    struct Row {
        quint32 modifiers;
        quint32 codes[4];
        const char *glyphs; // UTF-8 modifier glyphs shared by the four keys
        const char *keys[4];
    };
    static constexpr Row controlOptionRow{
        control | option, {18, 19, 20, 21}, "⌃⌥", {"1", "2", "3", "4"}};
    static constexpr Row commandShiftRow{
        command | shift, {22, 26, 28, 25}, "⇧⌘", {"6", "7", "8", "9"}};
    static constexpr Row commandControlRow{
        command | control, {18, 19, 20, 21}, "⌃⌘", {"1", "2", "3", "4"}};

    const Row &row = scheme == ShortcutScheme::commandShift     ? commandShiftRow
                     : scheme == ShortcutScheme::commandControl ? commandControlRow
                                                                : controlOptionRow;
    const auto slot = [&row](const char *id, int index) {
        return ShortcutDefinition(QString::fromLatin1(id), row.codes[index], row.modifiers,
                                  QString::fromUtf8(row.glyphs) + QLatin1String(row.keys[index]));
    };
    return {slot("fullDisplay", 0), slot("area", 1), slot("window", 2), slot("record", 3)};
}

size_t qHash(const ShortcutDefinition &definition, size_t seed)
{
    return qHashMulti(seed, definition.id, definition.keyCode, definition.carbonModifiers,
                      definition.displayString);
}
