#pragma once

#include "capture/ScreenRecording.h"
#include "platform/RecordingPlatform.h"

#include <QElapsedTimer>
#include <QImage>
#include <QSize>
#include <QTimer>
#include <chrono>
#include <memory>

// The frame size and the part of the desktop a recording reads, worked out from the display
// and what is recorded.
struct RecordingGeometry {
    // Pixels, both even and at least 2.
    QSize pixelSize;
    // The area relative to the display, in points; only for an area.
    std::optional<QRectF> sourceRect;
    // What the frame source reads, in root pixels (display or area; a window is followed by
    // the source itself).
    QRect rootRect;
};

// A window wins over an area; with neither, the whole display.
RecordingGeometry recordingGeometry(const platform::Display &display,
                                    const std::optional<QRectF> &sourceRect,
                                    const std::optional<platform::WindowInfo> &window);

// Records into a temporary movie file: frames from the platform's frame source, sound from its
// audio inputs (left out when there is none), both written by its movie writer; poster frames
// from the finished file. Completing the movie runs on a worker thread.
//
// A source that stops by itself is reported with streamEnded while still recording, so that the
// owner stops as usual and keeps what was recorded. Any stop returns to idle: a movie without a
// frame (none came before the stop, nor within a short wait after it) is removed, one that could
// not be completed after frames were written is kept where it is. A cancel while a stop is
// completing the movie is ignored.
class ScreenRecordingService final : public ScreenRecording {
    Q_OBJECT

public:
    ScreenRecordingService(platform::RecordingPlatform recordingPlatform,
                           platform::Displays &displays, QObject *parent = nullptr);
    ~ScreenRecordingService() override;

    bool isRecording() const override { return m_isRecording; }
    double duration() const override { return m_duration; }

    QCoro::Task<void> startRecording(platform::DisplayId displayID,
                                     std::optional<QRectF> sourceRect,
                                     std::optional<platform::WindowInfo> window,
                                     VideoExportFormat format, int frameRate,
                                     bool recordAudio) override;
    QCoro::Task<RecordingResult> stopRecording() override;
    void cancelRecording() override;

    // The temporary file of the current or last recording; empty after a cancel.
    QString outputPath() const { return m_outputPath; }

    // The poster frame of a movie, never failing: the frame at 0.1 s, else the first, else the
    // placeholder.
    static QImage makeThumbnail(platform::PosterFrames &posterFrames, const QString &filePath);
    // 400 × 300, dark, with a blue dot in the middle.
    static QImage makeFallbackPosterFrame();

    // How long a stop waits for the first frame of a source that has given none yet (and has
    // not ended); 3 s unless set otherwise.
    void setFirstFrameWait(std::chrono::milliseconds wait) { m_firstFrameWait = wait; }

private:
    struct Session;

    void setRecording(bool recording);
    void setDuration(double duration);
    void updateDuration();
    void handleStreamEnded(quint64 generation, const QString &reason);
    void handleDisplaysChanged();
    // Stops the sources and forgets the session; the movie is left as it is.
    std::unique_ptr<Session> takeSession();

    platform::RecordingPlatform m_platform;
    platform::Displays &m_displays;
    bool m_isRecording = false;
    double m_duration = 0;
    bool m_stopping = false;
    std::chrono::milliseconds m_firstFrameWait{3000};
    QString m_outputPath;
    QTimer m_timer;
    QElapsedTimer m_recordingStartTime;
    quint64 m_generation = 0;
    std::unique_ptr<Session> m_session;
};
