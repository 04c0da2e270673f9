#include "app/TrayPreviewWiring.h"

#include "app/AppEnvironment.h"
#include "capture/OCRService.h"
#include "model/CaptureQueue.h"
#include "model/StartTask.h"
#include "platform/Log.h"
#include "preview/QuickLookPreviewController.h"
#include "preview/QuickLookPreviewView.h"
#include "tray/NotchWindowController.h"

QCoro::Task<void> readTextForTray(AppEnvironment &environment, QPointer<NotchWindowController> tray,
                                  CaptureItem item)
{
    const QUuid id = item.id();
    // The same words as the preview's text button, while the text is read and once it is copied.
    if (tray)
        tray->state().showNotice(id, QStringLiteral("Reading..."), TrayNotice::Tone::progress,
                                 std::nullopt);
    try {
        co_await environment.ocrService().copyText(item.image(), environment.settingsStore());
        if (tray)
            tray->state().showNotice(
                id, QStringLiteral("Copied!"), TrayNotice::Tone::success,
                std::chrono::milliseconds(QuickLookPreviewView::confirmationMs));
    } catch (const OCRError &error) {
        if (error.kind() != OCRError::Kind::noTextFound)
            qCCritical(Log::overlay, "OCR failed: %s", qUtf8Printable(error.errorDescription()));
        if (tray)
            tray->state().showNotice(id, error.errorDescription());
    } catch (...) {
        if (tray)
            tray->state().clearNotice(id);
        throw;
    }
}

void connectTrayToPreview(AppEnvironment &environment, NotchWindowController &tray,
                          CaptureQueue &queue, const StagingTrayCallbacks &actions)
{
    QPointer<AppEnvironment> self(&environment);
    QPointer<NotchWindowController> trayPointer(&tray);
    const auto open = [self, &queue, actions](const CaptureItem &item, bool markup) {
        if (!self)
            return;
        QuickLookPreviewController &preview = self->previewController();
        preview.setPersistent(true);
        preview.show(item, queue, actions.onSave, actions.onCopy, actions.onDelete);
        if (markup)
            preview.setMarkupMode(true);
    };
    tray.onQuickLook = [open](const CaptureItem &item) { open(item, false); };
    tray.onAnnotate = [open](const CaptureItem &item) { open(item, true); };
    tray.onOCR = [self, trayPointer](const CaptureItem &item) {
        if (self)
            startTask(readTextForTray(*self, trayPointer, item));
    };
}
