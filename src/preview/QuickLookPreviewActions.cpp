// The preview's actions on the capture shown: copy, text recognition and the markup written
// back, and what they do when the capture's picture file has gone.

#include "preview/QuickLookPreviewView.h"

#include "capture/OCRService.h"
#include "model/CaptureQueue.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "preview/PreviewMediaView.h"
#include "preview/QuickLookPreviewController.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>

bool QuickLookPreviewView::showsPictureOf(const CaptureItem &item) const
{
    return !item.isVideo() && m_controller.currentItemID() == item.id() && m_media->hasFullImage();
}

std::optional<CaptureItem> QuickLookPreviewView::withPicture(const CaptureItem &item,
                                                             const QString &undone)
{
    if (item.hasImage())
        return item;
    const QImage shown = showsPictureOf(item) ? m_media->fullImage() : QImage();
    if (CaptureQueue *queue = m_services.applicationQueue; queue && !shown.isNull()) {
        queue->updateImage(item.id(), shown);
        for (const CaptureItem &restored : queue->items()) {
            if (restored.id() != item.id() || !restored.hasImage())
                continue;
            m_controller.updateCurrentItem(restored);
            // The same picture stays on show, with no round through the thumbnail.
            m_media->setImage(shown);
            return restored;
        }
    }
    tellPictureGone(item, undone);
    return std::nullopt;
}

void QuickLookPreviewView::tellPictureGone(const CaptureItem &item, const QString &undone)
{
    m_controller.setNotice(
        QStringLiteral("“%1” could not be %2: its picture can no longer be read.")
            .arg(item.fileName(), undone));
}

void QuickLookPreviewView::copyItem(const CaptureItem &item)
{
    std::optional<CaptureItem> copied = item;
    if (!item.isVideo()) {
        copied = withPicture(item, QStringLiteral("copied"));
    } else if (!QFileInfo(item.videoURL()->toLocalFile()).isFile()) {
        m_controller.setNotice(
            QStringLiteral("“%1” could not be copied: the recording file is missing.")
                .arg(item.fileName()));
        copied.reset();
    }
    // Nothing claimed that did not happen.
    if (!copied)
        return;
    // With no copy of the opener's there is nothing to wait for.
    if (!m_controller.hasCopyHandler()) {
        confirmCopied();
        return;
    }
    if (CaptureQueue *queue = m_controller.currentQueue())
        followCopy(*queue, *copied);
    m_controller.performCopy(*copied);
}

void QuickLookPreviewView::followCopy(CaptureQueue &queue, const CaptureItem &item)
{
    // The opener's copy marks the capture copying and, once the clipboard holds it, waiting
    // again (or takes it out of the tray); a copy that failed leaves it failed, with the reason.
    const QUuid id = item.id();
    const auto stateOf = [&queue, id]() -> std::optional<CaptureItemState> {
        for (const CaptureItem &staged : queue.items()) {
            if (staged.id() == id)
                return staged.state();
        }
        return std::nullopt;
    };
    const auto isCopying = [](const std::optional<CaptureItemState> &state) {
        return state && state->kind() == CaptureItemState::Kind::copying;
    };
    auto started = std::make_shared<bool>(isCopying(stateOf()));
    auto watch = std::make_shared<QMetaObject::Connection>();
    *watch = connect(
        &queue, &CaptureQueue::itemsChanged, this,
        [this, stateOf, isCopying, started, watch, name = item.fileName()] {
            const std::optional<CaptureItemState> state = stateOf();
            if (isCopying(state)) {
                *started = true;
                return;
            }
            if (!*started && state)
                return;
            disconnect(*watch);
            if (!*started)
                return;
            const std::optional<CaptureActionError> error = state ? state->error() : std::nullopt;
            if (!error) {
                confirmCopied();
                return;
            }
            m_controller.setNotice(
                QStringLiteral("“%1” could not be copied (%2).").arg(name, error->reason()));
        });
}

void QuickLookPreviewView::confirmCopied()
{
    m_isCopied = true;
    rebuildToolbar();
    QTimer::singleShot(confirmationMs, this, [this] {
        m_isCopied = false;
        rebuildToolbar();
    });
}

QCoro::Task<void> QuickLookPreviewView::recognizeAndCopyText(CaptureItem item)
{
    QPointer<QuickLookPreviewView> self(this);
    OCRService *ocr = m_services.ocr;
    const std::shared_ptr<platform::Pasteboard> pasteboard = m_services.pasteboard;
    // The picture on show, which outlives a file that has gone and is not decoded again.
    const QImage picture = showsPictureOf(item) ? m_media->fullImage() : item.image();
    if (picture.isNull()) {
        m_controller.setNotice(
            QStringLiteral("No text could be read from “%1”: its picture can no longer be read.")
                .arg(item.fileName()));
        co_return;
    }
    m_isOCRProcessing = true;
    rebuildToolbar();
    QString text;
    try {
        if (ocr)
            text = co_await ocr->recognizeTextInBackground(picture);
    } catch (const OCRError &error) {
        if (error.kind() != OCRError::Kind::noTextFound)
            qCCritical(Log::overlay, "OCR failed: %s", qUtf8Printable(error.errorDescription()));
        text.clear();
    }
    if (!self)
        co_return;
    if (text.trimmed().isEmpty() || !pasteboard) {
        m_isOCRProcessing = false;
        rebuildToolbar();
        co_return;
    }
    pasteboard->setString(text);
    m_ocrJustCopied = true;
    rebuildToolbar();
    QTimer::singleShot(confirmationMs, this, [this] {
        m_ocrJustCopied = false;
        m_isOCRProcessing = false;
        rebuildToolbar();
    });
}

void QuickLookPreviewView::applyMarkup(const QImage &image, const CaptureItem &item)
{
    bool kept = false;
    if (CaptureQueue *queue = m_services.applicationQueue) {
        queue->updateImage(item.id(), image);
        for (const CaptureItem &candidate : queue->items()) {
            if (candidate.id() == item.id()) {
                m_controller.updateCurrentItem(candidate);
                kept = true;
                break;
            }
        }
    }
    m_controller.setMarkupMode(false);
    if (!kept) {
        m_controller.setNotice(
            QStringLiteral("“%1” is no longer in the tray, so the markup on it could not be kept.")
                .arg(item.fileName()));
    }
}
