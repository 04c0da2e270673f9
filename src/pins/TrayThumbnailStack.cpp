#include "pins/TrayThumbnailStack.h"

#include <QPainter>
#include <QResizeEvent>

TrayThumbnailStack::TrayThumbnailStack(Options options,
                                       StackedMediaStack::MonitorFactory makeMonitor,
                                       QWidget *parent)
    : QWidget(parent), m_options(std::move(options)),
      m_stack(new StackedMediaStack(std::move(makeMonitor), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_stack->setConfig(config(m_options));
    m_stack->setPaintCard(
        [this](QPainter &painter, int index, const QRectF &card, bool expanded, bool hovered) {
            paintCard(painter, index, card, expanded, hovered);
        });
    m_stack->setCardClick([this](int index, QPointF point, bool expanded, bool hovered) {
        return cardClick(index, point, expanded, hovered);
    });
    m_stack->setOnSelect([this](int index) {
        if (m_options.onSelect && index < m_items.size())
            m_options.onSelect(m_items[index]);
    });
}

StackLayoutConfig TrayThumbnailStack::config(const Options &options)
{
    StackLayoutConfig config;
    config.collapsedRotationRange = {-5.0, 5.0};
    config.collapsedOffsetRange = {-3.0, 3.0};
    config.expandedSpread = 28.0;
    config.expandedRotationRange = {-10.0, 10.0};
    config.itemSize = QSizeF(options.baseWidth, options.baseHeight);
    config.cornerRadius = options.cornerRadius;
    config.shadowRadius = 4.0;
    config.shadowOpacity = 0.35;
    return config;
}

void TrayThumbnailStack::setItems(const QList<CaptureItem> &items)
{
    m_items = items.mid(0, itemLimit);
    QList<QUuid> ids;
    for (const CaptureItem &item : std::as_const(m_items))
        ids << item.id();
    m_stack->setItems(ids);
    m_stack->invalidateCards();
}

QList<PinCardDrawing::Symbol> TrayThumbnailStack::capsuleSymbols() const
{
    QList<PinCardDrawing::Symbol> symbols;
    if (m_options.onCopy)
        symbols << PinCardDrawing::Symbol::copy;
    if (m_options.onSave)
        symbols << PinCardDrawing::Symbol::save;
    if (m_options.onDelete)
        symbols << PinCardDrawing::Symbol::trash;
    return symbols;
}

void TrayThumbnailStack::resizeEvent(QResizeEvent *event)
{
    m_stack->setGeometry(QRect(QPoint(0, 0), event->size()));
}

void TrayThumbnailStack::paintCard(QPainter &painter, int index, const QRectF &card, bool expanded,
                                   bool hovered)
{
    if (index >= m_items.size())
        return;
    const QPixmap picture = PinCardDrawing::coverPixmap(m_items[index].thumbnail(), card.size(),
                                                        painter.device()->devicePixelRatioF());
    painter.save();
    painter.setClipRect(card);
    if (!picture.isNull())
        painter.drawPixmap(card.topLeft(), picture);
    painter.restore();
    const QList<PinCardDrawing::Symbol> symbols = capsuleSymbols();
    if (expanded && hovered && !symbols.isEmpty())
        PinCardDrawing::drawCapsule(
            painter, PinCardDrawing::capsule(card.size(), int(symbols.size())), symbols);
}

bool TrayThumbnailStack::cardClick(int index, QPointF point, bool expanded, bool hovered)
{
    const QList<PinCardDrawing::Symbol> symbols = capsuleSymbols();
    if (!expanded || !hovered || symbols.isEmpty() || index >= m_items.size())
        return false;
    const PinCardDrawing::Capsule capsule =
        PinCardDrawing::capsule(m_stack->config().itemSize, int(symbols.size()));
    const CaptureItem item = m_items[index];
    for (qsizetype i = 0; i < capsule.buttons.size(); ++i) {
        // Each icon takes its symbol padded by 4 points left and right and 2 above and below.
        if (!capsule.buttons[i].adjusted(-4, -2, 4, 2).contains(point))
            continue;
        switch (symbols[i]) {
        case PinCardDrawing::Symbol::copy:
            m_options.onCopy(item);
            break;
        case PinCardDrawing::Symbol::save:
            m_options.onSave(item);
            break;
        default:
            m_options.onDelete(item);
            break;
        }
        return true;
    }
    return false;
}
