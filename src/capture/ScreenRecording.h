#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "platform/Displays.h"
#include "platform/WindowList.h"

#include <QImage>
#include <QObject>
#include <QRectF>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

// A finished recording as the recorder hands it over; the movie file now belongs to the caller.
struct RecordingResult {
    QString filePath;
    QImage posterFrame;
    // Seconds, as last published before the stop began.
    double duration = 0;
};

// The capture a finished recording is staged as: the movie itself (not a copy) with the poster
// frame standing in for its image, which goes to disk while only its thumbnail stays in memory.
CaptureItem makeRecordingCapture(const RecordingResult &result);

// The screen recorder as the coordinator, the tray and the recording controls see it. Main
// thread only. Failures are CaptureError exceptions.
class ScreenRecording : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isRecording READ isRecording NOTIFY isRecordingChanged)
    Q_PROPERTY(double duration READ duration NOTIFY durationChanged)

public:
    using QObject::QObject;

    // True from a started capture until the recording is stopped or cancelled.
    virtual bool isRecording() const = 0;
    // Elapsed seconds of the running recording, republished about once a second; 0 when idle.
    virtual double duration() const = 0;

    // Records one display, or an area of it (capture coordinates, points), or a window (which
    // wins over an area). A start while recording only logs.
    virtual QCoro::Task<void> startRecording(platform::DisplayId displayID,
                                             std::optional<QRectF> sourceRect,
                                             std::optional<platform::WindowInfo> window,
                                             VideoExportFormat format, int frameRate,
                                             bool recordAudio) = 0;
    // Finishes the movie and returns it with its poster frame.
    virtual QCoro::Task<RecordingResult> stopRecording() = 0;
    // Ends the recording and deletes its movie; nothing when idle. Never fails.
    virtual void cancelRecording() = 0;

signals:
    void isRecordingChanged(bool isRecording);
    void durationChanged(double duration);
    // What was being recorded went away (the window closed, the display vanished). Emitted while
    // isRecording is still true, so that the owner stops the recording as usual and what was
    // recorded is kept.
    void streamEnded();
};
