#pragma once

#include "platform/Displays.h"

#include <QRectF>
#include <optional>

// Small lookups that tie displays to their identifiers, each with a fallback so that none
// comes back empty while at least one display exists.

// The scale used where no display can be found.
constexpr double fallbackScaleFactor = 2.0;

platform::DisplayId displayID(const platform::Display &display);

// The display under the pointer; otherwise the main display, then the first.
std::optional<platform::Display> screenContainingMouse(const platform::Displays &displays);

// The display with the identifier; an unknown identifier gives the main display, then the first.
std::optional<platform::Display> screenForDisplayID(const platform::Displays &displays,
                                                    platform::DisplayId id);

// The display's frame in capture coordinates (points).
QRectF frameRect(const platform::Display &display);

// Pixels per point of the display; fallbackScaleFactor without one.
double scaleFactor(const std::optional<platform::Display> &display);
// Pixels per point of the display that screenForDisplayID gives.
double scaleFactor(const platform::Displays &displays, platform::DisplayId id);
