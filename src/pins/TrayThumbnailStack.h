#pragma once

#include "model/CaptureItem.h"
#include "pins/PinCardDrawing.h"
#include "pins/StackedMediaStack.h"

#include <QColor>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QWidget>
#include <functional>

// The first few staged captures as a small pile of thumbnail cards that fans out, with a capsule
// of copy, save and delete icons (those whose action is given) on the card under the pointer
// while the pile is spread. Built on the pins' card pile, beside it, so that the tray, which
// the pins build on, does not in turn build on them. Nothing in the program shows it yet: the
// live tray shows its captures in cells.
class TrayThumbnailStack : public QWidget {
    Q_OBJECT

public:
    static constexpr int itemLimit = 5;

    struct Options {
        double baseWidth = 120;
        double baseHeight = 80;
        double cornerRadius = 8;
        // Kept with the view; it draws nothing with them.
        QColor topStrokeColor;
        double topStrokeWidth = 0;
        std::function<void(const CaptureItem &)> onSelect;
        std::function<void(const CaptureItem &)> onDelete;
        std::function<void(const CaptureItem &)> onCopy;
        std::function<void(const CaptureItem &)> onSave;
    };

    TrayThumbnailStack(Options options, StackedMediaStack::MonitorFactory makeMonitor,
                       QWidget *parent = nullptr);

    void setItems(const QList<CaptureItem> &items);
    const QList<CaptureItem> &items() const { return m_items; }
    const Options &options() const { return m_options; }
    StackedMediaStack &stack() { return *m_stack; }

    static StackLayoutConfig config(const Options &options);
    // The capsule's icons, in order, for the actions given.
    QList<PinCardDrawing::Symbol> capsuleSymbols() const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void paintCard(QPainter &painter, int index, const QRectF &card, bool expanded, bool hovered);
    bool cardClick(int index, QPointF point, bool expanded, bool hovered);

    Options m_options;
    StackedMediaStack *m_stack;
    QList<CaptureItem> m_items;
};
