#include "windows/RoomFitter.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QLayout>
#include <QWidget>

RoomFitter::RoomFitter(QWidget *page, int margins) : QObject(page), m_page(page), m_margins(margins)
{
    page->installEventFilter(this);
}

void RoomFitter::addSideBySide(QBoxLayout *row)
{
    m_rows << row;
    m_rowWidths << row->totalMinimumSize().width() + m_margins;
}

void RoomFitter::addCards(QGridLayout *grid, QList<QWidget *> cards)
{
    m_grid = grid;
    m_cards = std::move(cards);
    // A card narrower than it asks for cuts its title, so the cards go by their wished width.
    m_cardsWidth = grid->totalSizeHint().width() + m_margins;
}

bool RoomFitter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_page && event->type() == QEvent::ParentChange) {
        if (m_container)
            m_container->removeEventFilter(this);
        m_container = m_page->parentWidget();
        if (m_container)
            m_container->installEventFilter(this);
    } else if (watched == m_container && event->type() == QEvent::Resize) {
        fitTo(m_container->width());
    } else if (watched == m_page && event->type() == QEvent::Resize) {
        // A new arrangement changes the page's least width while its container is being
        // resized, and the page can then be made narrower in the middle of its layout's own
        // run, which keeps the width it started with: the rows would reach past the page's
        // edge, cut off, until the next resize. Once the resize is over, a layout that missed
        // it runs again.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (QLayout *layout = m_page->layout();
                    layout && layout->geometry().size() != m_page->size())
                    layout->invalidate();
            },
            Qt::QueuedConnection);
    }
    return false;
}

void RoomFitter::fitTo(int width)
{
    const bool narrowCards = width < m_cardsWidth;
    if (m_grid && narrowCards != m_narrowCards) {
        m_narrowCards = narrowCards;
        const int perRow = narrowCards ? 2 : int(m_cards.size());
        for (int i = 0; i < m_cards.size(); ++i) {
            m_grid->removeWidget(m_cards[i]);
            m_grid->addWidget(m_cards[i], i / perRow, i % perRow);
        }
    }
    for (int i = 0; i < m_rows.size(); ++i) {
        m_rows[i]->setDirection(width < m_rowWidths[i] ? QBoxLayout::TopToBottom
                                                       : QBoxLayout::LeftToRight);
    }
}
