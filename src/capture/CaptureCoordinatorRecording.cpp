// The recording flows of the capture coordinator: start, stop, cancel and toggle, the recording
// controls' requests, and the recorder's state followed into the coordinator.

#include "capture/CaptureCoordinator.h"

#include "capture/DisplayHelpers.h"
#include "capture/RecordingHUDController.h"
#include "capture/ScreenRecording.h"
#include "capture/Selecting.h"
#include "model/CaptureErrors.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "model/StartTask.h"
#include "model/Thumbnail.h"
#include "platform/Alerts.h"
#include "platform/Log.h"

#include <QDateTime>
#include <QPointer>
#include <algorithm>
#include <utility>

namespace {

// After the chooser or a selection closes, the desktop below gets this long to repaint before
// the first frame is read.
constexpr std::chrono::milliseconds afterChoice(60);

// The display an area is recorded on: the first (main display first) that it touches, else
// the main display, else the first; nothing without displays.
std::optional<platform::Display> displayForArea(const platform::Displays &displays,
                                                const QRectF &area)
{
    const QList<platform::Display> all = displays.displays();
    for (const platform::Display &display : all) {
        if (frameRect(display).intersects(area))
            return display;
    }
    return displays.mainDisplay();
}

platform::DisplayId idOf(const std::optional<platform::Display> &display)
{
    // 0 names no display: the recorder then takes the first one there is.
    return display ? displayID(*display) : platform::DisplayId(0);
}

// The error's text for the user, from a catch handler.
QString currentErrorDescription()
{
    try {
        throw;
    } catch (const CaptureError &error) {
        return error.errorDescription();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}

bool currentErrorIsCancellation()
{
    try {
        throw;
    } catch (const CaptureError &error) {
        return error.kind() == CaptureError::Kind::cancelled;
    } catch (...) {
        return false;
    }
}

} // namespace

void CaptureCoordinator::installRecording(RecordingHUDController *hud)
{
    // Each request starts a flow of its own and does nothing once the coordinator is gone.
    if (hud) {
        QPointer<CaptureCoordinator> self(this);
        hud->onStopRequested = [self] {
            if (self)
                self->hudStopRequested();
        };
        hud->onCancelRequested = [self] {
            if (self)
                self->hudCancelRequested();
        };
    }
    if (!m_recorder)
        return;
    m_isRecording = m_recorder->isRecording();
    // Followed from the event loop, as the recorder's announcements arrive.
    connect(m_recorder, &ScreenRecording::isRecordingChanged, this,
            &CaptureCoordinator::setIsRecording, Qt::QueuedConnection);
    // The recorded window or display went away: the movie so far is kept, as after a stop.
    connect(m_recorder, &ScreenRecording::streamEnded, this, [this] {
        qCWarning(Log::capture, "Recording source went away; finishing the recording");
        later([this] { startTask(stopRecording()); });
    });
}

void CaptureCoordinator::setIsRecording(bool isRecording)
{
    if (m_isRecording == isRecording)
        return;
    m_isRecording = isRecording;
    emit isRecordingChanged(m_isRecording);
}

void CaptureCoordinator::hudStopRequested()
{
    later([this] { startTask(stopRecording()); });
}

void CaptureCoordinator::hudCancelRequested()
{
    later([this] { startTask(cancelRecording()); });
}

bool CaptureCoordinator::recorderIsRecording() const
{
    // The recorder's own flag: the published mirror lags a turn of the event loop behind, and a
    // request in that gap must see what the recorder will do.
    return m_recorder && m_recorder->isRecording();
}

QCoro::Task<void> CaptureCoordinator::toggleRecording()
{
    if (recorderIsRecording())
        co_await stopRecording();
    else
        co_await startRecording();
}

QCoro::Task<void> CaptureCoordinator::startRecording()
{
    // A recording never starts while another capture has the windows hidden or a selection
    // open, nor the other way round.
    std::optional<CaptureSlot> slot = claimCaptureSlot();
    if (!slot)
        co_return;

    QCoro::Task<bool> permitting = ensureScreenCapturePermission(slot);
    if (!co_await permitting)
        co_return;
    if (recorderIsRecording())
        co_return;
    if (!m_recorder || !m_modeSelector) {
        const QString description = QStringLiteral("Screen recording is not available.");
        qCCritical(Log::capture, "Failed to start screen recording: %s",
                   qUtf8Printable(description));
        // Ended before the alert, which may stay open for as long as the user leaves it.
        slot.reset();
        co_await showRecordingAlert(QStringLiteral("Screen Recording Failed"), description);
        co_return;
    }

    const bool mainWindowWasHidden = co_await prepareForCapture();
    std::optional<QString> failure;
    bool cancelled = false;
    try {
        // Made in statements of their own: GCC 12 may destroy temporaries of a co_await
        // expression twice.
        QCoro::Task<RecordingSelectionMode> choosing = m_modeSelector->selectMode();
        const RecordingSelectionMode mode = co_await choosing;
        co_await pause(afterChoice);
        QCoro::Task<void> starting = startRecorderFor(mode);
        co_await starting;
    } catch (...) {
        cancelled = currentErrorIsCancellation();
        if (!cancelled)
            failure = currentErrorDescription();
    }

    if (cancelled) {
        // Whichever step the user backed out of.
        qCInfo(Log::capture, "Area recording selection cancelled by user");
        restoreAfterCapture(mainWindowWasHidden, true);
        co_return;
    }
    if (failure) {
        qCCritical(Log::capture, "Failed to start screen recording: %s", qUtf8Printable(*failure));
        restoreAfterCapture(mainWindowWasHidden, true);
        slot.reset();
        co_await showRecordingAlert(QStringLiteral("Screen Recording Failed"), *failure);
        co_return;
    }
    // The main window stays hidden while the recording runs, and comes back when it ends.
    m_mainWindowHiddenForRecording = m_mainWindowHiddenForRecording || mainWindowWasHidden;
    if (m_notchWindowController)
        m_notchWindowController->show(std::nullopt, TrayInteractionState::compact);
}

QCoro::Task<void> CaptureCoordinator::startRecorderFor(RecordingSelectionMode mode)
{
    platform::DisplayId display = 0;
    std::optional<QRectF> area;
    std::optional<platform::WindowInfo> window;
    switch (mode) {
    case RecordingSelectionMode::fullScreen:
        display = idOf(screenContainingMouse(m_displays));
        break;
    case RecordingSelectionMode::window: {
        QCoro::Task<platform::WindowInfo> selecting = m_windowSelectionService.selectWindow();
        window = co_await selecting;
        co_await pause(afterChoice);
        // The display under the pointer, not the window's own: its scale records the window.
        display = idOf(screenContainingMouse(m_displays));
        break;
    }
    case RecordingSelectionMode::area: {
        QCoro::Task<QRectF> selecting = m_areaSelectionService.selectArea();
        area = co_await selecting;
        co_await pause(afterChoice);
        display = idOf(displayForArea(m_displays, *area));
        break;
    }
    }

    // Read at the last moment, so a change made while the chooser was up counts.
    const VideoExportFormat format = m_settingsStore.recordingExportFormat();
    const int frameRate = sanitizedFrameRate(m_settingsStore.recordingFrameRate());
    const bool recordAudio = m_settingsStore.recordMicrophoneAudio();
    QCoro::Task<void> starting =
        m_recorder->startRecording(display, area, window, format, frameRate, recordAudio);
    co_await starting;
}

QCoro::Task<void> CaptureCoordinator::stopRecording()
{
    // A second stop, or the stream ending while a stop runs, finds the movie being finished.
    if (m_stoppingRecording || !recorderIsRecording())
        co_return;
    m_stoppingRecording = true;
    const QPointer<CaptureCoordinator> self(this);
    std::optional<RecordingResult> result;
    std::optional<QString> failure;
    try {
        QCoro::Task<RecordingResult> stopping = m_recorder->stopRecording();
        result = co_await stopping;
    } catch (...) {
        failure = currentErrorDescription();
    }
    if (!self)
        co_return;
    m_stoppingRecording = false;

    const bool mainWindowWasHidden = std::exchange(m_mainWindowHiddenForRecording, false);
    if (result) {
        stageRecording(*result);
        restoreAfterCapture(mainWindowWasHidden, false);
        co_return;
    }
    qCCritical(Log::capture, "Failed to stop screen recording: %s", qUtf8Printable(*failure));
    restoreAfterCapture(mainWindowWasHidden, true);
    co_await showRecordingAlert(QStringLiteral("Recording Save Failed"), *failure);
}

QCoro::Task<void> CaptureCoordinator::cancelRecording()
{
    // The movie a stop is finishing is the user's: a cancel pressed meanwhile must not delete
    // the file under it.
    if (m_stoppingRecording) {
        qCInfo(Log::capture, "Recording cancel ignored: the recording is being saved");
        co_return;
    }
    if (m_recorder)
        m_recorder->cancelRecording();
    restoreAfterCapture(std::exchange(m_mainWindowHiddenForRecording, false), true);
    co_return;
}

CaptureItem makeRecordingCapture(const RecordingResult &result)
{
    return CaptureItem(QUuid::createUuid(), QDateTime::currentDateTime(), std::nullopt,
                       CaptureMode::recording, result.posterFrame,
                       makeThumbnail(result.posterFrame, captureThumbnailSide),
                       QUrl::fromLocalFile(result.filePath), CaptureItemState::pending());
}

void CaptureCoordinator::stageRecording(const RecordingResult &result)
{
    enqueue(makeRecordingCapture(result));
}

QCoro::Task<void> CaptureCoordinator::showRecordingAlert(QString title, QString description)
{
    platform::Alert alert;
    alert.style = platform::AlertStyle::warning;
    alert.messageText = std::move(title);
    alert.informativeText = std::move(description);
    alert.buttonTitles = QStringList(QStringLiteral("OK"));
    QCoro::Task<int> answering = m_alertPresenter.present(std::move(alert));
    co_await answering;
}
