#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "tray/TrayNeighbours.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class QMimeData;
class TrayState;

// The callbacks the controller hands the tray view.
struct TrayViewActions {
    std::function<void(const CaptureItem &)> onSave;
    std::function<void(const CaptureItem &)> onCopy;
    std::function<void(const CaptureItem &)> onDelete;
    // Kept with the view; nothing in it calls it.
    std::function<void()> onDismiss;
};

// The staged capture with this identifier, as the queue holds it now.
std::optional<CaptureItem> queuedItem(const CaptureQueue &queue, const QUuid &id);

// The pending step of the hover preview: one call after a delay, replaced by the next start and
// dropped by cancel(). The tray uses a timer; tests step a clock of their own.
class TrayHoverScheduler {
public:
    virtual ~TrayHoverScheduler() = default;
    virtual void start(std::chrono::milliseconds delay, std::function<void()> work) = 0;
    virtual void cancel() = 0;
    virtual bool isPending() const = 0;
};

std::unique_ptr<TrayHoverScheduler> makeTimerHoverScheduler();

// What clicking, hovering and dragging a thumbnail and pressing an action button do: selection,
// the preview (opened after a rest of the pointer, made persistent by a click) and the actions on
// the selected capture. Without a preview, clicks only select and hovers do nothing.
class TrayInteractions {
public:
    static constexpr std::chrono::milliseconds previewOpenDelay{600};
    static constexpr std::chrono::milliseconds previewCloseDelay{100};

    // The tray's state (may be null) is asked for its optional open, annotate and
    // text-recognition actions each time one of those buttons is pressed, and tells of a capture
    // that could not be pinned.
    TrayInteractions(CaptureQueue &queue, TrayNeighbours neighbours, TrayViewActions actions,
                     TrayState *state);

    void setActions(TrayViewActions actions);
    const TrayViewActions &actions() const { return m_actions; }
    void setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler);
    bool hasPendingHover() const { return m_hover->isPending(); }

    // Runs the button's action on the queue's selected capture; nothing without one.
    void performAction(TrayButtonID button);
    // Selects the capture and shows it in a persistent preview.
    void handleThumbnailTap(const CaptureItem &item);
    // The button went down on a thumbnail: a click or a drag follows, not a rest that opens the
    // preview.
    void handleThumbnailPress() { m_hover->cancel(); }
    // The pointer came onto or left a thumbnail: opens the preview after a rest, or closes the
    // preview of that capture shortly after leaving, unless it is persistent.
    void handleThumbnailHover(const CaptureItem &item, bool hovering);
    // The data a drag of the capture carries (the caller owns it); a hover preview closes.
    // Null, with the reason shown in the tray, when there is no file to drag: no drag starts.
    // `dragFile` is the capture's CaptureItem::prepareDragFile, made away from the main thread.
    QMimeData *makeDragProvider(const CaptureItem &item, const std::optional<QUrl> &dragFile);

private:
    CaptureQueue &m_queue;
    TrayNeighbours m_neighbours;
    TrayViewActions m_actions;
    TrayState *m_state;
    std::unique_ptr<TrayHoverScheduler> m_hover;
};
