#pragma once

#include "capture/RecordingModeSelecting.h"
#include "platform/PointerMonitor.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class ModeSelectorView;
class QWidget;
namespace platform {
class PanelWindows;
} // namespace platform

// Asks what a screen recording covers with a small floating chooser in the middle of the
// screen. A choice answers the waiting caller; Escape, a left click in another window of this
// program, or a left or right click in another program cancels. Main thread only; the program
// has one, made by the application environment.
class ScreenRecordingModeSelector final : public QObject, public RecordingModeSelecting {
    Q_OBJECT

public:
    using PointerMonitorFactory = std::function<std::unique_ptr<platform::PointerMonitor>()>;

    ScreenRecordingModeSelector(std::shared_ptr<platform::PanelWindows> panels,
                                PointerMonitorFactory makePointerMonitor,
                                QObject *parent = nullptr);
    // A caller still waiting is answered as cancelled.
    ~ScreenRecordingModeSelector() override;

    // Shows the chooser and waits for the answer. A request still open is ended first, as
    // cancelled, so that no caller is left waiting and none of its watches outlives it.
    QCoro::Task<RecordingSelectionMode> selectMode() override;

    // The chooser window while it is open.
    QWidget *panel() const;
    ModeSelectorView *view() const;
    // Whether a caller waits for an answer.
    bool isPending() const { return m_continuation != nullptr; }
    // Whether the chooser watches the program's events and the desktop's pointer.
    bool isWatchingEvents() const { return m_localMonitorInstalled; }
    bool isWatchingPointer() const { return m_globalMonitor != nullptr; }

    // Ends the open request: the caller gets the mode, or CaptureError::cancelled() without
    // one. The watches go and the chooser closes first; the caller resumes on a later turn of
    // the event loop, never inside the event that ended the request. Harmless when nothing is
    // open.
    void finish(std::optional<RecordingSelectionMode> mode);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Request;

    void present();
    void installMonitors();
    void removeMonitors();
    bool isInsidePanel(QObject *watched) const;

    std::shared_ptr<platform::PanelWindows> m_panels;
    PointerMonitorFactory m_makePointerMonitor;
    QPointer<QWidget> m_window;
    QPointer<ModeSelectorView> m_view;
    std::shared_ptr<Request> m_continuation;
    bool m_localMonitorInstalled = false;
    std::unique_ptr<platform::PointerMonitor> m_globalMonitor;
};
