#pragma once

#include "capture/ScreenRecording.h"
#include "model/CaptureErrors.h"
#include "support/Gate.h"

#include <QColor>
#include <optional>

// The screen recorder: remembers the last start's arguments, counts calls, answers starts with
// `startFailure` (thrown) or by starting to record, and stops with `stopResult` (or throws
// `stopFailure`), after passing the matching gate. isRecording and duration are settable and
// publish their change signals like the real one; endStream() stands for a stream that stopped
// by itself.
class FakeScreenRecording : public ScreenRecording {
    Q_OBJECT

public:
    struct StartCall {
        platform::DisplayId displayID = 0;
        std::optional<QRectF> sourceRect;
        std::optional<platform::WindowInfo> window;
        VideoExportFormat format{};
        int frameRate = 0;
        bool recordAudio = false;
    };

    explicit FakeScreenRecording(QObject *parent = nullptr) : ScreenRecording(parent)
    {
        stopResult.filePath = QStringLiteral("/tmp/Recording-FAKE.mp4");
        stopResult.posterFrame = QImage(40, 30, QImage::Format_RGB32);
        stopResult.posterFrame.fill(QColor(10, 120, 200));
        stopResult.duration = 3;
    }

    bool isRecording() const override { return m_isRecording; }
    double duration() const override { return m_duration; }

    void setRecording(bool recording)
    {
        if (m_isRecording == recording)
            return;
        m_isRecording = recording;
        emit isRecordingChanged(m_isRecording);
    }
    void setDuration(double duration)
    {
        if (m_duration == duration)
            return;
        m_duration = duration;
        emit durationChanged(m_duration);
    }
    // The recorded thing went away; the owner is expected to stop as usual.
    void endStream() { emit streamEnded(); }

    QCoro::Task<void> startRecording(platform::DisplayId displayID,
                                     std::optional<QRectF> sourceRect,
                                     std::optional<platform::WindowInfo> window,
                                     VideoExportFormat format, int frameRate,
                                     bool recordAudio) override
    {
        ++startCount;
        lastStart = StartCall{displayID, sourceRect, window, format, frameRate, recordAudio};
        co_await startGate.pass();
        if (m_isRecording)
            co_return;
        if (startFailure)
            throw *startFailure;
        setRecording(true);
    }

    QCoro::Task<RecordingResult> stopRecording() override
    {
        ++stopCount;
        co_await stopGate.pass();
        if (!m_isRecording)
            throw CaptureError::captureFailed(QStringLiteral("No recording in progress"));
        setRecording(false);
        setDuration(0);
        if (stopFailure)
            throw *stopFailure;
        // A copy: QCoro moves from an lvalue handed to co_return.
        co_return RecordingResult(stopResult);
    }

    void cancelRecording() override
    {
        ++cancelCount;
        setRecording(false);
        setDuration(0);
    }

    std::optional<StartCall> lastStart;
    std::optional<CaptureError> startFailure;
    std::optional<CaptureError> stopFailure;
    RecordingResult stopResult;
    Gate startGate;
    Gate stopGate;
    int startCount = 0;
    int stopCount = 0;
    int cancelCount = 0;

private:
    bool m_isRecording = false;
    double m_duration = 0;
};
