#pragma once

#include <QList>
#include <QString>
#include <array>
#include <optional>
#include <type_traits>

// Closed enumerations whose cases persist as fixed strings. Each enum
// specialises StoredEnumStrings with its strings in declaration order; the
// in-memory value is the case index and never leaves the process.
template <typename E>
struct StoredEnumStrings; // static constexpr std::array<const char *, N> values (UTF-8)

template <typename E>
concept StoredEnum = std::is_enum_v<E> && requires
{
    StoredEnumStrings<E>::values;
};

template <StoredEnum E> QString rawValue(E value)
{
    return QString::fromUtf8(StoredEnumStrings<E>::values[static_cast<size_t>(value)]);
}

// Exact, case-sensitive match against the stored strings: no trimming, no
// normalisation. Anything else is no value.
template <StoredEnum E> std::optional<E> enumFromRawValue(const QString &text)
{
    const auto &values = StoredEnumStrings<E>::values;
    for (size_t i = 0; i < values.size(); ++i) {
        if (text == QString::fromUtf8(values[i]))
            return static_cast<E>(i);
    }
    return std::nullopt;
}

template <StoredEnum E> QList<E> allCases()
{
    QList<E> cases;
    for (size_t i = 0; i < StoredEnumStrings<E>::values.size(); ++i)
        cases.append(static_cast<E>(i));
    return cases;
}
