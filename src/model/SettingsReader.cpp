#include "model/SettingsReader.h"

#include "model/UserDefaults.h"

#include <cmath>
#include <limits>

double NumberRule::positive(double value, double fallback)
{
    return std::isfinite(value) && value > 0.0 ? value : fallback;
}

double NumberRule::nonNegative(double value, double fallback)
{
    return std::isfinite(value) && value >= 0.0 ? value : fallback;
}

bool SettingsReader::flag(const char *key, bool fallback) const
{
    return m_defaults.boolValue(key).value_or(fallback);
}

int SettingsReader::count(const char *key, int fallback) const
{
    const auto value = m_defaults.integerValue(key);
    if (value && *value > 0 && *value <= std::numeric_limits<int>::max())
        return static_cast<int>(*value);
    return fallback;
}

double SettingsReader::number(const char *key, double fallback) const
{
    return m_defaults.doubleValue(key).value_or(fallback);
}

ShortcutScheme SettingsReader::scheme(const char *key, ShortcutScheme fallback) const
{
    const auto stored = storedText(key);
    if (!stored)
        return fallback;
    if (const auto scheme = enumFromRawValue<ShortcutScheme>(*stored))
        return *scheme;
    if (stored->contains(QString::fromUtf8("⇧⌘6")))
        return ShortcutScheme::commandShift;
    if (stored->contains(QString::fromUtf8("⌃⌘1")))
        return ShortcutScheme::commandControl;
    return fallback;
}

QString SettingsReader::text(const char *key, const QString &fallback) const
{
    return storedText(key).value_or(fallback);
}

QSet<QString> SettingsReader::nameSet(const char *key, const QSet<QString> &fallback) const
{
    const auto names = m_defaults.stringArray(key);
    return names ? QSet<QString>(names->cbegin(), names->cend()) : fallback;
}

ShortcutData SettingsReader::shortcut(const char *key, const ShortcutData &fallback) const
{
    const auto json = m_defaults.jsonText(key);
    const auto data = json ? ShortcutData::fromJsonText(*json) : std::nullopt;
    return data.value_or(fallback);
}

std::optional<QString> SettingsReader::storedText(const char *key) const
{
    return m_defaults.stringValue(key);
}
