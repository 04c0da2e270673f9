#include "app/TrayPreviewWiring.h"

#include "capture/OCRService.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "platform/Log.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "tray/NotchWindowController.h"

#include <qcoro/qcorofuture.h>

QCoro::Task<void> readTextForTray(OCRService &ocr, const SettingsStore &settings,
                                  QPointer<NotchWindowController> tray, CaptureItem item)
{
    const QUuid id = item.id();
    // The copy's turn is the key's: a copy asked for while the picture is decoded or read is the
    // later one and keeps the clipboard.
    const std::function<bool()> isLatest = ocr.takeClipboardTurn();
    const auto leave = [&] {
        if (tray)
            tray->state().clearNotice(id);
    };
    // The same words as the preview's text button, while the text is read and once it is copied;
    // from the start, since the picture may first have to be decoded.
    if (tray)
        tray->state().showNotice(id, QStringLiteral("Reading..."), TrayNotice::Tone::progress,
                                 std::nullopt);
    // Decoded away from the main thread. Made in a statement of its own: GCC 12 may destroy
    // temporaries of a co_await expression twice.
    QFuture<QImage> loading = item.loadImage();
    const QImage picture = co_await loading;
    if (!isLatest()) {
        leave();
        co_return;
    }
    if (picture.isNull()) {
        // Not "no text": there is no picture left to look at.
        if (tray)
            tray->state().showNotice(
                id, QStringLiteral("Couldn't read text (its picture can no longer be read)"));
        co_return;
    }
    try {
        // Made in a statement of its own, as above.
        QCoro::Task<std::optional<QString>> copying = ocr.copyText(picture, settings, isLatest);
        if (!co_await copying) {
            leave();
            co_return;
        }
        if (tray)
            tray->state().showNotice(
                id, QStringLiteral("Copied!"), TrayNotice::Tone::success,
                std::chrono::milliseconds(QuickLookPreviewView::confirmationMs));
    } catch (const OCRError &error) {
        qCCritical(Log::overlay, "OCR failed: %s", qUtf8Printable(error.errorDescription()));
        if (tray)
            tray->state().showNotice(id, error.errorDescription());
    } catch (const CaptureActionError &error) {
        if (tray)
            tray->state().showNotice(id, QStringLiteral("Couldn't copy (") +
                                             error.errorDescription() + QLatin1Char(')'));
    } catch (...) {
        leave();
        throw;
    }
}

void connectTrayToPreview(const TrayPreviewTargets &targets, NotchWindowController &tray,
                          CaptureQueue &queue, const StagingTrayCallbacks &actions)
{
    QPointer<QuickLookPreviewController> preview(&targets.preview);
    QPointer<SettingsStore> settings(&targets.settings);
    OCRService *ocr = &targets.ocr;
    QPointer<NotchWindowController> trayPointer(&tray);
    const auto open = [preview, &queue, actions](const CaptureItem &item, bool markup) {
        if (!preview)
            return;
        preview->setPersistent(true);
        preview->show(item, queue, actions.onSave, actions.onCopy, actions.onDelete);
        if (markup)
            preview->setMarkupMode(true);
    };
    tray.onQuickLook = [open](const CaptureItem &item) { open(item, false); };
    tray.onAnnotate = [open, trayPointer](const CaptureItem &item) {
        // A recording's picture cannot be replaced: marks on it would be thrown away.
        if (!item.isVideo()) {
            open(item, true);
        } else if (trayPointer) {
            trayPointer->state().showNotice(
                item.id(), QStringLiteral("Couldn't annotate (only screenshots can be marked up)"));
        }
    };
    tray.onOCR = [ocr, settings, trayPointer](const CaptureItem &item) {
        if (settings)
            startTask(readTextForTray(*ocr, *settings, trayPointer, item));
    };
}
