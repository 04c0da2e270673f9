#pragma once

#include "pins/StackCardPictures.h"
#include "pins/StackLayout.h"
#include "pins/StackMotion.h"
#include "platform/DragOut.h"

#include <QDeadlineTimer>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <QTimer>
#include <QUuid>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QMimeData;

namespace platform {
class PointerMonitor;
}

// A pile of cards for a list of items (given by their identifiers, first item first; the first
// eight show). Collapsed, the cards lie on each other with a little jitter; a click fans them
// out left to right, the card under the pointer lifts, a click on a fanned card selects it, and
// a click anywhere outside the program collapses the pile again. What a card shows is painted
// by the caller; the pile knows nothing of what the items are.
class StackedMediaStack : public QWidget {
    Q_OBJECT

public:
    // Paints the card of the item at `index` into `card` (0, 0 to itemSize), already clipped to
    // the card's rounded rectangle.
    using PaintCard = StackCardPictures::PaintCard;
    // Paints what belongs over the card of `index` but must not turn with it (its controls),
    // right after that card; `card` maps card coordinates to the widget's, and the painter is
    // upright.
    using PaintOverlay = std::function<void(QPainter &painter, int index, const QTransform &card,
                                            bool expanded, bool hovered)>;
    // A click at `point` (card coordinates) on the card of `index`: true when something the
    // caller drew there (a button) took it, so it is no tap on the card.
    using CardClick = std::function<bool(int index, QPointF point, bool expanded, bool hovered)>;
    // Asks for the data a drag of the item's card carries, which may take a while: `start`
    // (called on the main thread, or never when the card is not dragged) hands it over, and the
    // drag starts then unless the button was let go or the card went meanwhile.
    using DragData =
        std::function<void(const QUuid &id, std::function<void(QMimeData *data)> start)>;
    using MonitorFactory = std::function<std::unique_ptr<platform::PointerMonitor>()>;

    explicit StackedMediaStack(MonitorFactory makeMonitor, QWidget *parent = nullptr);
    ~StackedMediaStack() override;

    // Cards move to their new places on `animation`, else on the configuration's.
    void setItems(const QList<QUuid> &ids,
                  std::optional<platform::Spring> animation = std::nullopt);
    QList<QUuid> items() const { return m_ids; }
    void setConfig(const StackLayoutConfig &config);
    const StackLayoutConfig &config() const { return m_config; }
    // Where the pile sits in the widget (a corner, or centred).
    void setAlignment(Qt::Alignment alignment);

    void setPaintCard(PaintCard paint) { m_paintCard = std::move(paint); }
    void setCardClick(CardClick click) { m_cardClick = std::move(click); }
    void setPaintOverlay(PaintOverlay paint) { m_paintOverlay = std::move(paint); }
    void setDragData(DragData drag) { m_dragData = std::move(drag); }
    // How a card's drag runs: QDrag::exec unless set.
    void setDragRunner(platform::DragRunner runner) { m_dragRunner = std::move(runner); }
    void setOnSelect(std::function<void(int index)> onSelect) { m_onSelect = std::move(onSelect); }
    // Told the newly hovered item's index, and nothing 50 ms after hovering ended.
    void setOnHoverItem(std::function<void(std::optional<int> index)> onHover)
    {
        m_onHoverItem = std::move(onHover);
    }

    bool isExpanded() const { return m_expanded; }
    void setExpanded(bool expanded);
    // The identifier of the card taken as hovered.
    std::optional<QUuid> activeHoverID() const { return m_activeHoverID; }
    bool isHovered(int index) const;
    int visibleCount() const { return StackLayout::visibleCount(int(m_ids.size())); }

    // The pile's frame in widget coordinates (during a collapse, the fanned frame until the cards
    // are in); what takes pointer input.
    QRectF pileRect() const;
    // The poses the cards are drawn at now, and the topmost card at a point (-1: none).
    QList<CardPose> currentPoses() const { return m_motion.shown(); }
    // The poses of the cards of items that went, drawn while they shrink and fade out.
    QList<CardPose> leavingPoses() const;
    int cardAt(QPointF point) const;
    // What the cards cover as drawn now (their turned, rounded shapes). For windows that cannot
    // be see-through, which are cut to it.
    QRegion drawnShape() const;
    // Whether the cards cast their shadows (on by default): a window that cannot be see-through
    // would show a shadow as black.
    void setShadows(bool shadows);
    // Maps card coordinates of the card at index, as drawn now, to the widget's.
    QTransform cardTransform(int index) const;
    // Card coordinates of a widget point for the card at index.
    QPointF cardPoint(int index, QPointF point) const;
    bool isAnimating() const;
    // The motion's clock, in milliseconds: a steady clock unless set.
    void setClock(std::function<qint64()> now) { m_now = std::move(now); }
    // Drops the cards' drawn pictures, so that the next paint asks the caller again (what a card
    // shows changed).
    void invalidateCards();

signals:
    void expandedChanged(bool expanded);
    // The pile's frame moved or changed size, or the cards came to rest.
    void pileRectChanged(const QRectF &rect);
    void framePainted();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QList<CardPose> targetPoses() const;
    QRectF pileRectFor(bool expanded) const;
    // Towards the poses of now: on `animation`, or at once.
    void retarget(std::optional<platform::Spring> animation);
    void runDrag(int index, QMimeData *data);
    void step();
    void pointerAt(std::optional<QPointF> point);
    void hoverEntered(const QUuid &id);
    void hoverLeft(const QUuid &id);
    void installMonitor();
    void removeMonitor();
    void announcePileRect();
    const QPixmap &cardPicture(int index, bool expanded, bool hovered);
    QRect dirtyRect() const;

    MonitorFactory m_makeMonitor;
    std::unique_ptr<platform::PointerMonitor> m_globalMonitor;
    QList<QUuid> m_ids;
    QList<quint64> m_hashes;
    StackLayoutConfig m_config;
    Qt::Alignment m_alignment = Qt::AlignCenter;
    PaintCard m_paintCard;
    CardClick m_cardClick;
    PaintOverlay m_paintOverlay;
    DragData m_dragData;
    platform::DragRunner m_dragRunner;
    // Counts the drags asked for; the one awaited is the last while the button is held.
    quint64 m_dragTurn = 0;
    bool m_awaitingDrag = false;
    std::function<void(int)> m_onSelect;
    std::function<void(std::optional<int>)> m_onHoverItem;

    bool m_expanded = false;
    bool m_shadows = true;
    std::optional<QUuid> m_activeHoverID;
    // Hover smoothing: the card taken as hovered and the pending end of hovering.
    std::optional<QUuid> m_lastHoverID;
    QTimer m_hoverEnd;
    std::optional<QUuid> m_pointerCard; // the card the pointer is over, raw

    StackMotion m_motion;
    QRectF m_fromPile;
    QTimer m_frameTimer;
    std::function<qint64()> m_now = [] { return QDeadlineTimer::current().deadline(); };
    platform::Spring m_animation;
    qint64 m_animationStart = 0;

    StackCardPictures m_pictures;
    bool m_warmUpPending = false;

    std::optional<QPointF> m_pressPoint;
    // The card pressed, by its item: a card that goes meanwhile moves the others' indexes.
    std::optional<QUuid> m_pressCard;
    QRectF m_announcedPile;
};
