#pragma once

#include "pins/PinItem.h"
#include "pins/StackedMediaStack.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QSet>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <optional>

class QMimeData;
class SettingsStore;

// What a deck card's controls ask for; the deck's controller answers.
struct PinDeckActions {
    std::function<void(const PinItemPtr &)> open;
    std::function<void(const PinItemPtr &)> copy;
    std::function<void(const PinItemPtr &)> save;
    std::function<void(const PinItemPtr &)> remove;
};

// The deck panel's content: the pins as a pile of cards in the panel's corner, each drawn with
// the pin appearance settings, draggable out as a file, opened by a click on the fanned pile,
// with a capsule of copy, save-as and remove on the card under the pointer while fanned.
// Cards keep only their picture scaled to the card, never the full capture.
class PinStackContentView : public QWidget {
    Q_OBJECT

public:
    // The deck gives the pile its first twelve pins.
    static constexpr int deckItemLimit = 12;

    PinStackContentView(const SettingsStore &settings, PinDeckActions actions,
                        StackedMediaStack::MonitorFactory makeMonitor, QWidget *parent = nullptr);

    // The cards move on `animation`, else on the deck's own.
    void setItems(const QList<PinItemPtr> &items,
                  std::optional<platform::Spring> animation = std::nullopt);
    const QList<PinItemPtr> &items() const { return m_items; }
    // Re-reads the appearance settings (size, corner, ghost, opacity, border).
    void applySettings();

    StackedMediaStack &stack() { return *m_stack; }

    // The data a drag of the card of the item `id` carries, handed to `start` (which owns it);
    // nothing is handed over, and no drag starts, when there is nothing to carry (the card then
    // says why) or the item is no longer on the deck.
    void dragData(const QUuid &id, std::function<void(QMimeData *)> start);
    // Says over the pin's card why an action on it failed, for a few seconds.
    void showNotice(const QUuid &id, const QString &text);
    // The text shown over the card of `id`; empty when there is none.
    QString noticeAbout(const QUuid &id) const
    {
        return m_notice && m_notice->id == id ? m_notice->text : QString();
    }
    static constexpr std::chrono::milliseconds noticeDuration{4000};

signals:
    // The pile's frame, in this widget's coordinates, changed (what takes pointer input).
    void pileRectChanged(const QRectF &rect);

protected:
    void resizeEvent(QResizeEvent *event) override;
    // A drag on the background, beside the cards inside the pile's frame, moves the panel.
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintCard(QPainter &painter, int index, const QRectF &card, bool expanded, bool hovered);
    void paintOverlay(QPainter &painter, int index, const QTransform &card, bool expanded,
                      bool hovered);
    bool cardClick(int index, QPointF point, bool expanded, bool hovered);
    const QPixmap &picture(const PinItemPtr &item, QSizeF size);

    const SettingsStore &m_settings;
    PinDeckActions m_actions;
    StackedMediaStack *m_stack;
    QList<PinItemPtr> m_items;
    QHash<const PinItem *, QPixmap> m_pictures;
    QSizeF m_pictureSize;
    struct WindowPress {
        QPoint pointer;
        QPoint window;
    };
    // Where the pointer and the panel were when a press on the background began.
    std::optional<WindowPress> m_windowPress;
    bool m_movingWindow = false;
    // The pins whose card picture is being decoded, each decoded once at a time.
    QSet<const PinItem *> m_loadingPictures;
    struct Notice {
        QUuid id;
        QString text;
    };
    std::optional<Notice> m_notice;
    QTimer m_noticeEnd;
};
