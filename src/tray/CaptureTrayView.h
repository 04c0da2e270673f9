#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "tray/TrayBodyLayout.h"
#include "tray/TrayBodyPainter.h"
#include "tray/TrayInteractions.h"
#include "tray/TrayNeighbours.h"
#include "tray/TrayThumbnails.h"

#include <QPointer>
#include <QVariantAnimation>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class TrayState;
class RecordingDot;
class ScreenRecording;
class SettingsStore;
class TrayActionButton;
class TrayRecordingButton;
class TrayStripViewport;

// The tray's content: the outline, the compact and expanded bodies, the thumbnails, the
// recording row and the action buttons. Fills its parent (the panel's container) and hangs
// from its top edge.
class CaptureTrayView final : public QWidget {
    Q_OBJECT

public:
    CaptureTrayView(TrayState &state, CaptureQueue &queue, SettingsStore &settings,
                    ScreenRecording *recorder, TrayNeighbours neighbours, TrayViewActions actions,
                    QWidget *parent = nullptr);
    ~CaptureTrayView() override;

    // A new show hands fresh callbacks; the view itself (and any drag it started) survives.
    void setActions(TrayViewActions actions);
    // Whether a click at this point (view coordinates) belongs to a control that acts on its
    // own (the recording's stop and cancel buttons), so it must not count as a click on the
    // tray as well.
    bool ownsClick(QPoint position) const;

    // Hangs from the notch (square top corners) rather than floating.
    bool isAttachedToNotch() const { return m_content.attached; }
    // The outline as drawn now, in view coordinates, and its lower corners' radius.
    QRectF outlineRect() const;
    double cornerRadius() const;
    // The tray is growing or shrinking between its bodies.
    bool isMorphing() const;

    QList<TrayButtonID> visibleTrayButtons() const;
    // The lines of the expanded body's information column, top to bottom, as drawn, and where
    // the column lies (view coordinates).
    QStringList informationLines() const;
    QRectF informationRect() const;
    void performAction(TrayButtonID button);
    void handleThumbnailTap(const CaptureItem &item);
    void handleThumbnailHover(const CaptureItem &item, bool hovering);

    void setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler);
    using DragRunner = TrayThumbnails::DragRunner;
    void setDragRunner(DragRunner runner);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void sync();
    void interactionStateChanged();
    void reportExpansion();
    void computeLayout();
    void placeFrame();
    void updateElapsed();
    void useRecordingControl(const std::function<void()> &control);
    bool isRecording() const;
    double progress() const;
    TrayBody::Moment moment() const;

    TrayState &m_state;
    CaptureQueue &m_queue;
    SettingsStore &m_settings;
    QPointer<ScreenRecording> m_recorder;
    TrayNeighbours m_neighbours;
    TrayInteractions m_interactions;

    // What the model says, and where its parts go.
    TrayBody::Content m_content;
    TrayBody::Layout m_layout;
    // The large thumbnail's frame inside the strip's content.
    std::optional<QRectF> m_largeInStrip;

    // The morph between the bodies: 0 compact, 1 expanded.
    bool m_expanded = false;
    QVariantAnimation m_morph;
    double m_morphFrom = 0;
    double m_compactOpacityFrom = 1;
    double m_expandedOpacityFrom = 0;
    double m_compactOpacity = 1;
    double m_expandedOpacity = 0;

    TrayStripViewport *m_stripViewport = nullptr;
    std::unique_ptr<TrayThumbnails> m_thumbnails;
    std::array<TrayActionButton *, 7> m_buttons{};
    RecordingDot *m_compactDot = nullptr;
    RecordingDot *m_expandedDot = nullptr;
    TrayRecordingButton *m_stopButton = nullptr;
    TrayRecordingButton *m_cancelButton = nullptr;
    // One press of stop or cancel per recording: a second would race the first.
    bool m_recordingControlUsed = false;
};
