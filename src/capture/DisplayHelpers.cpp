#include "capture/DisplayHelpers.h"

platform::DisplayId displayID(const platform::Display &display)
{
    return display.id;
}

std::optional<platform::Display> screenContainingMouse(const platform::Displays &displays)
{
    return displays.displayUnderPointer();
}

std::optional<platform::Display> screenForDisplayID(const platform::Displays &displays,
                                                    platform::DisplayId id)
{
    return displays.display(id);
}

QRectF frameRect(const platform::Display &display)
{
    return display.captureFrame;
}

double scaleFactor(const std::optional<platform::Display> &display)
{
    return display ? display->scale : fallbackScaleFactor;
}

double scaleFactor(const platform::Displays &displays, platform::DisplayId id)
{
    return scaleFactor(screenForDisplayID(displays, id));
}
