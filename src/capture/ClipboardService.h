#pragma once

#include "model/CaptureItem.h"

#include <functional>
#include <memory>
#include <qcoro/qcorotask.h>

namespace platform {
class Pasteboard;
}

// Puts a staged capture on the clipboard.
class ClipboardWriting {
public:
    virtual ~ClipboardWriting() = default;
    // Completes with true once the clipboard holds the capture, with false when a copy asked for
    // after it overtook it (the clipboard is that one's, and this one has no result); throws
    // CaptureActionError (copyFailed) otherwise. Main thread.
    virtual QCoro::Task<bool> copy(CaptureItem item) = 0;
};

// A recording goes on the clipboard as its movie file, kept on disk while the clipboard offers
// it, and only while it is still the movie recorded; a screenshot as PNG and TIFF, both made before
// the offer, away from the main thread (the PNG is the capture's own file while it is known whole,
// read as it is), so that a paste of either is answered at once with bytes any program reads.
// Decides nothing about the queue, sounds or the capture's state. The copy asked for last, of a
// capture or of its text, wins: one still making its bytes when another is asked for leaves the
// clipboard alone.
class ClipboardService final : public ClipboardWriting {
public:
    explicit ClipboardService(std::shared_ptr<platform::Pasteboard> pasteboard);

    QCoro::Task<bool> copy(CaptureItem item) override;
    // The same for what is no staged capture: an image in memory, offered as PNG and TIFF; a
    // file, offered as its URL (throws when it is gone).
    QCoro::Task<bool> copyImage(QImage image);
    QCoro::Task<bool> copyFile(QUrl url);

private:
    // Counts the copy asked for now as the latest; what it returns tells, later, whether it
    // still is (and logs when not).
    std::function<bool()> request();

    std::shared_ptr<platform::Pasteboard> m_pasteboard;
};
