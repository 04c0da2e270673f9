#pragma once

#include "pins/StackLayout.h"

#include <QList>
#include <QPixmap>
#include <QPointF>
#include <QUuid>
#include <functional>
#include <optional>

// The cards of a pile on their way from where a change found them to where they go: a card
// whose item stays moves on from where it is drawn, a card that comes to a pile already drawn
// grows from 0.8 of its size as it fades in, and a card whose item went shrinks to 0.8 as it
// fades out where it lay, drawn from its last picture.
class StackMotion {
public:
    // A card whose item went.
    struct LeavingCard {
        QPixmap picture;
        CardPose from;
        CardPose to;
        CardPose shown;
    };
    // The last picture of an item's card, if there is one.
    using PictureOf = std::function<std::optional<QPixmap>(const QUuid &id)>;

    // Starts the way to `target`, the poses of the cards of `ids` in order about `centre`.
    void retarget(const QList<QUuid> &ids, const QList<CardPose> &target, QPointF centre,
                  const PictureOf &pictureOf);
    // Places the cards the share `t` of their way.
    void advance(double t);
    // Places the cards where they go and drops those that leave.
    void settle();

    // The cards of the items as drawn now, in order.
    const QList<CardPose> &shown() const { return m_shown; }
    const QList<LeavingCard> &leaving() const { return m_leaving; }
    // Where the pile's centre is drawn now.
    QPointF centre() const { return m_centre; }
    // Every card to draw, bottom first: an item's card by its index, a leaving card as -1 less
    // its place in leaving(). A leaving card keeps its place in the drawing order.
    QList<int> drawingOrder() const;
    // The pose of a card as drawingOrder() numbers it.
    const CardPose &pose(int card) const
    {
        return card >= 0 ? m_shown[card] : m_leaving[-card - 1].shown;
    }

private:
    QList<QUuid> m_ids; // the items of m_shown, in order
    QList<CardPose> m_from;
    QList<CardPose> m_shown;
    QList<CardPose> m_target;
    QList<LeavingCard> m_leaving;
    QPointF m_fromCentre;
    QPointF m_centre;
    QPointF m_targetCentre;
};
