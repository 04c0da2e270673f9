#include "capture/SelectionOverlayView.h"

#include "model/SettingsStore.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

constexpr double dimAlpha = 0.32;
constexpr double frameWidth = 1.5;

constexpr double sizeLabelRadius = 6.0;
constexpr double loupeLabelRadius = 5.0;
constexpr double loupeRing = 2.5;
constexpr double loupeShadowBlur = 10.0;
constexpr double loupeShadowDrop = 3.0; // downwards on the screen
constexpr double crossInner = 3.0;
constexpr double crossOuter = 12.0;

const QColor bubbleBorder = QColor::fromRgbF(1, 1, 1, 0.18f);

QFont labelFont(QFontDatabase::SystemFont kind, int pixelSize, QFont::Weight weight)
{
    QFont font = QFontDatabase::systemFont(kind);
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

void drawBubble(QPainter &painter, const QRectF &bubble, double radius, double alpha)
{
    painter.setPen(QPen(bubbleBorder, 1.0));
    painter.setBrush(QColor::fromRgbF(0, 0, 0, float(alpha)));
    painter.drawRoundedRect(bubble, radius, radius);
}

} // namespace

SelectionOverlayView::SelectionOverlayView(const platform::Display &display, double flipHeight,
                                           QImage screenImage, OverlayBackground background,
                                           const SettingsStore *settings, QWidget *parent)
    : QWidget(parent), m_display(display), m_flipHeight(flipHeight),
      m_screenImage(std::move(screenImage)),
      m_backdrop(background, m_screenImage, display.scale, dimAlpha), m_settings(settings),
      m_sizeFont(labelFont(QFontDatabase::GeneralFont, 11, QFont::DemiBold)),
      m_loupeFont(labelFont(QFontDatabase::FixedFont, 10, QFont::Bold))
{
    resize(display.captureFrame.size().toSize());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    // The backdrop paints every pixel: translucent ones must not get the palette beneath.
    setAttribute(Qt::WA_NoSystemBackground);
    if (!m_backdrop.isTranslucent())
        setAttribute(Qt::WA_OpaquePaintEvent);
}

QPointF SelectionOverlayView::viewPoint(const QMouseEvent *event) const
{
    return flipInView(event->position(), height());
}

void SelectionOverlayView::changeState(const std::function<void()> &change)
{
    const Drawn before = drawn();
    change();
    const Drawn after = drawn();
    update(changedSelectionArea(before.selection, after.selection) | before.decorations |
           after.decorations);
}

void SelectionOverlayView::mouseMoveEvent(QMouseEvent *event)
{
    const QPointF location = viewPoint(event);
    if (!(event->buttons() & Qt::LeftButton)) {
        if (!m_startPoint)
            changeState([&] { m_currentPoint = location; });
        return;
    }
    changeState([&] {
        if (m_isSpacePressed && m_startPoint && m_currentPoint && m_lastDragPoint) {
            const QPointF delta = location - *m_lastDragPoint;
            *m_startPoint += delta;
            *m_currentPoint += delta;
        } else {
            m_currentPoint = location;
        }
        m_lastDragPoint = location;
    });
}

void SelectionOverlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPointF location = viewPoint(event);
    changeState([&] {
        m_startPoint = location;
        m_currentPoint = location;
        m_lastDragPoint = location;
    });
}

void SelectionOverlayView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        finishSelection();
}

void SelectionOverlayView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat()) {
            m_isSpacePressed = true;
            m_lastDragPoint = m_currentPoint;
        }
        break;
    case Qt::Key_Escape:
        if (onCancelled)
            onCancelled();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void SelectionOverlayView::keyReleaseEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat())
            m_isSpacePressed = false;
        return;
    }
    QWidget::keyReleaseEvent(event);
}

void SelectionOverlayView::finishSelection()
{
    m_isSpacePressed = false;
    m_lastDragPoint.reset();
    if (!m_startPoint || !m_currentPoint)
        return;
    const QRectF rect = selectionRect(*m_startPoint, *m_currentPoint);
    if (!isLargeEnoughSelection(rect)) {
        // A click without a drag ends the whole selection.
        if (onCancelled)
            onCancelled();
        return;
    }
    if (onSelected)
        onSelected(viewRectToCapture(rect, m_display.screenFrame, m_flipHeight));
}

bool SelectionOverlayView::showsLoupe() const
{
    return m_currentPoint && m_settings && m_settings->showMagnifierInSelection();
}

std::optional<QRectF> SelectionOverlayView::visibleSelection() const
{
    if (!m_startPoint || !m_currentPoint || !showsSelectionFrame(*m_startPoint, *m_currentPoint))
        return std::nullopt;
    return selectionRect(*m_startPoint, *m_currentPoint);
}

SelectionOverlayView::Drawn SelectionOverlayView::drawn() const
{
    Drawn drawn;
    if (const std::optional<QRectF> selection = visibleSelection()) {
        drawn.selection = flipInView(*selection, height());
        drawn.decorations |=
            flipInView(sizeLabelRect(*selection), height()).adjusted(-1, -1, 1, 1).toAlignedRect();
    }
    if (showsLoupe())
        drawn.decorations |= flipInView(loupeArea(*m_currentPoint), height()).toAlignedRect();
    return drawn;
}

QSizeF SelectionOverlayView::textSize(const QFont &font, const QString &text) const
{
    const QFontMetricsF metrics(font);
    return QSizeF(metrics.horizontalAdvance(text), metrics.height());
}

QRectF SelectionOverlayView::sizeLabelRect(const QRectF &selection) const
{
    return sizeLabelBubble(selection,
                           textSize(m_sizeFont, sizeLabelText(selection.size(), m_display.scale)));
}

QRectF SelectionOverlayView::loupeArea(QPointF pointer) const
{
    // The loupe with its shadow and its colour label; the label's text is at its widest with
    // four-digit positions.
    const QRectF loupe = loupeRect(loupeCentre(pointer, QRectF(rect())));
    const QRectF label =
        loupeLabelBubble(loupe, textSize(m_loupeFont, QStringLiteral("00000, 00000 • #FFFFFF")));
    const double shadow = loupeShadowBlur + loupeShadowDrop + 1;
    return loupe.adjusted(-shadow, -shadow, shadow, shadow) | label.adjusted(-1, -1, 1, 1);
}

void SelectionOverlayView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const std::optional<QRectF> selection = visibleSelection();
    const std::optional<QRectF> undimmed =
        selection ? std::optional(flipInView(*selection, height())) : std::nullopt;
    m_backdrop.paint(painter, event->region(), undimmed);
    painter.setRenderHint(QPainter::Antialiasing);
    if (selection) {
        painter.setPen(QPen(Qt::white, frameWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(*undimmed);
        drawSizeLabel(painter, *selection);
    }
    if (showsLoupe())
        drawLoupe(painter, *m_currentPoint);
}

void SelectionOverlayView::drawSizeLabel(QPainter &painter, const QRectF &selection) const
{
    const QString text = sizeLabelText(selection.size(), m_display.scale);
    const QSizeF size = textSize(m_sizeFont, text);
    const QRectF bubble = sizeLabelBubble(selection, size);
    drawBubble(painter, flipInView(bubble, height()), sizeLabelRadius, 0.85);
    painter.setFont(m_sizeFont);
    painter.setPen(Qt::white);
    const QRectF textRect(bubble.topLeft() + QPointF(sizeLabelPadding, sizeLabelPadding), size);
    painter.drawText(flipInView(textRect, height()), Qt::AlignLeft | Qt::AlignVCenter, text);
}

void SelectionOverlayView::drawLoupe(QPainter &painter, QPointF pointer) const
{
    const double viewHeight = height();
    const double scale = m_display.scale;
    const QRectF loupeUp = loupeRect(loupeCentre(pointer, QRectF(rect())));
    const QRectF loupe = flipInView(loupeUp, viewHeight);
    const QPointF centre = loupe.center();

    painter.save();
    // A soft shadow under the loupe, dropped a little.
    const QPointF shadowCentre = centre + QPointF(0, loupeShadowDrop);
    const double shadowRadius = loupeDiameter / 2 + loupeShadowBlur;
    QRadialGradient shadow(shadowCentre, shadowRadius);
    shadow.setColorAt((loupeDiameter / 2 - loupeShadowBlur) / shadowRadius,
                      QColor::fromRgbF(0, 0, 0, 0.45f));
    shadow.setColorAt(1.0, Qt::transparent);
    painter.setPen(Qt::NoPen);
    painter.setBrush(shadow);
    painter.drawEllipse(shadowCentre, shadowRadius, shadowRadius);

    QPainterPath circle;
    circle.addEllipse(loupe);
    painter.setClipPath(circle, Qt::IntersectClip);
    painter.fillRect(loupe, Qt::black);
    if (!m_screenImage.isNull()) {
        const QRect sample = loupeSampleRect(pointer, viewHeight, scale, m_screenImage.size());
        if (!sample.isEmpty()) {
            // Hard pixel edges: every image pixel becomes a square of 92/14 points.
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(loupe, m_screenImage, QRectF(sample));
            QPainterPath grid;
            const double cell = loupeDiameter / loupeSamplePixels;
            for (int k = 0; k <= loupeSamplePixels; ++k) {
                grid.moveTo(loupe.left() + k * cell, loupe.top());
                grid.lineTo(loupe.left() + k * cell, loupe.bottom());
                grid.moveTo(loupe.left(), loupe.top() + k * cell);
                grid.lineTo(loupe.right(), loupe.top() + k * cell);
            }
            painter.strokePath(grid, QPen(QColor::fromRgbF(1, 1, 1, 0.12f), 0.5));
        }
    }
    QPainterPath cross;
    for (const QPointF direction : {QPointF(-1, 0), QPointF(1, 0), QPointF(0, -1), QPointF(0, 1)}) {
        cross.moveTo(centre + direction * crossOuter);
        cross.lineTo(centre + direction * crossInner);
    }
    painter.strokePath(cross, QPen(QColor::fromRgbF(1.0f, 0.23f, 0.19f, 0.85f), 1.2));
    painter.restore();

    painter.setPen(QPen(Qt::white, loupeRing));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(loupe);

    const QString text = loupeLabelText(pointer, viewHeight, scale,
                                        pixelColorHex(m_screenImage, pointer, viewHeight, scale));
    const QSizeF size = textSize(m_loupeFont, text);
    const QRectF bubble = loupeLabelBubble(loupeUp, size);
    drawBubble(painter, flipInView(bubble, viewHeight), loupeLabelRadius, 0.8);
    painter.setFont(m_loupeFont);
    painter.setPen(Qt::white);
    const QRectF textRect(bubble.topLeft() + QPointF(loupeLabelPaddingX, loupeLabelPaddingY), size);
    painter.drawText(flipInView(textRect, viewHeight), Qt::AlignLeft | Qt::AlignVCenter, text);
}
