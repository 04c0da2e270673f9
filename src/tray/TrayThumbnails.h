#pragma once

#include "model/CaptureItem.h"
#include "platform/DragOut.h"
#include "tray/TrayBodyPainter.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>
#include <QUuid>
#include <functional>
#include <memory>
#include <optional>

class CaptureQueue;
class CaptureTrayItemView;
class CaptureTrayThumbnail;
class QWidget;
class TrayInteractions;
class TrayThumbnailButton;
class TrayThumbnailCache;

// The tray's thumbnails: the displayed capture's own, which grows from the pill into the strip
// and back, the strip's large one of the selected capture and a cell for each other staged
// capture. Taps and hovers go to the interactions; a drag of a thumbnail runs from here, and a
// cell whose capture leaves while it is the drag's source stays until the drag ends.
class TrayThumbnails final : public QObject {
public:
    using DragRunner = platform::DragRunner;

    // The displayed capture's thumbnail lives in `view`, the others in `stripContent`.
    TrayThumbnails(CaptureQueue &queue, TrayInteractions &interactions, QWidget &view,
                   QWidget &stripContent);
    ~TrayThumbnails() override;

    void setDragRunner(DragRunner runner);

    // Makes, updates and retires the thumbnails for the staged `items`: the large one for
    // `largeID`, a cell for each other, and the displayed capture's own; all in `accent`.
    void sync(const QList<CaptureItem> &items, const std::optional<QUuid> &largeID,
              const std::optional<CaptureItem> &displayed, const QColor &accent);

    // Lines the large thumbnail and the cells up along the strip's content in queue order.
    struct StripPlacement {
        // The large thumbnail's frame in the content.
        std::optional<QRectF> large;
        double contentWidth = 0;
    };
    StripPlacement placeInStrip(const QList<CaptureItem> &items,
                                const std::optional<QUuid> &largeID);

    // Shows the thumbnails at a moment of the morph. `compact` is the displayed capture's place
    // in the pill, `largeInView` the large one's in the strip (view coordinates); `travelling`:
    // the displayed capture's thumbnail is on its way between the two, in the large one's stead.
    void place(const std::optional<QRectF> &compact, const std::optional<QRectF> &largeInView,
               bool travelling, const TrayBody::Moment &moment);

private:
    void connectThumbnail(TrayThumbnailButton *thumbnail);
    void retireCell(CaptureTrayItemView *cell);
    void startDrag(TrayThumbnailButton *source);
    void runDrag(TrayThumbnailButton *source, const CaptureItem &item,
                 const std::optional<QUrl> &dragFile);

    CaptureQueue &m_queue;
    TrayInteractions &m_interactions;
    QWidget &m_view;
    QWidget &m_stripContent;
    std::unique_ptr<TrayThumbnailCache> m_pictures;

    CaptureTrayThumbnail *m_morphThumbnail = nullptr;
    CaptureTrayThumbnail *m_largeThumbnail = nullptr;
    QHash<QUuid, CaptureTrayItemView *> m_cells;

    DragRunner m_dragRunner;
    QPointer<TrayThumbnailButton> m_dragSource;
    bool m_dragRunning = false;
    // Cells whose capture left the strip while they were a drag's source; deleted afterwards.
    QList<QPointer<CaptureTrayItemView>> m_retiredCells;
};
