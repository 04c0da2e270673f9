#pragma once

// PUBLIC SURFACE FIXED FOR THE WINDOW CONTROLLER: keep these declarations; add what you need.

#include "model/CaptureItem.h"
#include "tray/TrayNeighbours.h"

#include <QWidget>
#include <functional>

class CaptureQueue;
class NotchWindowController;
class ScreenRecording;
class SettingsStore;

// The callbacks the controller hands the tray view.
struct TrayViewActions {
    std::function<void(const CaptureItem &)> onSave;
    std::function<void(const CaptureItem &)> onCopy;
    std::function<void(const CaptureItem &)> onDelete;
    // Kept with the view; nothing in it calls it.
    std::function<void()> onDismiss;
};

// The tray's content: the outline, the compact and expanded bodies, the thumbnails, the
// recording row and the action buttons. Fills its parent (the panel's container) and hangs
// from its top edge.
class CaptureTrayView final : public QWidget {
    Q_OBJECT

public:
    CaptureTrayView(NotchWindowController &controller, CaptureQueue &queue,
                    SettingsStore &settings, ScreenRecording *recorder,
                    TrayNeighbours neighbours, TrayViewActions actions,
                    QWidget *parent = nullptr);
    ~CaptureTrayView() override;

    // A new show hands fresh callbacks; the view itself (and any drag it started) survives.
    void setActions(TrayViewActions actions);
    // Whether a click at this point (view coordinates) belongs to a control that acts on its
    // own (the recording's stop and cancel buttons), so it must not count as a click on the
    // tray as well.
    bool ownsClick(QPoint position) const;
};
