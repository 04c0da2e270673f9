#include "preview/AnnotationCanvas.h"

#include "preview/AnnotationEditorState.h"

#include <QFontMetricsF>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

QColor screenColor(const QString &hex)
{
    return colorFromHex(hex).value_or(QColor(Qt::red));
}

QColor withOpacity(QColor color, double opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

QFont screenFont(double pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setWeight(weight);
    return font;
}

void drawArrowShape(QPainter &painter, QPointF start, QPointF end, double w, const QColor &color)
{
    painter.setPen(QPen(color, w, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawLine(start, end);
    const double a = std::atan2(end.y() - start.y(), end.x() - start.x());
    const double length = std::max(3.5 * w, 14.0);
    constexpr double spread = std::numbers::pi / 6;
    QPainterPath head;
    head.moveTo(end);
    head.lineTo(end - length * QPointF(std::cos(a - spread), std::sin(a - spread)));
    head.lineTo(end - length * QPointF(std::cos(a + spread), std::sin(a + spread)));
    head.closeSubpath();
    painter.fillPath(head, color);
}

void drawRedactionMark(QPainter &painter, const QRectF &rect)
{
    painter.fillRect(rect, QColor(0, 0, 0, 102));
    painter.setPen(QPen(QColor(255, 255, 255, 77), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect);
}

void drawBadge(QPainter &painter, QPointF centre, double w, qint64 number, const QColor &color)
{
    const double r = std::max(3.5 * w, 14.0);
    const QRectF disc(centre.x() - r, centre.y() - r, 2 * r, 2 * r);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(color);
    painter.drawEllipse(disc);
    painter.setFont(screenFont(1.1 * r, QFont::Bold));
    painter.setPen(Qt::white);
    painter.drawText(disc, Qt::AlignCenter, QString::number(number));
}

void drawPolyline(QPainter &painter, const QList<QPointF> &points, const QColor &color,
                  double width)
{
    QPen pen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    pen.setMiterLimit(10);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    QPainterPath path;
    path.moveTo(points.first());
    for (qsizetype i = 1; i < points.size(); ++i)
        path.lineTo(points.at(i));
    painter.drawPath(path);
}

} // namespace

QRectF fittedImageRect(QSizeF areaSize, QSizeF imagePixelSize)
{
    const QSizeF room(std::max(areaSize.width() - 48, 1.0), std::max(areaSize.height() - 48, 1.0));
    if (imagePixelSize.width() <= 0 || imagePixelSize.height() <= 0)
        return QRectF(QPointF(24, 24), room);
    const QSizeF fitted = imagePixelSize.scaled(room, Qt::KeepAspectRatio);
    return QRectF((areaSize.width() - fitted.width()) / 2,
                  (areaSize.height() - fitted.height()) / 2, fitted.width(), fitted.height());
}

void drawAnnotationOnScreen(QPainter &painter, const AnnotationItem &item, double sx, double sy)
{
    const auto toDisplay = [sx, sy](QPointF p) {
        return QPointF(sx > 0 ? p.x() / sx : 0, sy > 0 ? p.y() / sy : 0);
    };
    const double w = item.strokeWidth;
    const QPointF start = toDisplay(item.startPoint);
    const QPointF end = toDisplay(item.endPoint);
    const QColor color = screenColor(item.colorHex);
    QList<QPointF> polyline;
    if (item.points.size() >= 2) {
        for (QPointF p : item.points)
            polyline.append(toDisplay(p));
    } else {
        polyline = {start, end};
    }
    const QRectF spanned = QRectF(start, end).normalized();

    painter.save();
    switch (item.tool) {
    case AnnotationTool::arrow:
        drawArrowShape(painter, start, end, w, color);
        break;
    case AnnotationTool::rectangle:
        painter.setPen(QPen(color, w));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(spanned, 6, 6);
        break;
    case AnnotationTool::blur:
        drawRedactionMark(painter, spanned);
        break;
    case AnnotationTool::stepNumber:
        drawBadge(painter, end, w, item.stepNumber, color);
        break;
    case AnnotationTool::text: {
        const QString label = item.text.isEmpty() ? QStringLiteral("Annotation") : item.text;
        const QFont font = screenFont(std::max(3 * w, 12.0), QFont::DemiBold);
        const QSizeF size = QFontMetricsF(font).size(0, label);
        const QRectF box(start, QSizeF(size.width() + 12, size.height() + 6));
        QPainterPath path;
        path.addRoundedRect(box, 4, 4);
        painter.fillPath(path, withOpacity(color, 0.9));
        painter.setFont(font);
        painter.setPen(Qt::white);
        painter.drawText(box, Qt::AlignCenter, label);
        break;
    }
    case AnnotationTool::highlighter:
        drawPolyline(painter, polyline, withOpacity(color, 0.4), std::max(4 * w, 16.0));
        break;
    case AnnotationTool::pencil:
        drawPolyline(painter, polyline, color, std::max(w, 1.5));
        break;
    }
    painter.restore();
}

void drawLivePreview(QPainter &painter, const AnnotationEditorState &state)
{
    const QColor color = screenColor(state.selectedColorHex());
    const double w = state.selectedStrokeWidth();
    const std::optional<QPointF> start = state.currentDragStart();
    const std::optional<QPointF> current = state.currentDragCurrent();
    const QList<QPointF> &points = state.livePencilPoints();

    painter.save();
    switch (state.selectedTool()) {
    case AnnotationTool::arrow:
        if (start && current)
            drawArrowShape(painter, *start, *current, w, color);
        break;
    case AnnotationTool::rectangle:
        if (start && current) {
            QPen pen(color, w, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
            pen.setMiterLimit(10);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(QRectF(*start, *current).normalized());
        }
        break;
    case AnnotationTool::blur:
        if (start && current)
            drawRedactionMark(painter, QRectF(*start, *current).normalized());
        break;
    case AnnotationTool::stepNumber:
        if (current)
            drawBadge(painter, *current, w, state.nextStepNumber(), color);
        break;
    case AnnotationTool::text:
        break;
    case AnnotationTool::highlighter:
        if (points.size() >= 2)
            drawPolyline(painter, points, withOpacity(color, 0.4), std::max(4 * w, 16.0));
        break;
    case AnnotationTool::pencil:
        if (points.size() >= 2)
            drawPolyline(painter, points, color, std::max(w, 1.5));
        break;
    }
    painter.restore();
}

AnnotationCanvas::AnnotationCanvas(const QImage &image, QSizeF imagePixelSize,
                                   AnnotationEditorState &state, QWidget *parent)
    : QWidget(parent), m_image(image), m_imagePixelSize(imagePixelSize), m_state(&state)
{
    setMouseTracking(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(&state, &AnnotationEditorState::changed, this, [this] {
        m_committed = QPixmap();
        update();
    });
    connect(&state, &AnnotationEditorState::dragChanged, this, qOverload<>(&QWidget::update));
}

QRectF AnnotationCanvas::surfaceRect() const
{
    return fittedImageRect(size(), m_imagePixelSize);
}

void AnnotationCanvas::resizeEvent(QResizeEvent *event)
{
    m_scaled = QPixmap();
    m_committed = QPixmap();
    QWidget::resizeEvent(event);
}

const QPixmap &AnnotationCanvas::scaledImage()
{
    const QRectF surface = surfaceRect();
    const qreal dpr = devicePixelRatioF();
    const QSize target = (surface.size() * dpr).toSize();
    if (m_scaled.isNull() && !m_image.isNull() && !target.isEmpty()) {
        m_scaled = QPixmap::fromImage(
            m_image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
        m_scaled.setDevicePixelRatio(dpr);
    }
    return m_scaled;
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
        painter.translate(surface.topLeft());
        const double sx = m_imagePixelSize.width() / std::max(surface.width(), 1.0);
        const double sy = m_imagePixelSize.height() / std::max(surface.height(), 1.0);
        for (const AnnotationItem &item : m_state->annotations())
            drawAnnotationOnScreen(painter, item, sx, sy);
    }
    return m_committed;
}

void AnnotationCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.drawPixmap(0, 0, committedLayer());
    if (!m_state)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.translate(surfaceRect().topLeft());
    drawLivePreview(painter, *m_state);
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
