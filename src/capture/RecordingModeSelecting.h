#pragma once

#include <QtGlobal>
#include <qcoro/qcorotask.h>

// What a screen recording covers.
enum class RecordingSelectionMode : quint8 { fullScreen = 0, window = 1, area = 2 };

// Asks the user what to record. The recording flow waits on it; tests hand in a double.
class RecordingModeSelecting {
public:
    virtual ~RecordingModeSelecting() = default;
    // The chosen mode; throws CaptureError::cancelled() when the user backs out, or when a later
    // request takes over.
    virtual QCoro::Task<RecordingSelectionMode> selectMode() = 0;
};
