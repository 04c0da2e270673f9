#pragma once

#include <QList>
#include <QPointer>
#include <QRectF>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>

class CaptureItem;
class CaptureQueue;
class CaptureTrayView;
class QMimeData;
class SettingsStore;
class TrayState;

namespace platform {
class PanelWindows;
}

// The staging tray's panel: a top-level, translucent, never-focused window whose only child is
// the tray view, filling it. Only the tray's outline (its interactive rectangles) takes the
// pointer: clicks, wheel turns and drops elsewhere pass to the windows below. A press on the
// tray reaches the tray view first and then counts as a click on the tray, unless one of the
// view's own controls (a recording's stop or cancel) took it. Drops of a staged capture's file
// or of a text naming one delete that capture. Main thread only.
class NotchTrackingContainerView final : public QWidget {
    Q_OBJECT

public:
    // Without a parent it is a panel window of its own. Without panel windows only Qt itself
    // keeps the pointer off the rest of the panel. `state` is the tray's published state (its
    // owner's, which outlives the panel); `deleteCapture` the coordinator's delete.
    NotchTrackingContainerView(const TrayState &state, const SettingsStore &settings,
                               const CaptureQueue &queue,
                               std::function<void(const CaptureItem &)> deleteCapture,
                               std::shared_ptr<platform::PanelWindows> panels,
                               QWidget *parent = nullptr);
    ~NotchTrackingContainerView() override;

    // Called for a press inside the interactive rectangles; the controller sets it to its
    // trayClicked().
    std::function<void()> onClick;

    // The tray view; the container keeps it filling its whole area.
    void setTrayView(CaptureTrayView *view);
    CaptureTrayView *trayView() const;

    // The parts of the panel that take the pointer (widget coordinates).
    QList<QRectF> interactiveRects() const;
    bool isInteractive(QPointF position) const;
    // Hands the window system the region that takes input and, where translucency is not
    // available, shapes the window to the tray's outline. Called after every relayout.
    void refreshInteractiveArea();

    // A drop's data: deletes the staged capture it names (later, from the event loop) and
    // answers whether the drop was taken.
    bool performDrop(const QMimeData *data);

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void watchWindow();
    bool filterWindowEvent(QObject *window, QEvent *event);

    const TrayState &m_state;
    const SettingsStore &m_settings;
    const CaptureQueue &m_queue;
    std::function<void(const CaptureItem &)> m_deleteCapture;
    std::shared_ptr<platform::PanelWindows> m_panels;
    QPointer<CaptureTrayView> m_view;
    QPointer<QWindow> m_watchedWindow;
    bool m_deliveringPress = false;
};
