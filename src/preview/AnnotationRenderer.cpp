#include "preview/AnnotationRenderer.h"

#include "preview/AnnotationGeometry.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace AnnotationRenderer {

QColor fallbackColor()
{
    return QColor(255, 59, 48);
}

namespace {

QColor colorOf(const AnnotationItem &item)
{
    return colorFromHex(item.colorHex).value_or(fallbackColor());
}

// Sizes are pixel sizes: the saved image must not depend on the screen's
// density, so no point-to-pixel conversion happens here.
QFont systemFont(double pixelSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(pixelSize))));
    font.setWeight(weight);
    return font;
}

QSizeF measured(const QFont &font, const QString &text)
{
    return QFontMetricsF(font).size(0, text);
}

// Each cell of the box is the average of the capture's own pixels under it, read from
// `source`: never from marks drawn before, not even other redactions.
void drawRedaction(QPainter &painter, const QImage &source, QSize imageSize,
                   const AnnotationItem &item)
{
    const QRectF box = item.boundingBox();
    const std::optional<AnnotationGeometry::Pixelation> cells =
        AnnotationGeometry::pixelate(source, imageSize, box);
    if (!cells)
        return;
    painter.save();
    painter.setClipRect(cells->cut, Qt::IntersectClip);
    // Replaced, not blended: a cell's colour is the average, whatever lay there.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(QRectF(cells->cut.topLeft(), QSizeF(cells->cells.size() * cells->cell)),
                      cells->cells);
    painter.restore();

    painter.save();
    painter.setPen(QPen(QColor(0, 0, 0, 77), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(box);
    painter.restore();
}

QPainterPath strokePath(const AnnotationItem &item)
{
    QPainterPath path;
    if (item.points.size() < 2) {
        path.moveTo(item.startPoint);
        path.lineTo(item.endPoint);
        return path;
    }
    path.moveTo(item.points.first());
    for (qsizetype i = 1; i < item.points.size(); ++i)
        path.lineTo(item.points.at(i));
    return path;
}

void drawArrow(QPainter &painter, const AnnotationItem &item, const QColor &color)
{
    const double w = item.strokeWidth;
    const QPointF s = item.startPoint, e = item.endPoint;
    painter.setPen(QPen(color, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawLine(s, e);
    // The head is symmetric about the shaft, so computing it in top-down
    // coordinates gives the same triangle as in bottom-up ones.
    const double a = std::atan2(e.y() - s.y(), e.x() - s.x());
    const double length = std::max(3.5 * w, 16.0);
    constexpr double spread = std::numbers::pi / 6;
    const QPointF p1 = e - length * QPointF(std::cos(a - spread), std::sin(a - spread));
    const QPointF p2 = e - length * QPointF(std::cos(a + spread), std::sin(a + spread));
    QPainterPath head;
    head.moveTo(e);
    head.lineTo(p1);
    head.lineTo(p2);
    head.closeSubpath();
    head.setFillRule(Qt::WindingFill);
    painter.fillPath(head, color);
}

void drawBox(QPainter &painter, const AnnotationItem &item, const QColor &color)
{
    painter.setPen(QPen(color, item.strokeWidth));
    painter.setBrush(Qt::NoBrush);
    const QRectF rect = QRectF(item.startPoint, item.endPoint).normalized();
    painter.drawRoundedRect(rect, 8, 8);
}

void drawStep(QPainter &painter, const AnnotationItem &item, const QColor &color)
{
    const double r = std::max(4 * item.strokeWidth, 14.0);
    const QPointF e = item.endPoint;
    const QRectF disc(e.x() - r, e.y() - r, 2 * r, 2 * r);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(disc);
    painter.setPen(QPen(Qt::white, 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(disc);

    const QFont font = systemFont(1.1 * r, QFont::Bold);
    const QString label = QString::number(item.stepNumber);
    const QSizeF size = measured(font, label);
    painter.setFont(font);
    painter.setPen(Qt::white);
    // Centred on the disc and raised by one pixel.
    painter.drawText(QRectF(QPointF(e.x() - size.width() / 2, e.y() - size.height() / 2 - 1), size),
                     Qt::AlignLeft | Qt::AlignTop, label);
}

void drawText(QPainter &painter, const AnnotationItem &item, const QColor &color)
{
    if (item.text.isEmpty())
        return;
    const QFont font = systemFont(std::max(3.5 * item.strokeWidth, 14.0), QFont::DemiBold);
    const QSizeF size = measured(font, item.text);
    // The anchor is the box's lower-left corner: the label grows upwards.
    const QPointF anchor = item.startPoint;
    const QRectF box(anchor.x(), anchor.y() - (size.height() + 8), size.width() + 16,
                     size.height() + 8);
    QColor fill = color;
    fill.setAlphaF(fill.alphaF() * 0.9f);
    QPainterPath path;
    path.addRoundedRect(box, 6, 6);
    path.setFillRule(Qt::WindingFill);
    painter.fillPath(path, fill);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRectF(QPointF(box.x() + 8, box.y() + 4), size), Qt::AlignLeft | Qt::AlignTop,
                     item.text);
}

void drawStroke(QPainter &painter, const AnnotationItem &item, QColor color, double width)
{
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(strokePath(item));
}

void drawMark(QPainter &painter, const AnnotationItem &item)
{
    const QColor color = colorOf(item);
    switch (item.tool) {
    case AnnotationTool::arrow:
        drawArrow(painter, item, color);
        break;
    case AnnotationTool::rectangle:
        drawBox(painter, item, color);
        break;
    case AnnotationTool::stepNumber:
        drawStep(painter, item, color);
        break;
    case AnnotationTool::text:
        drawText(painter, item, color);
        break;
    case AnnotationTool::highlighter: {
        QColor translucent = color;
        translucent.setAlphaF(translucent.alphaF() * 0.35f);
        painter.setCompositionMode(QPainter::CompositionMode_Multiply);
        drawStroke(painter, item, translucent, std::max(4.5 * item.strokeWidth, 18.0));
        break;
    }
    case AnnotationTool::pencil:
        drawStroke(painter, item, color, std::max(item.strokeWidth, 1.5));
        break;
    case AnnotationTool::blur:
        break;
    }
}

} // namespace

void paintAnnotations(QPainter &painter, const QImage &source, QSize imageSize,
                      const QList<AnnotationItem> &annotations)
{
    QList<AnnotationItem> marks;
    marks.reserve(annotations.size());
    for (const AnnotationItem &item : annotations) {
        if (std::optional<AnnotationItem> drawable = AnnotationGeometry::drawable(item, imageSize))
            marks.append(std::move(*drawable));
    }
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    for (const AnnotationItem &item : std::as_const(marks)) {
        if (item.tool == AnnotationTool::blur)
            drawRedaction(painter, source, imageSize, item);
    }
    for (const AnnotationItem &item : std::as_const(marks)) {
        if (item.tool == AnnotationTool::blur)
            continue;
        painter.save();
        drawMark(painter, item);
        painter.restore();
    }
    painter.restore();
}

QImage render(const QImage &baseImage, const QList<AnnotationItem> &annotations)
{
    if (annotations.isEmpty() || baseImage.isNull())
        return baseImage;

    // The source stays untouched: redactions read from it, never from marks already drawn.
    const QImage source = baseImage.format() == QImage::Format_ARGB32_Premultiplied
                              ? baseImage
                              : baseImage.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage canvas = source.copy();
    if (canvas.isNull())
        return baseImage;
    canvas.setDevicePixelRatio(1);
    {
        QPainter painter(&canvas);
        paintAnnotations(painter, source, source.size(), annotations);
    }
    canvas.setDevicePixelRatio(baseImage.devicePixelRatio());
    return canvas;
}

} // namespace AnnotationRenderer
