#pragma once

#include "model/SettingsEnums.h"

#include <QByteArray>
#include <QHashFunctions>
#include <QJsonObject>
#include <QString>
#include <optional>

class QKeyEvent;

// Modifier bits of a stored key combination. Display strings always show them
// in the order control, option, shift, command.
namespace CarbonModifier {
constexpr quint32 command = 256;
constexpr quint32 shift = 512;
constexpr quint32 option = 2048;
constexpr quint32 control = 4096;
constexpr quint32 all = control | option | shift | command;

// The bits of a key event's modifiers: Ctrl is control, Alt option, Shift shift and
// Super (Qt's Meta) command; other modifiers are left out.
quint32 fromQt(Qt::KeyboardModifiers modifiers);
// The glyphs of the bits that are set, in the order ⌃ ⌥ ⇧ ⌘.
QString glyphs(quint32 carbonModifiers);
} // namespace CarbonModifier

// One key combination as stored in the settings. The display string is kept
// as built, never recomputed from the other two fields.
struct ShortcutData {
    quint32 keyCode = 0;
    quint32 carbonModifiers = 0;
    QString displayString;

    bool operator==(const ShortcutData &) const = default;

    QJsonObject toJson() const;
    // Compact JSON text, as persisted.
    QByteArray toJsonText() const;
    // All three members are required with their JSON types (numbers must be
    // whole and fit 32 unsigned bits); other members are ignored.
    static std::optional<ShortcutData> fromJson(const QJsonObject &object);
    static std::optional<ShortcutData> fromJsonText(const QByteArray &text);

    // The name of a key as the user sees it: the fixed name of the key code,
    // else the upper-cased characters, else the code in decimal.
    static QString keyString(quint16 keyCode, const std::optional<QString> &characters);

    // The combination of a key-down event, or nothing when it carries none of control, option,
    // shift and command (shift alone is enough). The key is the place of the event's X keycode
    // (its native scan code), whatever the layout types there; without a scan code, the place a
    // US keyboard has for its key symbol (its native virtual key). A key without a place on a
    // US keyboard cannot be registered either and gives nothing too.
    static std::optional<ShortcutData> from(const QKeyEvent &event);
    // The same from an event's parts: the virtual key code, the modifier bits (others than the
    // four are ignored) and the characters the key types without modifiers.
    static std::optional<ShortcutData> from(quint16 keyCode, quint32 carbonModifiers,
                                            const std::optional<QString> &characters);
};

size_t qHash(const ShortcutData &data, size_t seed = 0);

// What the user reads for a stored display string: this desktop's names, modifiers in the order
// Ctrl, Alt, Shift, Super and the key last, joined by "+" ("Ctrl+Alt+1" for "⌃⌥1", "Shift+Super+6"
// for "⇧⌘6"), keys drawn as symbols named ("Enter", "Esc", "Left"). Stored strings, the JSON and
// log lines keep the glyphs.
QString shortcutDisplayText(const QString &displayString);
// The same for a stored shortcut, or "Not set" for one the hot keys refuse as unset: no modifier,
// or a key code no key has.
QString shortcutDisplayText(const ShortcutData &shortcut);
// Whether the hot keys can grab the shortcut: it has a modifier and its key code a key.
bool isGrabbableShortcut(quint32 keyCode, quint32 carbonModifiers);

// A key combination with the identifier it is registered under.
struct ShortcutDefinition {
    QString id;
    quint32 keyCode = 0;
    quint32 carbonModifiers = 0;
    QString displayString;

    ShortcutDefinition(QString id, quint32 keyCode, quint32 carbonModifiers, QString displayString);
    ShortcutDefinition(QString id, const ShortcutData &data);

    bool operator==(const ShortcutDefinition &) const = default;

    // The four capture shortcuts; each definition's id is its field's name.
    struct ShortcutSet;

    // The preset set of a scheme; custom repeats control + option, since the
    // user's own shortcuts live in the settings.
    static ShortcutSet shortcuts(ShortcutScheme scheme);
};

struct ShortcutDefinition::ShortcutSet {
    ShortcutDefinition fullDisplay;
    ShortcutDefinition area;
    ShortcutDefinition window;
    ShortcutDefinition record;

    bool operator==(const ShortcutSet &) const = default;
};

size_t qHash(const ShortcutDefinition &definition, size_t seed = 0);
