#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/SettingsEnums.h"
#include "platform/Displays.h"
#include "tray/NotchGeometryService.h"
#include "tray/TrayControlLayout.h"

#include <QRectF>
#include <QSizeF>
#include <functional>
#include <optional>

class CaptureQueue;
class SettingsStore;

// The displays as the tray sees them: the one it lives on, their notches, and the sizes and frames
// of the tray and its panel there for what it shows now. Main thread only.
class TrayScreens {
public:
    // `recording`: whether a recording runs; `geometry`: a display's geometry as the tray sees it.
    TrayScreens(platform::Displays &displays, const SettingsStore &settings,
                const CaptureQueue &queue, std::function<bool()> recording,
                std::function<NotchGeometry::Screen(const platform::Display &)> geometry);

    NotchGeometry::Screen geometryOf(const platform::Display &display) const;
    // What the tray shows, as far as its size depends on it.
    TrayContent content() const;
    std::optional<platform::Display> mainScreen() const;
    // The display the tray was last laid out on, as the desktop now reports it.
    std::optional<platform::Display> panelScreen() const;
    void setPanelScreen(const platform::Display &screen);
    // The given display, else the panel's, else the main one.
    std::optional<platform::Display> resolvedScreen(std::optional<platform::Display> screen) const;

    // The size of the tray itself (not of its panel) in a state.
    QSizeF visibleContentSize(TrayInteractionState state, std::optional<TrayPosition> position,
                              std::optional<platform::Display> screen) const;
    // The tray's size in a state plus the panel's margin.
    QSizeF targetContentSize(TrayInteractionState state, TrayPosition position,
                             const platform::Display &screen) const;
    // The panel's frame on a display (screen coordinates) in a state.
    QRectF frameForStationaryWindow(TrayInteractionState state, const platform::Display &screen,
                                    std::optional<TrayPosition> position) const;
    // The strip at the top of a display whose hovering opens the tray.
    QRectF hoverBandRect(const platform::Display &screen) const;

private:
    platform::Displays &m_displays;
    const SettingsStore &m_settings;
    const CaptureQueue &m_queue;
    std::function<bool()> m_recording;
    std::function<NotchGeometry::Screen(const platform::Display &)> m_screenGeometry;
    std::optional<platform::Display> m_screen;
};
