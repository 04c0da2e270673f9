#pragma once

#include "model/SettingsEnums.h"
#include "model/ShortcutModel.h"

#include <QSet>
#include <QString>
#include <limits>

class UserDefaults;

// The number rules on a number already read. The users of a setting apply the setting's rule to
// what the store holds too (a setter keeps any number), so that one stored number means one thing
// to every reader. NaN and infinities are numbers no rule accepts.
namespace NumberRule {
// Above 0, else the fallback.
double positive(double value, double fallback);
// 0 or more, else the fallback.
double nonNegative(double value, double fallback);
// 0 or more; a negative number gives `negative`, NaN and infinities the fallback.
template <double negative> double nonNegativeElse(double value, double fallback)
{
    return value < 0.0 && value > -std::numeric_limits<double>::infinity()
               ? negative
               : nonNegative(value, fallback);
}
} // namespace NumberRule

// The read rules of the settings file, one per kind of setting, as the settings table names them.
// Whatever a rule does not accept (absent, mistyped, out of range, unknown, written by an earlier
// version in a form no longer used) gives the setting's default. Nothing is written back.
class SettingsReader {
public:
    explicit SettingsReader(const UserDefaults &defaults) : m_defaults(defaults) {}

    // true/false/1/0.
    bool flag(const char *key, bool fallback) const;
    // A whole number above 0 that fits an int.
    int count(const char *key, int fallback) const;
    // Any number as it was stored, NaN and infinities included: their users sanitise.
    double number(const char *key, double fallback) const;
    // A number above 0; an unreadable one reads as 0, as an absent key does, and so falls back.
    double positive(const char *key, double fallback) const
    {
        return NumberRule::positive(number(key, 0.0), fallback);
    }
    // A number of 0 or more; an absent key reads 0 and passes.
    double nonNegative(const char *key, double fallback) const
    {
        return NumberRule::nonNegative(number(key, 0.0), fallback);
    }
    // As nonNegative, but a negative number gives `negative`.
    template <double negative> double nonNegativeElse(const char *key, double fallback) const
    {
        return NumberRule::nonNegativeElse<negative>(number(key, 0.0), fallback);
    }
    // One of the enumeration's stored strings, exactly.
    template <StoredEnum E> E choice(const char *key, E fallback) const
    {
        const auto stored = storedText(key);
        return stored ? enumFromRawValue<E>(*stored).value_or(fallback) : fallback;
    }
    // A scheme's stored string; strings of earlier versions that name no scheme exactly are
    // recognised by the hot keys they mention.
    ShortcutScheme scheme(const char *key, ShortcutScheme fallback) const;
    QString text(const char *key, const QString &fallback) const;
    // A list of names; duplicates fall together, names of no known button stay in the set.
    QSet<QString> nameSet(const char *key, const QSet<QString> &fallback) const;
    // A shortcut's JSON text.
    ShortcutData shortcut(const char *key, const ShortcutData &fallback) const;

private:
    std::optional<QString> storedText(const char *key) const;

    const UserDefaults &m_defaults;
};
