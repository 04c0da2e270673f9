#pragma once

#include "capture/ScreenRecording.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace platform {
class PanelWindows;
}

// The single hub of the two requests that end a recording, stop (keep the movie) and cancel
// (discard it), and the owner of the small recording panel. The panel is complete but nothing
// shows it today: the staging tray shows a running recording instead. Main thread only.
class RecordingHUDController : public QObject {
    Q_OBJECT

public:
    // Outer size of the panel, in points.
    static constexpr int panelWidth = 280;
    static constexpr int panelHeight = 48;

    RecordingHUDController(ScreenRecording *recorder,
                           std::shared_ptr<platform::PanelWindows> panels,
                           QObject *parent = nullptr);
    ~RecordingHUDController() override;

    // Installed by the coordinator; a later assignment replaces the earlier one.
    std::function<void()> onStopRequested;
    std::function<void()> onCancelRequested;

    // Run the installed callback; nothing when none is installed.
    void requestStop();
    void requestCancel();

    // Brings the panel to the front without taking the focus, building it first when there is
    // none; an existing panel keeps its label.
    void show(const QString &modeLabel);
    // Takes the panel off the screen and discards it; harmless without one. Also done when the
    // recorder's source goes away.
    void hide();

    // The panel while it exists.
    QWidget *panel() const;

    // Where the panel's top-left corner goes on a screen with this full geometry (Qt's global
    // coordinates, y downwards): centred horizontally, its bottom edge 60 points above the
    // screen's bottom edge.
    static QPoint panelOrigin(const QRect &screenGeometry);

private:
    QPointer<ScreenRecording> m_recorder;
    std::shared_ptr<platform::PanelWindows> m_panels;
    QPointer<QWidget> m_panel;
};
