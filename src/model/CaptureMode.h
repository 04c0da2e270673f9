#pragma once

#include "model/StoredEnum.h"

// How a capture was taken; stored and shown by its display name.
enum class CaptureMode : quint8 { fullDisplay, area, window, recording };

template <> struct StoredEnumStrings<CaptureMode> {
    static constexpr std::array<const char *, 4> values = {"Full Display", "Area Selection",
                                                           "Window", "Screen Recording"};
};

inline QString displayName(CaptureMode mode)
{
    return rawValue(mode);
}
