#pragma once

#include "model/CaptureItem.h"

#include <memory>
#include <qcoro/qcorotask.h>

namespace platform {
class Pasteboard;
}

// Puts a staged capture on the clipboard.
class ClipboardWriting {
public:
    virtual ~ClipboardWriting() = default;
    // Completes once the clipboard holds the capture; throws CaptureActionError (copyFailed)
    // otherwise. Main thread.
    virtual QCoro::Task<void> copy(CaptureItem item) = 0;
};

// A recording goes on the clipboard as its movie file, kept on disk while the clipboard offers
// it; a screenshot as PNG and TIFF, both made before the offer, away from the main thread (the
// PNG is the capture's own file while it is known whole, read as it is), so that a paste of
// either is answered at once with bytes any program reads. Decides nothing about the queue,
// sounds or the capture's state.
class ClipboardService final : public ClipboardWriting {
public:
    explicit ClipboardService(std::shared_ptr<platform::Pasteboard> pasteboard);

    QCoro::Task<void> copy(CaptureItem item) override;
    // The same for what is no staged capture: an image in memory, offered as PNG and TIFF; a
    // file, offered as its URL (throws when it is gone).
    QCoro::Task<void> copyImage(QImage image);
    QCoro::Task<void> copyFile(QUrl url);

private:
    std::shared_ptr<platform::Pasteboard> m_pasteboard;
};
