#pragma once

#include "preview/AnnotationModel.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <optional>

class AnnotationEditorState;
class QPainter;

// Where the capture sits in a drawing area of the given size: fitted with its
// aspect kept inside the area less 24 points on every side, centred. The
// drawing surface is exactly this rectangle, so marks stay on their pixels.
QRectF fittedImageRect(QSizeF areaSize, QSizeF imagePixelSize);

// One committed mark as the editor shows it; sx and sy are image pixels per
// display point. Widths and sizes are display points, unscaled.
void drawAnnotationOnScreen(QPainter &painter, const AnnotationItem &item, double sx, double sy);

// The mark being dragged, in display points of the surface.
void drawLivePreview(QPainter &painter, const AnnotationEditorState &state);

// The editor's drawing area: the capture fitted into the room it has, the
// marks over it, and drags turned into new marks.
class AnnotationCanvas final : public QWidget {
    Q_OBJECT

public:
    AnnotationCanvas(const QImage &image, QSizeF imagePixelSize, AnnotationEditorState &state,
                     QWidget *parent = nullptr);

    QRectF surfaceRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    const QPixmap &scaledImage();
    // Everything but the mark being dragged, drawn once per change of the marks or the size.
    const QPixmap &committedLayer();

    QImage m_image;
    QSizeF m_imagePixelSize;
    QPointer<AnnotationEditorState> m_state;
    // The capture at the size it is shown, so a repaint during a drag never
    // scales the full image again.
    QPixmap m_scaled;
    QPixmap m_committed;
    std::optional<QPointF> m_pressAt;
    bool m_dragging = false;
};
