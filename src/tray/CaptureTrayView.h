#pragma once

#include "model/CaptureItem.h"
#include "model/SettingsEnums.h"
#include "tray/TrayInformation.h"
#include "tray/TrayInteractions.h"
#include "tray/TrayNeighbours.h"

#include <QHash>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QVariantAnimation>
#include <QWidget>
#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class CaptureTrayItemView;
class CaptureTrayThumbnail;
class TrayState;
class QDrag;
class QMimeData;
class QPainter;
class RecordingDot;
class ScreenRecording;
class SettingsStore;
class TrayActionButton;
class TrayRecordingButton;
class TrayStripViewport;
class TrayThumbnailButton;
class TrayThumbnailCache;

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
    bool isAttachedToNotch() const { return m_attached; }
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
    QMimeData *makeDragProvider(const CaptureItem &item);

    void setHoverScheduler(std::unique_ptr<TrayHoverScheduler> scheduler);
    // Runs a started drag to its end; by default QDrag::exec with the copy action.
    using DragRunner = std::function<Qt::DropAction(QDrag &)>;
    void setDragRunner(DragRunner runner);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    struct Layout;

    void sync();
    void syncThumbnails(const QList<CaptureItem> &items);
    void retireCell(CaptureTrayItemView *cell);
    void connectThumbnail(TrayThumbnailButton *thumbnail);
    void interactionStateChanged();
    void reportExpansion();
    void computeLayout();
    void placeFrame();
    void paintOutline(QPainter &painter, double progress) const;
    void updateElapsed();
    void startDrag(TrayThumbnailButton *source);
    void useRecordingControl(const std::function<void()> &control);
    bool isRecording() const;
    double progress() const;

    TrayState &m_state;
    CaptureQueue &m_queue;
    SettingsStore &m_settings;
    QPointer<ScreenRecording> m_recorder;
    TrayNeighbours m_neighbours;
    TrayInteractions m_interactions;
    std::unique_ptr<TrayThumbnailCache> m_pictures;

    // What the model says, read by sync().
    bool m_attached = false;
    bool m_expanded = false;
    bool m_recording = false;
    int m_count = 0;
    std::optional<CaptureItem> m_displayed;
    std::optional<QUuid> m_largeID;
    QList<TrayButtonID> m_visibleButtons;
    QSizeF m_compactSize;
    QSizeF m_expandedSize;
    double m_notchHeight = 0;
    QString m_badgeText;
    QString m_nameText;
    QString m_sizeText;
    // What happened to the displayed capture: its failure or its notice.
    std::optional<TrayInformation::Status> m_status;
    QString m_elapsedText;
    std::unique_ptr<Layout> m_layout;

    // The morph between the bodies: 0 compact, 1 expanded.
    QVariantAnimation m_morph;
    double m_morphFrom = 0;
    double m_compactOpacityFrom = 1;
    double m_expandedOpacityFrom = 0;
    double m_compactOpacity = 1;
    double m_expandedOpacity = 0;

    CaptureTrayThumbnail *m_morphThumbnail = nullptr;
    TrayStripViewport *m_stripViewport = nullptr;
    QWidget *m_stripContent = nullptr;
    CaptureTrayThumbnail *m_largeThumbnail = nullptr;
    QHash<QUuid, CaptureTrayItemView *> m_cells;
    std::array<TrayActionButton *, 7> m_buttons{};
    RecordingDot *m_compactDot = nullptr;
    RecordingDot *m_expandedDot = nullptr;
    TrayRecordingButton *m_stopButton = nullptr;
    TrayRecordingButton *m_cancelButton = nullptr;
    // One press of stop or cancel per recording: a second would race the first.
    bool m_recordingControlUsed = false;

    DragRunner m_dragRunner;
    QPointer<TrayThumbnailButton> m_dragSource;
    // Cells whose capture left the strip while they were a drag's source; deleted afterwards.
    QList<QPointer<CaptureTrayItemView>> m_retiredCells;
};
