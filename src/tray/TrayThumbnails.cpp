#include "tray/TrayThumbnails.h"

#include "model/CaptureQueue.h"
#include "platform/Background.h"
#include "tray/CaptureTrayItemView.h"
#include "tray/CaptureTrayItemViewPictures.h"
#include "tray/TrayInteractions.h"

#include <QDrag>
#include <QMimeData>
#include <QSet>
#include <utility>

TrayThumbnails::TrayThumbnails(CaptureQueue &queue, TrayInteractions &interactions, QWidget &view,
                               QWidget &stripContent)
    : m_queue(queue), m_interactions(interactions), m_view(view), m_stripContent(stripContent),
      m_pictures(std::make_unique<TrayThumbnailCache>())
{
}

TrayThumbnails::~TrayThumbnails() = default;

void TrayThumbnails::setDragRunner(DragRunner runner)
{
    m_dragRunner = std::move(runner);
}

void TrayThumbnails::connectThumbnail(TrayThumbnailButton *thumbnail)
{
    connect(thumbnail, &TrayThumbnailButton::hoverChanged, this, [this, thumbnail](bool hovering) {
        m_interactions.handleThumbnailHover(thumbnail->item(), hovering);
    });
    connect(thumbnail, &QAbstractButton::pressed, this,
            [this] { m_interactions.handleThumbnailPress(); });
    connect(thumbnail, &TrayThumbnailButton::dragStarted, this,
            [this, thumbnail] { startDrag(thumbnail); });
}

void TrayThumbnails::sync(const QList<CaptureItem> &items, const std::optional<QUuid> &largeID,
                          const std::optional<CaptureItem> &displayed, const QColor &accent)
{
    QSet<QUuid> live;
    QSet<QUuid> celled;
    for (const CaptureItem &item : items) {
        live.insert(item.id());
        if (item.id() == largeID) {
            if (!m_largeThumbnail) {
                m_largeThumbnail = new CaptureTrayThumbnail(item, *m_pictures, &m_stripContent);
                m_largeThumbnail->setObjectName(QStringLiteral("largeThumbnail"));
                m_largeThumbnail->setMorph(1);
                connectThumbnail(m_largeThumbnail);
                connect(m_largeThumbnail, &QAbstractButton::clicked, this,
                        [this] { m_interactions.handleThumbnailTap(m_largeThumbnail->item()); });
            } else {
                m_largeThumbnail->setItem(item);
            }
            continue;
        }
        celled.insert(item.id());
        if (CaptureTrayItemView *cell = m_cells.value(item.id())) {
            cell->setItem(item);
            continue;
        }
        const QUuid id = item.id();
        auto *cell = new CaptureTrayItemView(
            item, false,
            [this, id] {
                if (const std::optional<CaptureItem> current = queuedItem(m_queue, id))
                    m_interactions.handleThumbnailTap(*current);
            },
            *m_pictures, &m_stripContent);
        connectThumbnail(cell);
        m_cells.insert(id, cell);
    }
    for (auto it = m_cells.begin(); it != m_cells.end();) {
        if (celled.contains(it.key())) {
            it.value()->setAccentColor(accent);
            ++it;
            continue;
        }
        retireCell(it.value());
        it = m_cells.erase(it);
    }
    if (displayed) {
        if (!m_morphThumbnail) {
            m_morphThumbnail = new CaptureTrayThumbnail(*displayed, *m_pictures, &m_view);
            m_morphThumbnail->setObjectName(QStringLiteral("displayedThumbnail"));
            connectThumbnail(m_morphThumbnail);
            connect(m_morphThumbnail, &QAbstractButton::clicked, this,
                    [this] { m_interactions.handleThumbnailTap(m_morphThumbnail->item()); });
        } else {
            m_morphThumbnail->setItem(*displayed);
        }
    }
    for (CaptureTrayThumbnail *thumbnail : {m_largeThumbnail, m_morphThumbnail}) {
        if (thumbnail)
            thumbnail->setAccentColor(accent);
    }
    m_pictures->retain(live);
}

void TrayThumbnails::retireCell(CaptureTrayItemView *cell)
{
    cell->hide();
    // Deleting the source of a running drag would pull the drag from under the user.
    if (cell == m_dragSource) {
        m_retiredCells << cell;
        return;
    }
    cell->deleteLater();
}

TrayThumbnails::StripPlacement TrayThumbnails::placeInStrip(const QList<CaptureItem> &items,
                                                            const std::optional<QUuid> &largeID)
{
    using namespace TrayBody;
    StripPlacement placement;
    double x = stripPadding;
    const double middle = stripHeight / 2;
    for (const CaptureItem &item : items) {
        if (item.id() == largeID && m_largeThumbnail) {
            const QRectF frame = centredAt(x, middle, CaptureTrayThumbnail::frameSize(1));
            placement.large = frame;
            m_largeThumbnail->move((frame.topLeft() - QPointF(CaptureTrayThumbnail::borderRoom,
                                                              CaptureTrayThumbnail::borderRoom))
                                       .toPoint());
            x += frame.width() + stripSpacing;
        } else if (CaptureTrayItemView *cell = m_cells.value(item.id())) {
            const QRectF frame = centredAt(x, middle, CaptureTrayItemView::frameSize(false));
            const int room = CaptureTrayItemView::shadowRoom();
            cell->move((frame.topLeft() - QPointF(room, room)).toPoint());
            x += frame.width() + stripSpacing;
        }
    }
    placement.contentWidth = items.isEmpty() ? 2 * stripPadding : x - stripSpacing + stripPadding;
    return placement;
}

void TrayThumbnails::place(const std::optional<QRectF> &compact,
                           const std::optional<QRectF> &largeInView, bool travelling,
                           const TrayBody::Moment &moment)
{
    for (CaptureTrayItemView *cell : std::as_const(m_cells)) {
        cell->setVisible(true);
        cell->setContentOpacity(moment.expandedOpacity);
    }
    if (m_largeThumbnail) {
        m_largeThumbnail->setVisible(largeInView.has_value() && !travelling);
        m_largeThumbnail->setContentOpacity(moment.expandedOpacity);
    }
    if (!m_morphThumbnail)
        return;
    QRectF frame;
    double opacity = 0;
    double morph = 0;
    if (travelling) {
        frame = TrayBody::lerp(*compact, *largeInView, moment.progress);
        morph = moment.progress;
        opacity = 1;
    } else if (compact) {
        frame = *compact;
        opacity = moment.compactOpacity;
    }
    m_morphThumbnail->setVisible(opacity > 0);
    if (opacity > 0) {
        const int room = CaptureTrayThumbnail::borderRoom;
        m_morphThumbnail->setMorph(morph);
        m_morphThumbnail->move(frame.topLeft().toPoint() - QPoint(room, room));
        m_morphThumbnail->setContentOpacity(opacity);
        m_morphThumbnail->raise();
    }
}

void TrayThumbnails::startDrag(TrayThumbnailButton *source)
{
    // The drag's file is made away from the main thread, which goes on answering the pointer
    // and the X server meanwhile; the drag starts once it is there, while the button of the
    // same press is held: a file that comes after its press was let go starts nothing, not even
    // the drag of the next press.
    const CaptureItem item = source->item();
    const quint64 gesture = source->gesture();
    const QPointer<TrayThumbnails> self(this);
    platform::deliverTo(source, item.prepareDragFile(),
                        [self, source, item, gesture](const std::optional<QUrl> &dragFile) {
                            if (self && source->gesture() == gesture && source->isDragging() &&
                                source->item().id() == item.id())
                                self->runDrag(source, item, dragFile);
                        });
}

void TrayThumbnails::runDrag(TrayThumbnailButton *source, const CaptureItem &item,
                             const std::optional<QUrl> &dragFile)
{
    // A running drag's event loop delivers what other presses asked for: none starts inside it.
    if (m_dragRunning)
        return;
    QMimeData *data = m_interactions.makeDragProvider(item, dragFile);
    if (!data)
        return;
    auto *drag = new QDrag(source);
    drag->setMimeData(data);
    const QPixmap picture = source->dragPicture();
    drag->setPixmap(picture);
    const QSizeF shown = QSizeF(picture.size()) / picture.devicePixelRatio();
    drag->setHotSpot(QPoint(int(shown.width() / 2), int(shown.height() / 2)));
    QPointer<TrayThumbnails> self(this);
    const QPointer<TrayThumbnailButton> dragged(source);
    m_dragSource = source;
    m_dragRunning = true;
    platform::runDragOut(drag, m_dragRunner);
    if (dragged)
        dragged->dragEnded();
    if (!self)
        return;
    m_dragRunning = false;
    m_dragSource = nullptr;
    for (const QPointer<CaptureTrayItemView> &cell : std::exchange(m_retiredCells, {})) {
        if (cell)
            cell->deleteLater();
    }
}
