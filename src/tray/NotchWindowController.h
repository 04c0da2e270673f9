#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/SettingsEnums.h"
#include "platform/Displays.h"
#include "tray/NotchGeometryService.h"
#include "tray/TrayControlLayout.h"
#include "tray/TrayControlTimers.h"
#include "tray/TrayNeighbours.h"
#include "tray/TrayNotice.h"

#include <QEasingCurve>
#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QSizeF>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class CaptureTrayView;
class NotchTrackingContainerView;
class QKeyEvent;
class ScreenRecording;
class SettingsStore;
struct TrayContent;

namespace platform {
class Compositor;
class PanelWindows;
class PointerMonitor;
struct PointerEvent;
class WindowFade;
} // namespace platform

// Owns the staging tray's panel: sizes and places it for each interaction state, shows and
// hides it with a fade, runs the state machine with its timers, and follows the queue and the
// tray settings. Main thread only; one for the program's life.
class NotchWindowController final : public QObject, public StagingTray {
    Q_OBJECT

public:
    struct Services {
        CaptureQueue &queue;
        SettingsStore &settings;
        StagingTrayCallbacks callbacks;
        platform::Displays &displays;
        // Null: no recording is ever running.
        ScreenRecording *recorder = nullptr;
        TrayNeighbours neighbours;
        // Null in tests that need no real panel behaviour beyond Qt's.
        std::shared_ptr<platform::PanelWindows> panels;
        std::unique_ptr<platform::PointerMonitor> pointerMonitor;
        const platform::Compositor *compositor = nullptr;
        // A display's geometry as the tray sees it. Empty: as the desktop reports it (no notch),
        // with the visible frame of `panels`. Tests give notched displays here.
        std::function<NotchGeometry::Screen(const platform::Display &)> screenGeometry;
        // Starts the delayed actions; null: the event loop's timers.
        std::shared_ptr<TrayTimerSource> timers;
    };

    static constexpr std::chrono::milliseconds hoverInDelay{150};
    static constexpr std::chrono::milliseconds hoverOutDelay{250};
    static constexpr std::chrono::milliseconds autoCollapseDelay{1200};
    static constexpr int fadeInMs = 320;
    static constexpr int fadeOutMs = 240;
    // The one animation of state changes made by the user's pointer, keys and clicks.
    static constexpr int morphDurationMs = 380;
    static QEasingCurve morphEasing();

    explicit NotchWindowController(Services services, QObject *parent = nullptr);
    ~NotchWindowController() override;

    // Read by the tray view.
    TrayInteractionState interactionState() const;
    bool isPinned() const;
    bool hasNotch() const override;
    double notchHeight() const;
    double notchWidth() const;
    double expansionProgress() const;
    // Stores the value only when it differs by more than 0.01.
    void reportExpansionProgress(double progress);
    // The size of the tray itself (not of its panel) in a state.
    QSizeF visibleContentSize(TrayInteractionState state,
                              std::optional<TrayPosition> position = std::nullopt,
                              std::optional<platform::Display> screen = std::nullopt) const;
    bool isRecording() const;
    // True while a change of interactionState made by the user (hover, key, click) is being
    // announced, and only on a compositing desktop: such a change is drawn with morphDurationMs
    // and morphEasing(). Without a compositor the panel is shaped to the new outline at once, so
    // the view switches at once too.
    bool isStateChangeAnimated() const;
    // Whether the tray is attached to the notch of its display (notch position on a notched
    // display): its top corners are square and its content starts notchHeight() down.
    bool isAttachedToNotch() const;

    // Optional actions of the tray's keys and buttons; unset ones do nothing.
    std::function<void(const CaptureItem &)> onQuickLook;
    std::function<void(const CaptureItem &)> onOCR;
    std::function<void(const CaptureItem &)> onAnnotate;

    // A short message about one capture for the information column while that capture is shown
    // (say, that it has no text to read, or that its text is being read); replaced by the next,
    // gone after `duration` (none: stays until replaced or cleared).
    static constexpr std::chrono::milliseconds noticeDuration{4000};
    void showNotice(const QUuid &id, const QString &text,
                    TrayNotice::Tone tone = TrayNotice::Tone::problem,
                    std::optional<std::chrono::milliseconds> duration = noticeDuration);
    // Takes the capture's notice away, if it still has one.
    void clearNotice(const QUuid &id);
    std::optional<TrayNotice> noticeAbout(const QUuid &id) const;
    std::optional<QString> noticeFor(const QUuid &id) const;

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
    // After a deletion emptied the queue: unpin, then fold into the notch, move to a notched
    // display or hide, and lay out again.
    void emptyStateFallback();
    // The tray's size in a state plus the panel's margin.
    QSizeF targetContentSize(TrayInteractionState state, TrayPosition position,
                             const platform::Display &screen) const;
    // The panel's frame on a display (screen coordinates) for the current state.
    QRectF frameForStationaryWindow(const platform::Display &screen,
                                    std::optional<TrayPosition> position = std::nullopt) const;
    // A click on the tray: a stop request while recording, else pin it open expanded.
    void trayClicked();
    void pin();
    void unpin();
    // A plain assignment of the state (no animation).
    void setInteractionState(TrayInteractionState state);
    bool isVisible() const;
    // The panel's native window; nothing before the first show.
    std::optional<quintptr> windowID() const;

    // Pointer, keys and scrolling. The monitors live while the tray is shown.
    void installEventMonitors();
    void removeEventMonitors();
    bool areEventMonitorsInstalled() const;
    // The strip at the top of a display whose hovering opens the tray (screen coordinates).
    QRectF hoverBandRect(const platform::Display &screen) const;
    bool isPointOverTray(QPointF screenPoint) const;
    // The pointer moved (anywhere); `heldButtons`: the buttons down during the move.
    void handleMouseMoved(Qt::MouseButtons heldButtons = Qt::NoButton);
    void scheduleHoverIn();
    void scheduleHoverOut();
    // True when the key was used (nothing else may receive it).
    bool handleKeyDown(const QKeyEvent &event);
    // A click that landed outside the panel.
    void handleClickOutside();
    // A wheel or touchpad scroll over our windows, as Qt reports it.
    void handleHorizontalScroll(QPoint pixelDelta, QPoint angleDelta);
    void selectPrevious();
    void selectNext();

    // For the panel's container.
    CaptureQueue &queue() const { return m_queue; }
    SettingsStore &settings() const { return m_settings; }
    const StagingTrayCallbacks &callbacks() const { return m_callbacks; }
    // The coordinator's delete for a capture (a drop of its file on the tray).
    void deleteCapture(const CaptureItem &item) const;
    // The panel (its container) and the tray view inside; null before the first show.
    NotchTrackingContainerView *panel() const;
    CaptureTrayView *trayView() const;
    // Where the panel was last placed (screen coordinates).
    QRectF panelFrame() const { return m_panelFrame; }
    // The display the tray was last laid out on, as the desktop now reports it.
    std::optional<platform::Display> panelScreen() const;
    bool isCompositing() const;

signals:
    void interactionStateChanged(TrayInteractionState state);
    void isPinnedChanged(bool pinned);
    void notchMetricsChanged();
    void expansionProgressChanged(double progress);
    // The tray's material or accent changed: draw again.
    void appearanceChanged();
    void noticeChanged();

protected:
    // The local monitors: pointer, clicks, keys and scrolling in the program's own windows.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    std::optional<TrayNotice> m_notice;
    std::unique_ptr<TrayTimerSource::Pending> m_noticeTask;

    NotchGeometry::Screen geometryOf(const platform::Display &display) const;
    TrayContent content() const;
    std::optional<platform::Display> mainScreen() const;
    std::optional<platform::Display> resolvedScreen(std::optional<platform::Display> screen) const;
    void publishNotchMetrics(const platform::Display &screen);
    void assignState(TrayInteractionState state, bool animated);
    void morphTo(TrayInteractionState state) { assignState(state, true); }
    void stateDidChange(TrayInteractionState previous);
    void scheduleAutoCollapse();
    void scheduleAutoHide();
    void moveToNotchedDisplay();
    void buildPanel();
    void installTrayView();
    void placePanel(const QRectF &frame);
    QRect qtGeometry(const QRectF &screenFrame) const;
    void bindModel();
    void pointerEvent(const platform::PointerEvent &event);
    void clickMonitorFired();
    bool isPointerOutsidePanel() const;
    bool isPointerOnTray() const;
    std::optional<CaptureItem> selectedItem() const;
    void runItemAction(const std::function<void(const CaptureItem &)> &action,
                       const CaptureItem &item) const;
    void cancelAutoHide();

    CaptureQueue &m_queue;
    SettingsStore &m_settings;
    StagingTrayCallbacks m_callbacks;
    platform::Displays &m_displays;
    ScreenRecording *m_recorder;
    TrayNeighbours m_neighbours;
    std::shared_ptr<platform::PanelWindows> m_panels;
    std::unique_ptr<platform::PointerMonitor> m_pointerMonitor;
    const platform::Compositor *m_compositor;
    std::function<NotchGeometry::Screen(const platform::Display &)> m_screenGeometry;
    std::shared_ptr<TrayTimerSource> m_timers;

    // The panel is made by the first show and kept; hiding only unmaps it.
    std::unique_ptr<NotchTrackingContainerView> m_panel;
    QPointer<CaptureTrayView> m_trayView;
    platform::WindowFade *m_fade = nullptr;
    QRectF m_panelFrame;
    std::optional<platform::Display> m_screen;

    QMetaObject::Connection m_globalMonitor;
    bool m_localMonitorsInstalled = false;

    std::unique_ptr<TrayTimerSource::Pending> m_autoHideTask;
    std::unique_ptr<TrayTimerSource::Pending> m_autoCollapseTask;
    std::unique_ptr<TrayTimerSource::Pending> m_hoverInTask;
    std::unique_ptr<TrayTimerSource::Pending> m_hoverOutTask;

    bool m_isPinned = false;
    TrayInteractionState m_interactionState = TrayInteractionState::compact;
    TrayWheelPaging m_wheelPaging;
    bool m_stateChangeAnimated = false;
    bool m_hasNotch = false;
    double m_notchHeight = 0;
    double m_notchWidth = 0;
    double m_expansionProgress = 0;
};
