#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "platform/Displays.h"

#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class CaptureQueue;
class SettingsStore;

// How much of the staging tray shows.
enum class TrayInteractionState : quint8 { compact = 0, confirmation = 1, expanded = 2 };

// The staging tray as the capture engine drives it. The tray itself lives in a
// higher layer and implements this.
class StagingTray {
public:
    virtual ~StagingTray() = default;

    // Without a screen: the main display, else the first; with none at all it
    // logs and does nothing.
    virtual void show(std::optional<platform::Display> screen, TrayInteractionState state) = 0;
    // Recomputes the tray's frame without showing or hiding it. No position:
    // the trayPosition setting; no screen: the tray's own, else the main one.
    virtual void updateLayout(std::optional<TrayPosition> position,
                              std::optional<platform::Display> screen) = 0;
    // Forced: hides whatever the tray is doing.
    virtual void hide(bool force) = 0;
    // After a removal left the queue empty.
    virtual void reconcileAfterQueueChange() = 0;
    virtual bool hasNotch() const = 0;
    virtual bool isWindowVisible() const = 0;
};

// What the tray hands back to the coordinator: the user asked to save, copy or
// delete a staged capture, or to stop or cancel the running recording. No
// result; the tray does not wait.
struct StagingTrayCallbacks {
    std::function<void(const CaptureItem &)> onSave{};
    std::function<void(const CaptureItem &)> onCopy{};
    std::function<void(const CaptureItem &)> onDelete{};
    std::function<void()> onStopRecording{};
    std::function<void()> onCancelRecording{};
};

// Builds the tray once, for the coordinator. Empty (no tray) until the tray
// exists; every tray step is then skipped.
using StagingTrayFactory = std::function<std::unique_ptr<StagingTray>(
    CaptureQueue &, SettingsStore &, StagingTrayCallbacks)>;

// A window the coordinator closes before every capture (the preview, the
// markup editor). Safe to call when nothing is shown.
class ClosableWindow {
public:
    virtual ~ClosableWindow() = default;
    virtual void close() = 0;
};

// Desktop pins as the tray and the preview use them: "pin" hands the capture to the pin deck and
// completes true. False, with nothing pinned, when the capture's picture does not decode: a pin
// of it would be blank. The pins implement it.
class TrayPinning {
public:
    virtual ~TrayPinning() = default;
    virtual QCoro::Task<bool> pin(CaptureItem item) = 0;
};
