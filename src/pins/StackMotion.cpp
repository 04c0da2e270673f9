#include "pins/StackMotion.h"

#include <algorithm>

namespace {

// A card that comes grows from this share of its size; one that goes shrinks to it.
constexpr double comingScale = 0.8;

CardPose faded(CardPose pose)
{
    pose.scale *= comingScale;
    pose.opacity = 0.0;
    return pose;
}

} // namespace

void StackMotion::retarget(const QList<QUuid> &ids, const QList<CardPose> &target, QPointF centre,
                           const PictureOf &pictureOf)
{
    m_fromCentre = m_shown.isEmpty() ? centre : m_centre;
    m_centre = m_fromCentre;
    m_targetCentre = centre;
    const QList<CardPose> previous = m_shown;
    const QList<QUuid> previousIds = m_ids;
    m_ids = ids;
    m_target = target;
    m_from = target;
    for (qsizetype i = 0; i < m_from.size() && i < m_ids.size(); ++i) {
        const qsizetype was = previousIds.indexOf(m_ids[i]);
        if (was >= 0)
            m_from[i] = previous[was];
        else if (!previous.isEmpty())
            m_from[i] = faded(m_target[i]);
    }
    for (LeavingCard &card : m_leaving)
        card.from = card.shown;
    for (qsizetype was = 0; was < previousIds.size(); ++was) {
        if (m_ids.contains(previousIds[was]) || !pictureOf)
            continue;
        if (const std::optional<QPixmap> picture = pictureOf(previousIds[was]))
            m_leaving.append({*picture, previous[was], faded(previous[was]), previous[was]});
    }
    m_shown = m_from;
}

void StackMotion::advance(double t)
{
    for (qsizetype i = 0; i < m_shown.size(); ++i)
        m_shown[i] = StackLayout::interpolate(m_from[i], m_target[i], t);
    for (LeavingCard &card : m_leaving)
        card.shown = StackLayout::interpolate(card.from, card.to, t);
    m_centre = m_fromCentre + (m_targetCentre - m_fromCentre) * t;
}

void StackMotion::settle()
{
    m_leaving.clear();
    m_shown = m_target;
    m_centre = m_targetCentre;
}

QList<int> StackMotion::drawingOrder() const
{
    QList<int> order;
    for (int i = 0; i < m_shown.size(); ++i)
        order.append(i);
    for (int i = 0; i < m_leaving.size(); ++i)
        order.append(-i - 1);
    std::stable_sort(order.begin(), order.end(),
                     [this](int a, int b) { return pose(a).z < pose(b).z; });
    return order;
}
