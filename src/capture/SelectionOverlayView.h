#pragma once

#include "capture/SelectionOverlayWindow.h"
#include "platform/Displays.h"

#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QRegion>
#include <QWidget>
#include <functional>
#include <optional>

class SettingsStore;

// The content of an area-selection panel: the dimmed desktop, the dragged rectangle with its
// frame and pixel-size label, and the magnifying loupe with the colour under the pointer. Space
// held while dragging moves the rectangle; Escape cancels.
//
// Points are kept in view points (origin at the bottom-left of the display, y upwards).
class SelectionOverlayView : public QWidget {
    Q_OBJECT

public:
    // `flipHeight` is H of the flip to capture coordinates; `screenImage` is the display's
    // frozen image in pixels (null when its capture failed). The settings are read at every
    // redraw for the loupe; without them there is none.
    SelectionOverlayView(const platform::Display &display, double flipHeight, QImage screenImage,
                         OverlayBackground background, const SettingsStore *settings,
                         QWidget *parent = nullptr);

    // The finished rectangle in capture coordinates.
    std::function<void(const QRectF &)> onSelected;
    std::function<void()> onCancelled;

    std::optional<QPointF> startPoint() const { return m_startPoint; }
    std::optional<QPointF> currentPoint() const { return m_currentPoint; }
    bool isSpacePressed() const { return m_isSpacePressed; }
    const SelectionBackdrop &backdrop() const { return m_backdrop; }

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // What is drawn over the dimmed desktop, in widget coordinates, to repaint what changed.
    struct Drawn {
        std::optional<QRectF> selection;
        QRegion decorations; // the size label and the loupe with its label
    };

    QPointF viewPoint(const QMouseEvent *event) const;
    void changeState(const std::function<void()> &change);
    Drawn drawn() const;
    bool showsLoupe() const;
    // The dragged rectangle in view points once the frame shows.
    std::optional<QRectF> visibleSelection() const;
    void finishSelection();

    QSizeF textSize(const QFont &font, const QString &text) const;
    QRectF sizeLabelRect(const QRectF &selection) const;
    QRectF loupeArea(QPointF pointer) const;
    void drawSizeLabel(QPainter &painter, const QRectF &selection) const;
    void drawLoupe(QPainter &painter, QPointF pointer) const;

    platform::Display m_display;
    double m_flipHeight;
    QImage m_screenImage;
    SelectionBackdrop m_backdrop;
    const SettingsStore *m_settings;
    QFont m_sizeFont;
    QFont m_loupeFont;

    std::optional<QPointF> m_startPoint;
    std::optional<QPointF> m_currentPoint;
    std::optional<QPointF> m_lastDragPoint;
    bool m_isSpacePressed = false;
};
