#pragma once

#include "pins/PinCardDrawing.h"
#include "pins/StackLayout.h"
#include "pins/StackedMediaStack.h"
#include "support/WaitUntil.h"

#include <QEvent>
#include <QObject>
#include <QPoint>
#include <optional>

// Where a point of the deck's card at index lies on the screen (its centre when none is given),
// once the cards have settled.
inline QPoint onDeckCard(StackedMediaStack &stack, int index,
                         std::optional<QPointF> inCard = std::nullopt)
{
    waitUntil([&] { return !stack.isAnimating(); });
    const StackLayoutConfig &config = stack.config();
    const QPointF point =
        inCard.value_or(QPointF(config.itemSize.width() / 2, config.itemSize.height() / 2));
    const QPointF local =
        StackLayout::cardTransform(config, stack.currentPoses()[index], stack.pileRect().center())
            .map(point);
    return stack.mapToGlobal(local.toPoint());
}

// The capsule buttons over a hovered card of the fanned deck, left to right.
enum class DeckCapsuleButton { copy, save, remove };

// Where that button of the card at index lies on the screen, once the cards have settled.
inline QPoint onDeckCapsule(StackedMediaStack &stack, int index, DeckCapsuleButton button)
{
    waitUntil([&] { return !stack.isAnimating(); });
    const PinCardDrawing::Capsule capsule =
        PinCardDrawing::uprightCapsule(stack.cardTransform(index), stack.config().itemSize, 3);
    return stack.mapToGlobal(capsule.buttons[int(button)].center().toPoint());
}

// Whether the object received an event of the type.
class EventWatch final : public QObject {
public:
    EventWatch(QObject *watched, QEvent::Type type) : m_type(type)
    {
        watched->installEventFilter(this);
    }
    bool seen = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        seen = seen || event->type() == m_type;
        return false;
    }

private:
    QEvent::Type m_type;
};
