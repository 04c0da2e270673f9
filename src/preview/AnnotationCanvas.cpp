#include "preview/AnnotationCanvas.h"

#include "platform/Background.h"
#include "preview/AnnotationEditorState.h"
#include "preview/AnnotationRenderer.h"

#include <QFuture>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

QRectF fittedImageRect(QSizeF areaSize, QSizeF imagePixelSize)
{
    const QSizeF room(std::max(areaSize.width() - 48, 1.0), std::max(areaSize.height() - 48, 1.0));
    if (imagePixelSize.width() <= 0 || imagePixelSize.height() <= 0)
        return QRectF(QPointF(24, 24), room);
    const QSizeF fitted = imagePixelSize.scaled(room, Qt::KeepAspectRatio);
    return QRectF((areaSize.width() - fitted.width()) / 2,
                  (areaSize.height() - fitted.height()) / 2, fitted.width(), fitted.height());
}

AnnotationCanvas::AnnotationCanvas(const QImage &image, QSizeF imagePixelSize,
                                   AnnotationEditorState &state, QWidget *parent)
    : QWidget(parent), m_imagePixelSize(imagePixelSize), m_state(&state), m_scaled(this, [this] {
          m_committed = QPixmap();
          update();
      })
{
    setImage(image);
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&state, &AnnotationEditorState::changed, this, [this] {
        m_committed = QPixmap();
        update();
    });
    connect(&state, &AnnotationEditorState::dragChanged, this, qOverload<>(&QWidget::update));
}

namespace {

// Redactions average the image's pixels as 32-bit words.
QImage readablePixels(const QImage &image)
{
    if (image.isNull() || image.format() == QImage::Format_ARGB32_Premultiplied ||
        image.format() == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

void AnnotationCanvas::setImage(const QImage &image)
{
    m_image = readablePixels(image);
    m_scaled.setImage(m_image);
    m_committed = QPixmap();
    update();
}

void AnnotationCanvas::loadImage(const QImage &placeholder, std::function<QImage()> load)
{
    const quint64 generation = ++m_generation;
    setImage(placeholder);
    const auto loading =
        platform::runInBackground([load = std::move(load)] { return readablePixels(load()); });
    platform::deliverTo(this, loading, [this, generation](const QImage &image) {
        // Replaced meanwhile, or unreadable: keep what is shown.
        if (generation != m_generation || image.isNull())
            return;
        setImage(image);
    });
}

bool AnnotationCanvas::hasFullImage() const
{
    return !m_image.isNull() && QSizeF(m_image.size()) == m_imagePixelSize;
}

QRectF AnnotationCanvas::surfaceRect() const
{
    return fittedImageRect(size(), m_imagePixelSize);
}

void AnnotationCanvas::resizeEvent(QResizeEvent *event)
{
    m_scaled.invalidate();
    m_committed = QPixmap();
    QWidget::resizeEvent(event);
}

const QPixmap &AnnotationCanvas::scaledImage()
{
    const qreal dpr = devicePixelRatioF();
    return m_scaled.at((surfaceRect().size() * dpr).toSize(), dpr);
}

const QPixmap &AnnotationCanvas::committedLayer()
{
    if (!m_committed.isNull())
        return m_committed;
    const qreal dpr = devicePixelRatioF();
    m_committed = QPixmap(size() * dpr);
    m_committed.setDevicePixelRatio(dpr);
    QPainter painter(&m_committed);
    painter.fillRect(rect(), QColor::fromRgbF(0.12f, 0.12f, 0.14f));
    const QRectF surface = surfaceRect();
    painter.setRenderHint(QPainter::Antialiasing);

    // A soft shadow under the image, drawn as a few widening translucent rims.
    for (int i = 1; i <= 5; ++i) {
        QPainterPath rim;
        rim.addRoundedRect(surface.translated(0, 8).adjusted(-2 * i, -2 * i, 2 * i, 2 * i),
                           6 + 2 * i, 6 + 2 * i);
        painter.fillPath(rim, QColor(0, 0, 0, 22));
    }

    QPainterPath clip;
    clip.addRoundedRect(surface, 6, 6);
    painter.save();
    painter.setClipPath(clip);
    const QPixmap &image = scaledImage();
    if (!image.isNull())
        painter.drawPixmap(surface.topLeft(), image);
    else
        painter.fillRect(surface, Qt::black);
    painter.restore();
    painter.setPen(QPen(QColor(255, 255, 255, 31), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(clip);

    if (m_state) {
        mapToImage(painter);
        AnnotationRenderer::paintAnnotations(painter, m_image, m_imagePixelSize.toSize(),
                                             m_state->annotations());
    }
    return m_committed;
}

void AnnotationCanvas::mapToImage(QPainter &painter) const
{
    const QRectF surface = surfaceRect();
    QPainterPath clip;
    clip.addRoundedRect(surface, 6, 6);
    painter.setClipPath(clip);
    painter.translate(surface.topLeft());
    painter.scale(surface.width() / std::max(m_imagePixelSize.width(), 1.0),
                  surface.height() / std::max(m_imagePixelSize.height(), 1.0));
}

void AnnotationCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, committedLayer());
    if (!m_state)
        return;
    if (const std::optional<AnnotationItem> dragged = m_state->dragPreview(surfaceRect().size())) {
        mapToImage(painter);
        AnnotationRenderer::paintAnnotations(painter, m_image, m_imagePixelSize.toSize(),
                                             {*dragged});
    }
}

void AnnotationCanvas::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !surfaceRect().contains(event->position()))
        return;
    m_pressAt = event->position() - surfaceRect().topLeft();
    m_dragging = false;
}

void AnnotationCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressAt || !m_state)
        return;
    const QPointF at = event->position() - surfaceRect().topLeft();
    // A drag starts once the pointer has moved a point from where it was pressed.
    if (!m_dragging && QLineF(*m_pressAt, at).length() < 1)
        return;
    m_dragging = true;
    m_state->handleDragChanged(*m_pressAt, at);
}

void AnnotationCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_pressAt)
        return;
    const QPointF start = *m_pressAt;
    m_pressAt.reset();
    if (!m_dragging || !m_state)
        return;
    m_dragging = false;
    m_state->handleDragEnded(start, event->position() - surfaceRect().topLeft(),
                             surfaceRect().size());
}
