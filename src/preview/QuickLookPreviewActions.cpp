// The preview's actions on the capture shown: copy, text recognition and the markup written
// back, and what they do when the capture's picture file has gone.

#include "preview/QuickLookPreviewView.h"

#include "capture/OCRService.h"
#include "capture/ShareService.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/StartTask.h"
#include "platform/Log.h"
#include "platform/Pasteboard.h"
#include "preview/PreviewMediaView.h"
#include "preview/QuickLookPreviewController.h"

#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <array>
#include <qcoro/qcorofuture.h>

bool QuickLookPreviewView::showsPictureOf(const CaptureItem &item) const
{
    return !item.isVideo() && m_controller.currentItemID() == item.id() && m_media->hasFullImage();
}

void QuickLookPreviewView::withPictureDo(const CaptureItem &item, const QString &undone,
                                         std::function<void(const CaptureItem &)> act)
{
    startTask([](QPointer<QuickLookPreviewView> self, CaptureItem item, QString undone,
                 std::function<void(const CaptureItem &)> act) -> QCoro::Task<void> {
        // A header that reads well says nothing of the rest of the file: the picture is judged
        // (at once while the file is the one written, else by a decode) away from this thread.
        QFuture<bool> checking = item.checkPicture();
        const bool decodes = co_await checking;
        if (!self)
            co_return;
        if (const std::optional<CaptureItem> usable = self->withPicture(item, decodes, undone))
            act(*usable);
    }(this, item, undone, std::move(act)));
}

std::optional<CaptureItem> QuickLookPreviewView::withPicture(const CaptureItem &item, bool decodes,
                                                             const QString &undone)
{
    if (decodes)
        return item;
    const QImage shown = showsPictureOf(item) ? m_media->fullImage() : QImage();
    if (CaptureQueue *queue = m_services.applicationQueue; queue && !shown.isNull()) {
        queue->updateImage(item.id(), shown);
        for (const CaptureItem &restored : queue->items()) {
            if (restored.id() != item.id() || restored.isVideo())
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
    if (!item.isVideo()) {
        withPictureDo(item, QStringLiteral("copied"),
                      [this](const CaptureItem &copied) { copyWithPicture(copied); });
        return;
    }
    // Nothing claimed that did not happen.
    if (const QString movie = item.videoURL()->toLocalFile(); !QFileInfo(movie).isFile()) {
        m_controller.setNotice(QStringLiteral("“%1” could not be copied: the recording file %2.")
                                   .arg(item.fileName(), unreadableFileState(movie)));
        return;
    }
    copyWithPicture(item);
}

void QuickLookPreviewView::copyWithPicture(const CaptureItem &item)
{
    // With no copy of the opener's there is nothing to wait for.
    if (!m_controller.hasCopyHandler()) {
        confirmCopied();
        return;
    }
    if (CaptureQueue *queue = m_controller.currentQueue())
        followAction(*queue, item, CaptureItemState::Kind::copying, QStringLiteral("copied"),
                     [this] { confirmCopied(); });
    m_controller.performCopy(item);
}

void QuickLookPreviewView::saveItem(const CaptureItem &item)
{
    const auto save = [this](const CaptureItem &saved) {
        // A save that ended well or was cancelled says nothing here; the tray shows where it went.
        if (CaptureQueue *queue = m_controller.currentQueue())
            followAction(*queue, saved, CaptureItemState::Kind::saving, QStringLiteral("saved"),
                         [] {});
        m_controller.performSave(saved);
    };
    if (item.isVideo())
        save(item);
    else
        withPictureDo(item, QStringLiteral("saved"), save);
}

QCoro::Task<void> QuickLookPreviewView::pinItem(CaptureItem item)
{
    const QPointer<QuickLookPreviewView> self(this);
    QCoro::Task<bool> pinning = m_services.pinning->pin(item);
    // A capture deleted meanwhile is no picture gone: it simply makes no pin.
    if (!co_await pinning && self && isStaged(item))
        tellPictureGone(item, QStringLiteral("pinned"));
}

QFuture<QImage> QuickLookPreviewView::pictureOf(const CaptureItem &item) const
{
    // The picture on show outlives a file that has gone and is not decoded again.
    if (showsPictureOf(item))
        return QtFuture::makeReadyFuture(m_media->fullImage());
    return item.loadImage();
}

QCoro::Task<void> QuickLookPreviewView::shareItem(CaptureItem item)
{
    const QPointer<QuickLookPreviewView> self(this);
    QFuture<QImage> loading = pictureOf(item);
    const QImage picture = co_await loading;
    if (!self)
        co_return;
    if (picture.isNull())
        tellPictureGone(item, QStringLiteral("shared"));
    else if (m_services.share)
        m_services.share->share(picture, this);
}

void QuickLookPreviewView::followAction(CaptureQueue &queue, const CaptureItem &item,
                                        CaptureItemState::Kind busy, const QString &undone,
                                        std::function<void()> done)
{
    // The opener's action marks the capture busy and, once it has ended, waiting again (or takes
    // it out of the tray); one that failed leaves it failed, with the reason.
    const QUuid id = item.id();
    const auto stateOf = [&queue, id]() -> std::optional<CaptureItemState> {
        for (const CaptureItem &staged : queue.items()) {
            if (staged.id() == id)
                return staged.state();
        }
        return std::nullopt;
    };
    const auto isBusy = [busy](const std::optional<CaptureItemState> &state) {
        return state && state->kind() == busy;
    };
    auto started = std::make_shared<bool>(isBusy(stateOf()));
    auto watches = std::make_shared<std::array<QMetaObject::Connection, 2>>();
    const auto end = [watches] {
        for (const QMetaObject::Connection &watch : *watches)
            disconnect(watch);
    };
    // A copy that a later one overtook has no outcome to tell.
    if (busy == CaptureItemState::Kind::copying)
        (*watches)[1] =
            connect(&queue, &CaptureQueue::copyOvertaken, this, [id, end](const QUuid &overtaken) {
                if (overtaken == id)
                    end();
            });
    (*watches)[0] = connect(
        &queue, &CaptureQueue::itemsChanged, this,
        [this, stateOf, isBusy, started, end, undone, done = std::move(done),
         name = item.fileName()] {
            const std::optional<CaptureItemState> state = stateOf();
            if (isBusy(state)) {
                *started = true;
                return;
            }
            if (!*started && state)
                return;
            end();
            if (!*started)
                return;
            const std::optional<CaptureActionError> error = state ? state->error() : std::nullopt;
            if (!error) {
                done();
                return;
            }
            m_controller.setNotice(
                QStringLiteral("“%1” could not be %2 (%3).").arg(name, undone, error->reason()));
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
    // The copy's turn is the press's: a copy asked for while the picture is decoded or read is
    // the later one and keeps the clipboard.
    const std::function<bool()> isLatest =
        pasteboard ? pasteboard->takeTurn() : std::function<bool()>([] { return false; });
    // Made in a statement of its own: GCC 12 may destroy temporaries of a co_await expression
    // twice.
    QFuture<QImage> loading = pictureOf(item);
    const QImage picture = co_await loading;
    if (!self || !isLatest())
        co_return;
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
        qCCritical(Log::overlay, "OCR failed: %s", qUtf8Printable(error.errorDescription()));
        text.clear();
    }
    if (!self)
        co_return;
    const bool wanted = !text.trimmed().isEmpty() && isLatest();
    // The text replaces the contents in one step: a paste in between never finds them empty.
    const bool copied = wanted && pasteboard->setString(text);
    if (wanted && !copied) {
        qCCritical(Log::exportLog, "The clipboard did not take the text");
        m_controller.setNotice(
            QStringLiteral("The text of “%1” could not be copied: the clipboard did not take it.")
                .arg(item.fileName()));
    }
    if (!copied) {
        m_isOCRProcessing = false;
        rebuildToolbar();
        co_return;
    }
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
