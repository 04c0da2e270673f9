#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"

#include <QPointer>
#include <qcoro/qcorotask.h>

class CaptureQueue;
class NotchWindowController;
class OCRService;
class QuickLookPreviewController;
class SettingsStore;

// What the tray's open, annotate and text buttons reach.
struct TrayPreviewTargets {
    QuickLookPreviewController &preview;
    OCRService &ocr;
    SettingsStore &settings;
};

// The tray's open, annotate and text buttons and keys: the preview as a click on a thumbnail
// opens it, the preview's markup of a screenshot (a recording is refused with the reason in the
// tray), and the text read onto the clipboard with its sound.
void connectTrayToPreview(const TrayPreviewTargets &targets, NotchWindowController &tray,
                          CaptureQueue &queue, const StagingTrayCallbacks &actions);

// A capture's text onto the clipboard from the tray; what went wrong shows in the tray.
QCoro::Task<void> readTextForTray(OCRService &ocr, const SettingsStore &settings,
                                  QPointer<NotchWindowController> tray, CaptureItem item);
