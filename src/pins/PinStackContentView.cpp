#include "pins/PinStackContentView.h"

#include "platform/Background.h"

#include "model/SettingsStore.h"
#include "pins/PinActions.h"
#include "pins/PinCardDrawing.h"
#include "pins/PinGeometry.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>
#include <algorithm>
#include <utility>

namespace {

using PinCardDrawing::Symbol;

const QList<Symbol> capsuleSymbols = {Symbol::copy, Symbol::save, Symbol::trash};

Qt::Alignment alignmentFor(PinPlacement placement)
{
    switch (placement) {
    case PinPlacement::topLeft:
        return Qt::AlignTop | Qt::AlignLeft;
    case PinPlacement::topRight:
        return Qt::AlignTop | Qt::AlignRight;
    case PinPlacement::bottomLeft:
        return Qt::AlignBottom | Qt::AlignLeft;
    case PinPlacement::bottomRight:
        return Qt::AlignBottom | Qt::AlignRight;
    }
    return Qt::AlignTop | Qt::AlignRight;
}

} // namespace

PinStackContentView::PinStackContentView(const SettingsStore &settings, PinDeckActions actions,
                                         StackedMediaStack::MonitorFactory makeMonitor,
                                         QWidget *parent)
    : QWidget(parent), m_settings(settings), m_actions(std::move(actions)),
      m_stack(new StackedMediaStack(std::move(makeMonitor), this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    m_stack->installEventFilter(this);
    m_stack->setPaintCard(
        [this](QPainter &painter, int index, const QRectF &card, bool expanded, bool hovered) {
            paintCard(painter, index, card, expanded, hovered);
        });
    m_stack->setPaintOverlay(
        [this](QPainter &painter, int index, const QTransform &card, bool expanded, bool hovered) {
            paintOverlay(painter, index, card, expanded, hovered);
        });
    m_noticeEnd.setSingleShot(true);
    m_noticeEnd.setInterval(noticeDuration);
    connect(&m_noticeEnd, &QTimer::timeout, this, [this] {
        m_notice.reset();
        m_stack->update();
    });
    m_stack->setCardClick([this](int index, QPointF point, bool expanded, bool hovered) {
        return cardClick(index, point, expanded, hovered);
    });
    m_stack->setOnSelect([this](int index) {
        if (index < m_items.size() && m_actions.open)
            m_actions.open(m_items[index]);
    });
    m_stack->setDragData([this](const QUuid &id, std::function<void(QMimeData *)> start) {
        dragData(id, std::move(start));
    });
    connect(m_stack, &StackedMediaStack::pileRectChanged, this,
            &PinStackContentView::pileRectChanged);
    applySettings();
}

void PinStackContentView::setItems(const QList<PinItemPtr> &items,
                                   std::optional<platform::Spring> animation)
{
    m_items = items.mid(0, deckItemLimit);
    // Only the pictures of cards that can show are kept.
    QHash<const PinItem *, QPixmap> kept;
    for (int i = 0; i < m_items.size() && i < StackLayout::maxVisibleCards; ++i) {
        const auto found = m_pictures.constFind(m_items[i].get());
        if (found != m_pictures.constEnd())
            kept.insert(found.key(), found.value());
    }
    m_pictures = std::move(kept);
    QList<QUuid> ids;
    for (const PinItemPtr &item : std::as_const(m_items))
        ids.append(item->id());
    // Before the cards' pictures go: a card that leaves is drawn from its own as it fades out.
    m_stack->setItems(ids, animation);
    m_stack->invalidateCards();
}

void PinStackContentView::dragData(const QUuid &id, std::function<void(QMimeData *)> start)
{
    const auto found = std::find_if(m_items.cbegin(), m_items.cend(),
                                    [&id](const PinItemPtr &item) { return item->id() == id; });
    if (found == m_items.cend())
        return;
    PinActions::dragData(
        *found, this,
        [self = QPointer(this), id](const QString &text) {
            if (self)
                self->showNotice(id, text);
        },
        std::move(start));
}

bool PinStackContentView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_stack)
        return QWidget::eventFilter(watched, event);
    const auto type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove &&
        type != QEvent::MouseButtonRelease)
        return false;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const QPoint pointer = mouse->globalPosition().toPoint();
    if (type == QEvent::MouseButtonPress) {
        m_movingWindow = false;
        m_windowPress.reset();
        // A press on a card may begin its drag: its picture is judged meanwhile, so that the
        // drag's file is soon made.
        const int card = m_stack->cardAt(mouse->position());
        if (mouse->button() == Qt::LeftButton && card >= 0 && card < m_items.size())
            m_items[card]->checkPicture();
        // The background: inside the pile's frame, beside the cards.
        if (mouse->button() == Qt::LeftButton && card < 0 &&
            m_stack->pileRect().contains(mouse->position()))
            m_windowPress = WindowPress{pointer, pos()};
        return false;
    }
    if (!m_windowPress)
        return false;
    if (type == QEvent::MouseButtonRelease) {
        m_windowPress.reset();
        // A drag neither fans nor collapses the pile.
        return std::exchange(m_movingWindow, false);
    }
    m_movingWindow = m_movingWindow || (pointer - m_windowPress->pointer).manhattanLength() >=
                                           QApplication::startDragDistance();
    if (m_movingWindow)
        move(m_windowPress->window + pointer - m_windowPress->pointer);
    return m_movingWindow;
}

void PinStackContentView::applySettings()
{
    // The pile fits the panel, which the controller holds inside the visible screen.
    m_stack->setConfig(PinGeometry::deckConfig(m_settings.pinSize(), QSizeF(size())));
    m_stack->setAlignment(alignmentFor(m_settings.pinPlacement()));
    m_stack->invalidateCards();
}

void PinStackContentView::resizeEvent(QResizeEvent *event)
{
    m_stack->setGeometry(QRect(QPoint(0, 0), event->size()));
    applySettings();
}

const QPixmap &PinStackContentView::picture(const PinItemPtr &item, QSizeF size)
{
    if (m_pictureSize != size) {
        m_pictures.clear();
        m_pictureSize = size;
    }
    auto found = m_pictures.find(item.get());
    if (found == m_pictures.end()) {
        const double dpr = devicePixelRatioF();
        const QSize pixels = PinCardDrawing::devicePixels(size, dpr);
        // A picture that lives on disk is decoded away from this thread; the card shows its
        // thumbnail until then, and is drawn again once it is kept.
        if (item->needsCardPicture(pixels) && !m_loadingPictures.contains(item.get())) {
            m_loadingPictures.insert(item.get());
            platform::deliverTo(this, item->loadCardPicture(pixels),
                                [this, kept = item](const QImage &picture) {
                                    m_loadingPictures.remove(kept.get());
                                    kept->keepCardPicture(picture);
                                    m_pictures.remove(kept.get());
                                    m_stack->invalidateCards();
                                    m_stack->update();
                                });
        }
        QPixmap pixmap = QPixmap::fromImage(item->cardPicture(pixels));
        pixmap.setDevicePixelRatio(dpr);
        found = m_pictures.insert(item.get(), pixmap);
    }
    return found.value();
}

void PinStackContentView::paintCard(QPainter &painter, int index, const QRectF &card, bool expanded,
                                    bool hovered)
{
    if (index >= m_items.size())
        return;
    const PinItemPtr &item = m_items[index];
    const double opacity = m_settings.pinDefaultGhostMode() && !hovered
                               ? 0.3
                               : usablePinOpacity(m_settings.pinDefaultOpacity());
    painter.save();
    painter.setOpacity(opacity);
    const QPixmap &pixmap = picture(item, card.size());
    if (pixmap.isNull())
        painter.fillRect(card, QColor(128, 128, 128));
    else
        painter.drawPixmap(card.topLeft(), pixmap);
    painter.restore();

    const double borderWidth = usablePinBorderWidth(m_settings.pinBorderWidth());
    if (borderWidth > 0.0) {
        QPainterPath shape;
        shape.addRoundedRect(card, 8.0, 8.0);
        painter.setPen(
            QPen(PinCardDrawing::borderColor(m_settings.pinBorderColor(), m_settings.accentTheme()),
                 borderWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }
}

void PinStackContentView::showNotice(const QUuid &id, const QString &text)
{
    m_notice = Notice{id, text};
    m_noticeEnd.start();
    m_stack->update();
}

void PinStackContentView::paintOverlay(QPainter &painter, int index, const QTransform &card,
                                       bool expanded, bool hovered)
{
    if (m_notice && index < m_items.size() && m_items[index]->id() == m_notice->id) {
        painter.setRenderHint(QPainter::Antialiasing);
        PinCardDrawing::drawNotice(painter, card, m_stack->config().itemSize, m_notice->text);
    }
    if (!expanded || !hovered)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    PinCardDrawing::drawCapsule(painter,
                                PinCardDrawing::uprightCapsule(card, m_stack->config().itemSize,
                                                               int(capsuleSymbols.size())),
                                capsuleSymbols);
}

bool PinStackContentView::cardClick(int index, QPointF point, bool expanded, bool hovered)
{
    if (!expanded || !hovered || index >= m_items.size())
        return false;
    // The capsule stands upright over the turned card: compared in the pile's coordinates.
    const QTransform transform = m_stack->cardTransform(index);
    point = transform.map(point);
    const PinCardDrawing::Capsule capsule = PinCardDrawing::uprightCapsule(
        transform, m_stack->config().itemSize, int(capsuleSymbols.size()));
    if (!capsule.frame.contains(point))
        return false;
    // The item is held here: removing it may drop the deck's own reference.
    const PinItemPtr item = m_items[index];
    const std::function<void(const PinItemPtr &)> *actions[] = {&m_actions.copy, &m_actions.save,
                                                                &m_actions.remove};
    for (qsizetype i = 0; i < capsule.buttons.size(); ++i) {
        // Each button takes a few points around its symbol.
        if (capsule.buttons[i].adjusted(-4, -4, 4, 4).contains(point)) {
            if (*actions[i])
                (*actions[i])(item);
            return true;
        }
    }
    return true;
}
