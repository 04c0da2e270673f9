#include "preview/PreviewControls.h"

#include "preview/AnnotationModel.h"
#include "symbols/Symbols.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

QFont previewFont(double pointSize, QFont::Weight weight)
{
    QFont font;
    font.setPixelSize(std::max(1, int(std::lround(pointSize))));
    font.setWeight(weight);
    return font;
}

PlateButton::PlateButton(Look look, QWidget *parent) : QAbstractButton(parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
    setLook(std::move(look));
}

void PlateButton::setLook(Look look)
{
    m_look = std::move(look);
    // Not the button text: an "&" there would become a keyboard mnemonic.
    setAccessibleName(m_look.title);
    updateGeometry();
    update();
}

QFont PlateButton::titleFont() const
{
    return previewFont(m_look.titleSize, m_look.titleWeight);
}

QSize PlateButton::sizeHint() const
{
    if (m_look.fixedSize.isValid())
        return m_look.fixedSize;
    double width = 2 * m_look.paddingX;
    double height = 0;
    if (!m_look.symbol.isEmpty()) {
        width += m_look.symbolSize;
        height = m_look.symbolSize;
    }
    if (!m_look.title.isEmpty()) {
        const QSizeF text = QFontMetricsF(titleFont()).size(Qt::TextSingleLine, m_look.title);
        width += text.width() + (m_look.symbol.isEmpty() ? 0 : m_look.spacing);
        height = std::max(height, text.height());
    }
    return QSize(int(std::ceil(width)), int(std::ceil(height + 2 * m_look.paddingY)));
}

void PlateButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled())
        painter.setOpacity(0.35);
    else if (isDown())
        painter.setOpacity(0.7);
    QPainterPath plate;
    plate.addRoundedRect(QRectF(rect()), m_look.radius, m_look.radius);
    painter.fillPath(plate, m_look.plate);

    const QFont font = titleFont();
    const double textWidth =
        m_look.title.isEmpty() ? 0
                               : QFontMetricsF(font).size(Qt::TextSingleLine, m_look.title).width();
    const double symbolWidth = m_look.symbol.isEmpty() ? 0 : m_look.symbolSize;
    const double gap = m_look.symbol.isEmpty() || m_look.title.isEmpty() ? 0 : m_look.spacing;
    double x = (width() - symbolWidth - gap - textWidth) / 2;
    if (!m_look.symbol.isEmpty()) {
        const QRectF box(x, (height() - m_look.symbolSize) / 2, m_look.symbolSize,
                         m_look.symbolSize);
        paintSymbol(painter, m_look.symbol, box, m_look.symbolColor);
        x += symbolWidth + gap;
    }
    if (!m_look.title.isEmpty()) {
        painter.setFont(font);
        painter.setPen(m_look.titleColor);
        painter.drawText(QRectF(x, 0, textWidth + 1, height()), Qt::AlignVCenter | Qt::AlignLeft,
                         m_look.title);
    }
}

SwatchButton::SwatchButton(const QString &hex, QWidget *parent)
    : QAbstractButton(parent), m_hex(hex)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void SwatchButton::setSelected(bool selected)
{
    if (m_selected == selected)
        return;
    m_selected = selected;
    update();
}

void SwatchButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(QPointF(width() / 2.0 - 10, height() / 2.0 - 10), QSizeF(20, 20));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 77));
    painter.drawEllipse(circle.adjusted(-1, -1, 1, 1));
    painter.setBrush(colorFromHex(m_hex).value_or(QColor(Qt::red)));
    painter.drawEllipse(circle);
    if (m_selected) {
        painter.setPen(QPen(Qt::white, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(circle.adjusted(1, 1, -1, -1));
    }
}
