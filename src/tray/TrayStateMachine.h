#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"
#include "tray/TrayControlLayout.h"
#include "tray/TrayControlTimers.h"
#include "tray/TrayNeighbours.h"
#include "tray/TrayState.h"

#include <QPoint>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class QKeyEvent;
class SettingsStore;

// Runs one of the tray's item actions from an event handler or a timer, which no exception may
// leave: a failure is logged.
void runTrayItemAction(const std::function<void(const CaptureItem &)> &action,
                       const CaptureItem &item);

// What the state machine asks of the tray's window; the window controller answers.
class TrayWindowControl {
public:
    virtual ~TrayWindowControl() = default;
    virtual bool isWindowShown() const = 0;
    // Shown and on a display that is still there.
    virtual bool isOnScreen() const = 0;
    virtual bool knowsPointer() const = 0;
    // The pointer rests on the tray or in its hover band.
    virtual bool isPointerOnTray() const = 0;
    virtual bool isRecording() const = 0;
    virtual void hideTray(bool force) = 0;
    // Places the panel again for the current state.
    virtual void relayout() = 0;
    virtual void moveToNotchedDisplay() = 0;
};

// The tray's interaction states and its pin, with their timers (hover in and out, the return from
// the confirmation, the auto-hide), and what the pointer, the keys, the wheel and clicks outside
// do to them. It publishes into the tray's state; the window follows through TrayWindowControl.
// Main thread only.
class TrayStateMachine {
public:
    struct Services {
        TrayState &state;
        CaptureQueue &queue;
        SettingsStore &settings;
        const StagingTrayCallbacks &callbacks;
        const TrayNeighbours &neighbours;
        TrayTimerSource &timers;
        TrayWindowControl &window;
    };

    static constexpr std::chrono::milliseconds hoverInDelay{150};
    static constexpr std::chrono::milliseconds hoverOutDelay{250};
    static constexpr std::chrono::milliseconds autoCollapseDelay{1200};

    explicit TrayStateMachine(Services services);
    ~TrayStateMachine();
    TrayStateMachine(const TrayStateMachine &) = delete;
    TrayStateMachine &operator=(const TrayStateMachine &) = delete;

    // A plain assignment of the state, or (animated) one made by the user.
    void setInteractionState(TrayInteractionState state);
    void assignState(TrayInteractionState state, bool animated);
    void scheduleAutoCollapse();
    void scheduleAutoHide();
    void cancelAutoHide();
    void cancelTimers();

    // After a deletion emptied the queue: unpin, then fold into the notch, move to a notched
    // display or hide, and lay out again.
    void emptyStateFallback();

    // A click on the tray: a stop request while recording, else pin it open expanded.
    void trayClicked();
    void pin();
    void unpin();

    // The pointer moved (anywhere); `heldButtons`: the buttons down during the move.
    void handleMouseMoved(Qt::MouseButtons heldButtons = Qt::NoButton);
    void scheduleHoverIn();
    void scheduleHoverOut();
    // Whether the pointer's leaving would change the tray now (an expanded tray that is not
    // pinned folds back), so that its whereabouts matter even when no device moved it.
    bool followsPointer() const;
    // True when the key was used (nothing else may receive it).
    bool handleKeyDown(const QKeyEvent &event);
    // A click that landed outside the panel.
    void handleClickOutside();
    // A wheel or touchpad scroll over our windows, as Qt reports it.
    void handleHorizontalScroll(QPoint pixelDelta, QPoint angleDelta);
    void selectPrevious();
    void selectNext();

private:
    void stateDidChange(TrayInteractionState previous);
    std::optional<CaptureItem> selectedItem() const;

    TrayState &m_state;
    CaptureQueue &m_queue;
    SettingsStore &m_settings;
    const StagingTrayCallbacks &m_callbacks;
    const TrayNeighbours &m_neighbours;
    TrayTimerSource &m_timers;
    TrayWindowControl &m_window;

    std::unique_ptr<TrayTimerSource::Pending> m_autoHideTask;
    std::unique_ptr<TrayTimerSource::Pending> m_autoCollapseTask;
    std::unique_ptr<TrayTimerSource::Pending> m_hoverInTask;
    std::unique_ptr<TrayTimerSource::Pending> m_hoverOutTask;
    TrayWheelPaging m_wheelPaging;
};
