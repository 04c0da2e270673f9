#include "tray/TrayScreens.h"

#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"

TrayScreens::TrayScreens(platform::Displays &displays, const SettingsStore &settings,
                         const CaptureQueue &queue, std::function<bool()> recording,
                         std::function<NotchGeometry::Screen(const platform::Display &)> geometry)
    : m_displays(displays), m_settings(settings), m_queue(queue), m_recording(std::move(recording)),
      m_screenGeometry(std::move(geometry))
{
}

void TrayScreens::setPanelScreen(const platform::Display &screen)
{
    m_screen = screen;
}

NotchGeometry::Screen TrayScreens::geometryOf(const platform::Display &display) const
{
    return m_screenGeometry(display);
}

TrayContent TrayScreens::content() const
{
    return TrayContent{
        .itemCount = int(m_queue.items().size()),
        .recording = m_recording && m_recording(),
        .traySize = m_settings.traySize(),
        .visibleButtons = visibleTrayButtonCount(m_settings.disabledTrayButtons()),
    };
}

std::optional<platform::Display> TrayScreens::mainScreen() const
{
    return m_displays.mainDisplay();
}

std::optional<platform::Display> TrayScreens::panelScreen() const
{
    if (!m_screen)
        return std::nullopt;
    // An unplugged display is no longer the panel's screen.
    for (const platform::Display &display : m_displays.displays()) {
        if (display.id == m_screen->id)
            return display;
    }
    return std::nullopt;
}

std::optional<platform::Display>
TrayScreens::resolvedScreen(std::optional<platform::Display> screen) const
{
    if (screen)
        return screen;
    if (auto own = panelScreen())
        return own;
    return mainScreen();
}

QSizeF TrayScreens::visibleContentSize(TrayInteractionState state,
                                       std::optional<TrayPosition> position,
                                       std::optional<platform::Display> screen) const
{
    const std::optional<platform::Display> resolved = resolvedScreen(std::move(screen));
    if (!resolved)
        return trayContentSizeWithoutScreen();
    return trayContentSize(state, position.value_or(m_settings.trayPosition()),
                           geometryOf(*resolved), content());
}

QSizeF TrayScreens::targetContentSize(TrayInteractionState state, TrayPosition position,
                                      const platform::Display &screen) const
{
    return trayPanelContentSize(trayContentSize(state, position, geometryOf(screen), content()));
}

QRectF TrayScreens::frameForStationaryWindow(TrayInteractionState state,
                                             const platform::Display &screen,
                                             std::optional<TrayPosition> position) const
{
    return trayPanelFrame(state, position.value_or(m_settings.trayPosition()), geometryOf(screen),
                          content());
}

QRectF TrayScreens::hoverBandRect(const platform::Display &screen) const
{
    return trayHoverBand(geometryOf(screen), m_settings.trayPosition());
}
