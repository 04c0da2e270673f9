#pragma once

#include "capture/CaptureNeighbours.h"
#include "tray/TrayNeighbours.h"
#include "tray/TrayScreens.h"
#include "tray/TrayState.h"
#include "tray/TrayStateMachine.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class CaptureTrayView;
class NotchTrackingContainerView;
class ScreenRecording;
class TrayEventMonitors;
class SettingsStore;

namespace platform {
class Compositor;
class PanelWindows;
class PointerMonitor;
class WindowFade;
} // namespace platform

// Owns the staging tray's panel: sizes and places it for each interaction state, shows and
// hides it with a fade, runs the state machine with its timers, and follows the queue and the
// tray settings. Main thread only; one for the program's life.
class NotchWindowController final : public QObject, public StagingTray, private TrayWindowControl {
    Q_OBJECT

public:
    struct Services {
        CaptureQueue &queue;
        SettingsStore &settings;
        StagingTrayCallbacks callbacks;
        platform::Displays &displays;
        // Null: no recording is ever running.
        ScreenRecording *recorder = nullptr;
        TrayNeighbours neighbours{};
        // Null in tests that need no real panel behaviour beyond Qt's.
        std::shared_ptr<platform::PanelWindows> panels;
        std::unique_ptr<platform::PointerMonitor> pointerMonitor;
        const platform::Compositor *compositor = nullptr;
        // A display's geometry as the tray sees it. Empty: as the desktop reports it (no notch),
        // with the visible frame of `panels`. Tests give notched displays here.
        std::function<NotchGeometry::Screen(const platform::Display &)> screenGeometry{};
        // Starts the delayed actions; null: the event loop's timers.
        std::shared_ptr<TrayTimerSource> timers{};
    };

    static constexpr int fadeInMs = 320;
    static constexpr int fadeOutMs = 240;

    explicit NotchWindowController(Services services, QObject *parent = nullptr);
    ~NotchWindowController() override;

    // What the tray's views read.
    TrayState &state() const { return *m_state; }
    TrayInteractionState interactionState() const { return m_state->interactionState(); }
    bool isPinned() const { return m_state->isPinned(); }
    bool hasNotch() const override { return m_state->hasNotch(); }
    double notchHeight() const { return m_state->notchHeight(); }
    double notchWidth() const { return m_state->notchWidth(); }
    bool isStateChangeAnimated() const { return m_state->isStateChangeAnimated(); }
    // The size of the tray itself (not of its panel) in a state.
    QSizeF visibleContentSize(TrayInteractionState state,
                              std::optional<TrayPosition> position = std::nullopt,
                              std::optional<platform::Display> screen = std::nullopt) const
    {
        return m_screens->visibleContentSize(state, position, std::move(screen));
    }
    bool isRecording() const override;
    // Whether the tray is attached to the notch of its display (notch position on a notched
    // display): its top corners are square and its content starts notchHeight() down.
    bool isAttachedToNotch() const;

    // StagingTray, as the coordinator drives it.
    void show(std::optional<platform::Display> screen, TrayInteractionState state) override;
    void updateLayout(std::optional<TrayPosition> position,
                      std::optional<platform::Display> screen) override;
    void hide(bool force) override;
    void reconcileAfterQueueChange() override;
    bool isWindowVisible() const override;

    // No position: the trayPosition setting; no screen: the panel's, else the main one. Publishes
    // the display's notch metrics and places the panel (when there is one).
    void updatePosition(std::optional<TrayPosition> position = std::nullopt,
                        std::optional<platform::Display> screen = std::nullopt);
    // The panel's frame on a display (screen coordinates) for the current state.
    QRectF frameForStationaryWindow(const platform::Display &screen,
                                    std::optional<TrayPosition> position = std::nullopt) const
    {
        return m_screens->frameForStationaryWindow(interactionState(), screen, position);
    }
    void trayClicked() { m_machine->trayClicked(); }
    void pin() { m_machine->pin(); }
    void unpin() { m_machine->unpin(); }
    // A plain assignment of the state (no animation).
    void setInteractionState(TrayInteractionState state) { m_machine->setInteractionState(state); }
    bool isVisible() const;
    // The panel's native window; nothing before the first show.
    std::optional<quintptr> windowID() const;

    // Pointer, keys and scrolling. The monitors live while the tray is shown.
    void installEventMonitors();
    void removeEventMonitors();
    bool areEventMonitorsInstalled() const;
    // The strip at the top of a display whose hovering opens the tray (screen coordinates).
    QRectF hoverBandRect(const platform::Display &screen) const
    {
        return m_screens->hoverBandRect(screen);
    }
    bool isPointOverTray(QPointF screenPoint) const;
    void handleMouseMoved(Qt::MouseButtons heldButtons = Qt::NoButton)
    {
        m_machine->handleMouseMoved(heldButtons);
    }
    void scheduleHoverIn() { m_machine->scheduleHoverIn(); }
    bool handleKeyDown(const QKeyEvent &event) { return m_machine->handleKeyDown(event); }
    void handleClickOutside() { m_machine->handleClickOutside(); }
    void handleHorizontalScroll(QPoint pixelDelta, QPoint angleDelta)
    {
        m_machine->handleHorizontalScroll(pixelDelta, angleDelta);
    }

    // For the panel's container.
    CaptureQueue &queue() const { return m_queue; }
    SettingsStore &settings() const { return m_settings; }
    // The coordinator's delete for a capture (a drop of its file on the tray).
    void deleteCapture(const CaptureItem &item) const;
    // The panel (its container) and the tray view inside; null before the first show.
    NotchTrackingContainerView *panel() const;
    CaptureTrayView *trayView() const;
    // Where the panel was last placed (screen coordinates).
    QRectF panelFrame() const { return m_panelFrame; }
    // The display the tray was last laid out on, as the desktop now reports it.
    std::optional<platform::Display> panelScreen() const { return m_screens->panelScreen(); }
    bool isCompositing() const;

private:
    void publishNotchMetrics(const platform::Display &screen);
    // TrayWindowControl, for the state machine.
    bool isWindowShown() const override { return isVisible(); }
    bool isOnScreen() const override { return isVisible() && panelScreen(); }
    bool knowsPointer() const override;
    void hideTray(bool force) override { hide(force); }
    void relayout() override { updatePosition(); }
    void moveToNotchedDisplay() override;
    void buildPanel();
    void installTrayView();
    void placePanel(const QRectF &frame);
    QRect qtGeometry(const QRectF &screenFrame) const;
    void bindModel();
    void clickMonitorFired();
    bool isPointerOutsidePanel() const;
    bool isPointerOnTray() const override;

    CaptureQueue &m_queue;
    SettingsStore &m_settings;
    StagingTrayCallbacks m_callbacks;
    platform::Displays &m_displays;
    ScreenRecording *m_recorder;
    TrayNeighbours m_neighbours;
    std::shared_ptr<platform::PanelWindows> m_panels;
    const platform::Compositor *m_compositor;
    std::shared_ptr<TrayTimerSource> m_timers;
    std::unique_ptr<TrayState> m_state;
    std::unique_ptr<TrayStateMachine> m_machine;

    // The panel is made by the first show and kept; hiding only unmaps it.
    std::unique_ptr<NotchTrackingContainerView> m_panel;
    QPointer<CaptureTrayView> m_trayView;
    platform::WindowFade *m_fade = nullptr;
    QRectF m_panelFrame;
    std::unique_ptr<TrayScreens> m_screens;

    std::unique_ptr<TrayEventMonitors> m_monitors;

public:
    // Optional actions of the tray's keys and buttons, kept in the published state (declared
    // after it, which they refer to); unset ones do nothing.
    std::function<void(const CaptureItem &)> &onQuickLook;
    std::function<void(const CaptureItem &)> &onOCR;
    std::function<void(const CaptureItem &)> &onAnnotate;
};
