#pragma once

#include "model/CaptureItem.h"

#include <QUuid>
#include <functional>
#include <optional>

class CaptureQueue;

// The preview window as the tray uses it. The preview is built elsewhere and plugs in here;
// without one, clicks and hovers on thumbnails only select.
class TrayPreview {
public:
    virtual ~TrayPreview() = default;
    // Shows the capture (replacing what is shown) with the tray's save, copy and delete.
    virtual void show(const CaptureItem &item, CaptureQueue &queue,
                      std::function<void(const CaptureItem &)> onSave,
                      std::function<void(const CaptureItem &)> onCopy,
                      std::function<void(const CaptureItem &)> onDelete) = 0;
    virtual void close() = 0;
    // A persistent preview (opened by a click) stays when the pointer leaves the tray.
    virtual bool isPersistent() const = 0;
    virtual void setPersistent(bool persistent) = 0;
    virtual std::optional<QUuid> currentItemID() const = 0;
    virtual bool isWindowVisible() const = 0;
};

// Desktop pins as the tray uses them: "pin" hands the capture to the pin deck. False, with
// nothing pinned, when the capture's picture can no longer be read: a pin of it would be blank.
class TrayPinning {
public:
    virtual ~TrayPinning() = default;
    virtual bool pin(const CaptureItem &item) = 0;
};

// What the tray reaches beyond the coordinator. Every member may be empty: the matching button,
// key or click then does nothing.
struct TrayNeighbours {
    TrayPreview *preview = nullptr;
    TrayPinning *pinning = nullptr;
    // The recording hub's stop request (a click on the tray while recording).
    std::function<void()> requestRecordingStop;
    // The tray's Stop Recording and cancel buttons.
    std::function<void()> stopRecording;
    std::function<void()> cancelRecording;
};
