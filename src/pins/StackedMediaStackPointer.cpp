// The deck's pile under the pointer: presses, clicks and drags of its cards, and the watch on
// the pointer that keeps its hover right while the pile is shown.

#include "pins/StackedMediaStack.h"

#include "platform/PointerMonitor.h"

#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <memory>
#include <utility>

void StackedMediaStack::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF position = event->position();
    if (m_pressPoint && m_pressCard && m_dragData && (event->buttons() & Qt::LeftButton) &&
        (position - *m_pressPoint).manhattanLength() >= QApplication::startDragDistance()) {
        const QUuid id = *std::exchange(m_pressCard, std::nullopt);
        m_pressPoint.reset();
        const quint64 turn = ++m_dragTurn;
        m_awaitingDrag = true;
        m_dragData(id, [self = QPointer(this), id, turn](QMimeData *data) {
            std::unique_ptr<QMimeData> owned(data);
            if (!self || self->m_dragTurn != turn || !self->m_awaitingDrag || !owned)
                return;
            self->m_awaitingDrag = false;
            // The card is found where it is now; one that went is not dragged.
            const int index = int(self->m_ids.indexOf(id));
            if (index >= 0)
                self->runDrag(index, owned.release());
        });
        return;
    }
    pointerAt(position);
}

void StackedMediaStack::runDrag(int index, QMimeData *data)
{
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    QPixmap preview(m_config.itemSize.toSize() / 2);
    preview.fill(Qt::transparent);
    {
        QPainter painter(&preview);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.scale(0.5, 0.5);
        QPainterPath shape;
        const QRectF card(QPointF(0, 0), m_config.itemSize);
        shape.addRoundedRect(card, m_config.cornerRadius, m_config.cornerRadius);
        painter.setClipPath(shape);
        if (m_paintCard && index < m_ids.size())
            m_paintCard(painter, index, card, m_expanded, false);
    }
    drag->setPixmap(preview);
    platform::runDragOut(drag, m_dragRunner);
}

void StackedMediaStack::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressPoint = event->position();
    const int card = cardAt(event->position());
    m_pressCard.reset();
    if (card >= 0 && card < m_ids.size())
        m_pressCard = m_ids[card];
}

void StackedMediaStack::mouseReleaseEvent(QMouseEvent *event)
{
    // A drag whose data is still being made does not start after the button is let go.
    if (event->button() == Qt::LeftButton)
        m_awaitingDrag = false;
    if (event->button() != Qt::LeftButton || !m_pressPoint)
        return;
    const QPointF position = event->position();
    m_pressPoint.reset();
    const int index = cardAt(position);
    if (index >= 0 && index < m_ids.size() && m_ids[index] == m_pressCard) {
        const bool hovered = isHovered(index);
        if (m_cardClick && m_cardClick(index, cardPoint(index, position), m_expanded, hovered))
            return;
        if (!m_expanded)
            setExpanded(true);
        else if (m_onSelect)
            m_onSelect(index);
        return;
    }
    if (index < 0 && pileRect().contains(position))
        setExpanded(!m_expanded);
}

void StackedMediaStack::leaveEvent(QEvent *)
{
    pointerAt(std::nullopt);
}

void StackedMediaStack::hideEvent(QHideEvent *)
{
    removeMonitor();
}

void StackedMediaStack::resizeEvent(QResizeEvent *)
{
    retarget(std::nullopt);
}

void StackedMediaStack::installMonitor()
{
    if (m_globalMonitor || !m_makeMonitor)
        return;
    m_globalMonitor = m_makeMonitor();
    if (!m_globalMonitor)
        return;
    connect(m_globalMonitor.get(), &platform::PointerMonitor::pointerEvent, this,
            [this](const platform::PointerEvent &event) {
                // Clicks in the program's own windows come through Qt and do not collapse.
                if (event.kind != platform::PointerEvent::Kind::buttonPressed ||
                    event.overOwnWindow)
                    return;
                if (event.button == Qt::LeftButton || event.button == Qt::RightButton)
                    setExpanded(false);
            });
    m_globalMonitor->start();
}

void StackedMediaStack::removeMonitor()
{
    if (!m_globalMonitor)
        return;
    m_globalMonitor->stop();
    // The monitor may be delivering the very click that collapses the pile.
    disconnect(m_globalMonitor.get(), nullptr, this, nullptr);
    m_globalMonitor.release()->deleteLater();
}
