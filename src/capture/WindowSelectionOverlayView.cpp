#include "capture/WindowSelectionOverlayView.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

constexpr double dimAlpha = 0.22;
constexpr double frameWidth = 3.5;
constexpr double frameRadius = 8.0;
constexpr double labelRadius = 7.0;
constexpr int labelPixelSize = 13;

} // namespace

WindowSelectionOverlayView::WindowSelectionOverlayView(const platform::Display &display,
                                                       double flipHeight,
                                                       OverlayBackground background,
                                                       QImage frozenImage, QWidget *parent)
    : QWidget(parent), m_display(display), m_flipHeight(flipHeight),
      m_backdrop(background, std::move(frozenImage), display.scale, dimAlpha),
      m_labelFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont))
{
    m_labelFont.setPixelSize(labelPixelSize);
    m_labelFont.setWeight(QFont::DemiBold);
    resize(display.captureFrame.size().toSize());
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::PointingHandCursor);
    // The backdrop paints every pixel: translucent ones must not get the palette beneath.
    setAttribute(Qt::WA_NoSystemBackground);
    if (!m_backdrop.isTranslucent())
        setAttribute(Qt::WA_OpaquePaintEvent);
}

void WindowSelectionOverlayView::setWindowsToSelect(QList<platform::WindowInfo> windows)
{
    m_windowsToSelect = std::move(windows);
}

std::optional<platform::WindowInfo> WindowSelectionOverlayView::windowAt(QPointF position) const
{
    const QPointF capturePoint =
        viewPointToCapture(flipInView(position, height()), m_display.screenFrame, m_flipHeight);
    if (const std::optional<qsizetype> index =
            platform::windowIndexAt(m_windowsToSelect, capturePoint))
        return m_windowsToSelect[*index];
    return std::nullopt;
}

void WindowSelectionOverlayView::mouseMoveEvent(QMouseEvent *event)
{
    updateHoveredWindow(event->position());
}

void WindowSelectionOverlayView::updateHoveredWindow(QPointF position)
{
    const std::optional<platform::WindowInfo> hit = windowAt(position);
    if (hit && m_hoveredWindow && m_hoveredWindow->id == hit->id)
        return;
    if (!hit && !m_hoveredWindow)
        return;
    const QRegion before = highlightArea();
    m_hoveredWindow = hit;
    update(before | highlightArea());
}

void WindowSelectionOverlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        handleClick(event->position());
}

void WindowSelectionOverlayView::handleClick(QPointF position)
{
    if (m_hoveredWindow) {
        if (onSelected)
            onSelected(*m_hoveredWindow);
        return;
    }
    if (const std::optional<platform::WindowInfo> hit = windowAt(position)) {
        if (onSelected)
            onSelected(*hit);
    } else if (onCancelled) {
        onCancelled(); // a click on the bare desktop
    }
}

void WindowSelectionOverlayView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && onCancelled)
        onCancelled();
}

std::optional<QRectF> WindowSelectionOverlayView::highlight() const
{
    if (!m_hoveredWindow)
        return std::nullopt;
    return flipInView(
        captureRectToView(m_hoveredWindow->captureFrame, m_display.screenFrame, m_flipHeight),
        height());
}

QSizeF WindowSelectionOverlayView::labelTextSize(const QString &text) const
{
    const QFontMetricsF metrics(m_labelFont);
    return QSizeF(metrics.horizontalAdvance(text), metrics.height());
}

QRectF WindowSelectionOverlayView::labelBox(const QRectF &highlight, const QSizeF &textSize) const
{
    // Placed in view points, drawn in widget coordinates.
    return flipInView(windowLabelBox(flipInView(highlight, height()), textSize, height()),
                      height());
}

QRegion WindowSelectionOverlayView::highlightArea() const
{
    const std::optional<QRectF> frame = highlight();
    if (!frame)
        return {};
    const double margin = frameWidth;
    const QRectF label = labelBox(*frame, labelTextSize(windowLabelText(*m_hoveredWindow)));
    return QRegion(frame->adjusted(-margin, -margin, margin, margin).toAlignedRect()) |
           QRegion(label.adjusted(-1, -1, 1, 1).toAlignedRect());
}

void WindowSelectionOverlayView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const std::optional<QRectF> frame = highlight();
    m_backdrop.paint(painter, event->region(), frame);
    if (!frame)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), frameWidth));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(*frame, frameRadius, frameRadius);

    const QString text = windowLabelText(*m_hoveredWindow);
    const QSizeF size = labelTextSize(text);
    const QRectF box = labelBox(*frame, size);
    painter.setPen(QPen(QColor::fromRgbF(1, 1, 1, 0.2f), 1.0));
    painter.setBrush(QColor::fromRgbF(0, 0, 0, 0.85f));
    painter.drawRoundedRect(box, labelRadius, labelRadius);
    // The text sits above the box's lower edge by the padding.
    const QRectF textRect(box.left() + windowLabelPaddingX,
                          box.bottom() - windowLabelPaddingY - size.height(), size.width(),
                          size.height());
    painter.setFont(m_labelFont);
    painter.setPen(Qt::white);
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
}
