#pragma once

#include "preview/AnnotationModel.h"
#include "preview/ScaledPicture.h"

#include <QImage>
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <optional>

class AnnotationEditorState;
class QPainter;

// Where the capture sits in a drawing area of the given size: fitted with its
// aspect kept inside the area less 24 points on every side, centred. The
// drawing surface is exactly this rectangle, so marks stay on their pixels.
QRectF fittedImageRect(QSizeF areaSize, QSizeF imagePixelSize);

// The editor's drawing area: the capture fitted into the room it has, the marks over it, and
// drags turned into new marks. The marks are drawn by the very routine that writes the saved
// image, scaled to the size the capture is shown at, so the canvas shows what Done & Save writes.
class AnnotationCanvas final : public QWidget {
    Q_OBJECT

public:
    AnnotationCanvas(const QImage &image, QSizeF imagePixelSize, AnnotationEditorState &state,
                     QWidget *parent = nullptr);

    // Shows `placeholder` (a smaller copy of the capture) until `load` has read the full image
    // on a worker thread: decoding a large capture would hold up the editor's first frame.
    void loadImage(const QImage &placeholder, std::function<QImage()> load);
    // Whether the full image is shown (not a placeholder).
    bool hasFullImage() const;

    QRectF surfaceRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void setImage(const QImage &image);
    const QPixmap &scaledImage();
    // Everything but the mark being dragged, drawn once per change of the marks or the size.
    const QPixmap &committedLayer();
    // Sets the painter up to draw in image pixels on the surface, clipped to the capture.
    void mapToImage(QPainter &painter) const;

    QImage m_image;
    QSizeF m_imagePixelSize;
    QPointer<AnnotationEditorState> m_state;
    quint64 m_generation = 0;
    // The capture at the size it is shown, so a repaint during a drag never
    // scales the full image again.
    ScaledPicture m_scaled;
    QPixmap m_committed;
    std::optional<QPointF> m_pressAt;
    bool m_dragging = false;
};
