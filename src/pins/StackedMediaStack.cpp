#include "pins/StackedMediaStack.h"

#include "platform/PointerMonitor.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

constexpr int hoverEndDelayMs = 50;
constexpr int frameIntervalMs = 15;

} // namespace

StackedMediaStack::StackedMediaStack(MonitorFactory makeMonitor, QWidget *parent)
    : QWidget(parent), m_makeMonitor(std::move(makeMonitor))
{
    setMouseTracking(true);
    setAttribute(Qt::WA_TranslucentBackground);
    m_hoverEnd.setSingleShot(true);
    m_hoverEnd.setInterval(hoverEndDelayMs);
    connect(&m_hoverEnd, &QTimer::timeout, this, [this] {
        m_activeHoverID.reset();
        m_lastHoverID.reset();
        retarget(StackLayout::hoverSpring);
        if (m_onHoverItem)
            m_onHoverItem(std::nullopt);
    });
    // Frames are driven by a precise timer of our own and placed by the time since the change,
    // so a late frame catches up instead of slowing the motion.
    m_frameTimer.setTimerType(Qt::PreciseTimer);
    m_frameTimer.setInterval(frameIntervalMs);
    connect(&m_frameTimer, &QTimer::timeout, this, &StackedMediaStack::step);
}

void StackedMediaStack::step()
{
    // A spring that jumps takes no time: its change is whole at the first frame.
    const int durationMs = m_animation.durationMs();
    const double progress = durationMs > 0 ? double(m_now() - m_animationStart) / durationMs : 1.0;
    if (progress >= 1.0) {
        m_frameTimer.stop();
        m_motion.settle();
        announcePileRect();
        update();
        return;
    }
    m_motion.advance(m_animation.valueForProgress(progress));
    update(dirtyRect());
}

StackedMediaStack::~StackedMediaStack()
{
    removeMonitor();
}

void StackedMediaStack::setItems(const QList<QUuid> &ids, std::optional<platform::Spring> animation)
{
    m_ids = ids;
    m_hashes.clear();
    for (const QUuid &id : ids)
        m_hashes.append(StackLayout::identifierHash(id));
    retarget(animation.value_or(m_config.animation));
}

void StackedMediaStack::setConfig(const StackLayoutConfig &config)
{
    m_config = config;
    m_pictures.setConfig(config);
    invalidateCards();
    retarget(std::nullopt);
}

void StackedMediaStack::invalidateCards()
{
    m_pictures.clear();
    update();
    // The cards of both piles are drawn ahead, in a turn of their own, so that fanning out or
    // collapsing starts without drawing a single card.
    if (!m_warmUpPending) {
        m_warmUpPending = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_warmUpPending = false;
                for (int index = 0; index < visibleCount(); ++index) {
                    cardPicture(index, false, false);
                    cardPicture(index, true, false);
                }
            },
            Qt::QueuedConnection);
    }
}

QRect StackedMediaStack::dirtyRect() const
{
    // Turned and lifted cards and their shadows reach a little past the pile's frame.
    const double margin = m_config.itemSize.height() * 0.3 + m_config.shadowRadius + 16;
    return pileRect().adjusted(-margin, -margin, margin, margin).toAlignedRect();
}

void StackedMediaStack::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    retarget(std::nullopt);
}

void StackedMediaStack::setExpanded(bool expanded)
{
    if (m_expanded == expanded)
        return;
    m_expanded = expanded;
    if (expanded)
        installMonitor();
    else
        removeMonitor();
    retarget(m_config.animation);
    emit expandedChanged(expanded);
}

bool StackedMediaStack::isHovered(int index) const
{
    return index >= 0 && index < m_ids.size() && m_activeHoverID == m_ids[index];
}

QRectF StackedMediaStack::pileRectFor(bool expanded) const
{
    const QSizeF size = StackLayout::pileSize(m_config, visibleCount(), expanded);
    const QRectF area = rect();
    double x = area.center().x() - size.width() / 2.0;
    if (m_alignment & Qt::AlignLeft)
        x = area.left();
    else if (m_alignment & Qt::AlignRight)
        x = area.right() - size.width();
    double y = area.center().y() - size.height() / 2.0;
    if (m_alignment & Qt::AlignTop)
        y = area.top();
    else if (m_alignment & Qt::AlignBottom)
        y = area.bottom() - size.height();
    return {QPointF(x, y), size};
}

QRectF StackedMediaStack::pileRect() const
{
    const QRectF target = pileRectFor(m_expanded);
    return isAnimating() ? target.united(m_fromPile) : target;
}

bool StackedMediaStack::isAnimating() const
{
    return m_frameTimer.isActive();
}

QList<CardPose> StackedMediaStack::targetPoses() const
{
    QList<CardPose> poses;
    const int total = visibleCount();
    poses.reserve(total);
    for (int index = 0; index < total; ++index)
        poses.append(StackLayout::pose(m_config, index, total, m_hashes[index], m_expanded,
                                       isHovered(index)));
    return poses;
}

void StackedMediaStack::retarget(std::optional<platform::Spring> animation)
{
    const QList<CardPose> target = targetPoses();
    m_motion.retarget(m_ids.mid(0, target.size()), target, pileRectFor(m_expanded).center(),
                      [this](const QUuid &id) {
                          return m_pictures.drawn(id, m_expanded, m_activeHoverID == id);
                      });
    m_fromPile = m_announcedPile.isValid() ? m_announcedPile : pileRectFor(m_expanded);
    m_frameTimer.stop();
    if (animation && isVisible() && !target.isEmpty()) {
        m_animation = *animation;
        m_animationStart = m_now();
        m_frameTimer.start();
        announcePileRect();
        update(dirtyRect());
    } else {
        m_motion.settle();
        announcePileRect();
        update();
    }
}

QList<CardPose> StackedMediaStack::leavingPoses() const
{
    QList<CardPose> poses;
    for (const StackMotion::LeavingCard &card : m_motion.leaving())
        poses.append(card.shown);
    return poses;
}

QRegion StackedMediaStack::drawnShape() const
{
    QRegion shape;
    QPainterPath card;
    // A point inside the drawn edge: a pixel the turned card covers only in part would show
    // black.
    const double inset = 1.0;
    card.addRoundedRect(
        QRectF(QPointF(0, 0), m_config.itemSize).adjusted(inset, inset, -inset, -inset),
        std::max(0.0, m_config.cornerRadius - inset), std::max(0.0, m_config.cornerRadius - inset));
    // The cards where they are drawn now, in motion too, with their rounded corners: nothing
    // the cards leave see-through may be in it.
    for (qsizetype index = 0; index < m_motion.shown().size(); ++index)
        shape += QRegion(cardTransform(int(index)).map(card).toFillPolygon().toPolygon(),
                         Qt::OddEvenFill);
    return shape;
}

void StackedMediaStack::setShadows(bool shadows)
{
    if (m_shadows == shadows)
        return;
    m_shadows = shadows;
    update();
}

void StackedMediaStack::announcePileRect()
{
    const QRectF pile = pileRect();
    // At rest the drawn shape may change without the frame (a card lifted or let down); in
    // motion only a new frame counts, so a hover costs the pointer's move nothing.
    if (pile == m_announcedPile && isAnimating())
        return;
    m_announcedPile = pile;
    emit pileRectChanged(pile);
}

int StackedMediaStack::cardAt(QPointF point) const
{
    return StackLayout::hitTest(m_config, m_motion.shown(), m_motion.centre(), point);
}

QTransform StackedMediaStack::cardTransform(int index) const
{
    if (index < 0 || index >= m_motion.shown().size())
        return {};
    return StackLayout::cardTransform(m_config, m_motion.shown()[index], m_motion.centre());
}

QPointF StackedMediaStack::cardPoint(int index, QPointF point) const
{
    return cardTransform(index).inverted().map(point);
}

const QPixmap &StackedMediaStack::cardPicture(int index, bool expanded, bool hovered)
{
    return m_pictures.card(m_ids[index], index, expanded, hovered, devicePixelRatioF(),
                           m_paintCard);
}

void StackedMediaStack::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Cards in motion are placed without filtering; the frame they come to rest in is smooth.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !isAnimating());
    const QRectF card(QPointF(0, 0), m_config.itemSize);
    const double r = m_config.shadowRadius;
    const QPixmap shadow = m_shadows ? m_pictures.shadow(devicePixelRatioF()) : QPixmap();
    for (const int index : m_motion.drawingOrder()) {
        const CardPose &pose = m_motion.pose(index);
        painter.setOpacity(pose.opacity);
        const QTransform transform = StackLayout::cardTransform(m_config, pose, m_motion.centre());
        painter.setTransform(transform);
        if (!shadow.isNull())
            painter.drawPixmap(QPointF(-r, -r + 3), shadow);
        if (index < 0) {
            painter.drawPixmap(card.topLeft(), m_motion.leaving()[-index - 1].picture);
            continue;
        }
        const bool hovered = isHovered(index);
        painter.drawPixmap(card.topLeft(), cardPicture(index, m_expanded, hovered));
        if (m_paintOverlay) {
            painter.save();
            painter.resetTransform();
            m_paintOverlay(painter, index, transform, m_expanded, hovered);
            painter.restore();
        }
    }
    emit framePainted();
}

void StackedMediaStack::pointerAt(std::optional<QPointF> point)
{
    std::optional<QUuid> card;
    if (point) {
        const int index = cardAt(*point);
        if (index >= 0)
            card = m_ids[index];
    }
    if (card == m_pointerCard)
        return;
    const std::optional<QUuid> previous = m_pointerCard;
    m_pointerCard = card;
    if (previous)
        hoverLeft(*previous);
    if (card)
        hoverEntered(*card);
}

void StackedMediaStack::hoverEntered(const QUuid &id)
{
    m_hoverEnd.stop();
    if (m_lastHoverID == id)
        return;
    m_activeHoverID = id;
    m_lastHoverID = id;
    retarget(StackLayout::hoverSpring);
    if (m_onHoverItem)
        m_onHoverItem(int(m_ids.indexOf(id)));
}

void StackedMediaStack::hoverLeft(const QUuid &id)
{
    // A late exit from a card that is no longer the hovered one changes nothing.
    if (m_lastHoverID != id)
        return;
    m_hoverEnd.start();
}
