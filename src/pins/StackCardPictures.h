#pragma once

#include "pins/StackLayout.h"

#include <QHash>
#include <QPixmap>
#include <QRectF>
#include <QUuid>
#include <functional>
#include <optional>

class QPainter;

// The pictures a pile of cards is drawn from: each card as drawn (the caller's content cut to
// the rounded corners, and the outline) in each of its looks, and the one shadow every card
// casts. Kept between frames, so that a frame of an animation only places pictures.
class StackCardPictures {
public:
    // Paints the card of the item at `index` into `card` (0, 0 to itemSize), already clipped to
    // the card's rounded rectangle.
    using PaintCard = std::function<void(QPainter &painter, int index, const QRectF &card,
                                         bool expanded, bool hovered)>;

    // A new look (size, corners, shadow) drops every picture.
    void setConfig(const StackLayoutConfig &config);
    void clear() { m_cards.clear(); }

    // The card of the item `id` at `index`, for a device pixel ratio.
    const QPixmap &card(const QUuid &id, int index, bool expanded, bool hovered, double dpr,
                        const PaintCard &paint);
    // The card of the item `id` in a look as drawn before, if it was.
    std::optional<QPixmap> drawn(const QUuid &id, bool expanded, bool hovered) const
    {
        const auto found = m_cards.constFind({id, expanded, hovered});
        return found == m_cards.constEnd() ? std::nullopt : std::optional(found.value());
    }
    // Null when the cards cast none.
    const QPixmap &shadow(double dpr);

private:
    struct CardKey {
        QUuid id;
        bool expanded;
        bool hovered;
        bool operator==(const CardKey &) const = default;
    };
    friend size_t qHash(const CardKey &key, size_t seed)
    {
        return qHashMulti(seed, key.id, key.expanded, key.hovered);
    }

    StackLayoutConfig m_config;
    QHash<CardKey, QPixmap> m_cards;
    QPixmap m_shadow;
};
