#pragma once

#include "pins/PinCardDrawing.h"

#include <QFuture>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QVariantAnimation>
#include <QWidget>
#include <optional>

class PinWindowModel;

// The content of a floating pin window: the picture with rounded corners and a thin border, a
// row of round buttons with their hover help that fades in while the pointer is over it (ghost,
// copy, save or reveal, open, close), a context menu, open on double click and drag-out as a
// file. Paints what its window's model
// publishes and acts through it.
class PinContentView : public QWidget {
    Q_OBJECT

public:
    enum class Button : quint8 { ghost, copy, save, reveal, open, close };

    explicit PinContentView(PinWindowModel &controller, QWidget *parent = nullptr);

    bool isHovering() const { return m_hovering; }
    // The hover help of a button.
    static QString helpText(Button button);
    bool justCopied() const { return m_justCopied; }
    // The buttons this pin shows, in order, and where they lie.
    QList<Button> buttons() const;
    QList<QRectF> buttonRects() const;
    // The context menu's entries in order; an empty text is a divider.
    QStringList contextMenuItems() const;
    // The info label of a file pin ("<kind> • <size>"); absent for other pins.
    std::optional<QString> infoText() const;
    QColor borderColor() const;

    void trigger(Button button);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void copyItem();
    void setHovering(bool hovering);
    void paintOverlay(QPainter &painter);

    PinWindowModel &m_controller;
    bool m_hovering = false;
    // How far the button row has faded and grown in: 0 hidden, 1 shown.
    double m_overlayShown = 0;
    QVariantAnimation m_overlayFade;
    bool m_justCopied = false;
    std::optional<QPointF> m_pressPoint;
    // Counts the drags asked for; the one awaited is the last while the button is held.
    quint64 m_dragTurn = 0;
    bool m_awaitingDrag = false;
};
