#pragma once

#include "capture/CaptureNeighbours.h"
#include "model/CaptureItem.h"

#include <QPointer>
#include <qcoro/qcorotask.h>

class AppEnvironment;
class CaptureQueue;
class NotchWindowController;

// The tray's open, annotate and text buttons and keys: the preview as a click on a thumbnail
// opens it, the preview's markup, and the text read onto the clipboard with its sound.
void connectTrayToPreview(AppEnvironment &environment, NotchWindowController &tray,
                          CaptureQueue &queue, const StagingTrayCallbacks &actions);

// A capture's text onto the clipboard from the tray; what went wrong shows in the tray.
QCoro::Task<void> readTextForTray(AppEnvironment &environment, QPointer<NotchWindowController> tray,
                                  CaptureItem item);
