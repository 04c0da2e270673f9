#include "windows/ShortcutRecorderControls.h"

#include "model/ShortcutModel.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

namespace {

const QColor accentBlue(10, 132, 255);
const QColor recordingRed(255, 69, 58);

QColor withAlpha(QColor color, double alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

QFont monospacedBold(double pointSize)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(pointSize);
    font.setBold(true);
    return font;
}

void fillRoundedRect(QPainter &painter, const QRectF &rect, double radius, const QColor &fill)
{
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
}

} // namespace

QFont shortcutRecorderFont(double pointSize, QFont::Weight weight)
{
    QFont font = QApplication::font();
    font.setPointSizeF(pointSize);
    font.setWeight(weight);
    return font;
}

void RecorderLabelButton::setRecording(bool recording)
{
    m_recording = recording;
    setText(recording ? QStringLiteral("Press keys...") : shortcutDisplayText(m_shortcut));
    setToolTip(recording ? QStringLiteral("Click to cancel")
                         : QStringLiteral("Click then press any shortcut keys on your keyboard"));
    updateGeometry();
    update();
}

void RecorderLabelButton::setShortcut(const ShortcutData &shortcut)
{
    m_shortcut = shortcut;
    setRecording(m_recording);
}

QFont RecorderLabelButton::textFont() const
{
    return monospacedBold(m_recording ? 12 : 13);
}

QSize RecorderLabelButton::sizeHint() const
{
    const QFontMetrics text(textFont());
    const QFontMetrics icon(shortcutRecorderFont(11));
    int width =
        horizontalMargin * 2 + text.horizontalAdvance(this->text()) + spacing + icon.height();
    if (m_recording)
        width += dotSize + spacing;
    return {width, verticalMargin * 2 + std::max(text.height(), icon.height())};
}

void RecorderLabelButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF frame = QRectF(rect()).adjusted(1, 1, -1, -1);
    fillRoundedRect(painter, frame, 8, withAlpha(accentBlue, m_recording ? 0.25 : 0.12));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(withAlpha(accentBlue, m_recording ? 1.0 : 0.3), m_recording ? 1.5 : 1.0));
    painter.drawRoundedRect(frame, 8, 8);

    const QFontMetrics text(textFont());
    const int iconSize = QFontMetrics(shortcutRecorderFont(11)).height();
    int x = (width() - sizeHint().width()) / 2 + horizontalMargin;
    const int middle = height() / 2;
    if (m_recording) {
        fillRoundedRect(painter, QRectF(x, middle - dotSize / 2.0, dotSize, dotSize), dotSize / 2.0,
                        recordingRed);
        x += dotSize + spacing;
    }
    painter.setFont(textFont());
    painter.setPen(accentBlue);
    const int textWidth = text.horizontalAdvance(this->text());
    painter.drawText(QRect(x, 0, textWidth, height()), Qt::AlignVCenter, this->text());
    x += textWidth + spacing;

    const QRectF icon(x, middle - iconSize / 2.0, iconSize, iconSize);
    if (m_recording) {
        // A cross on a filled circle.
        fillRoundedRect(painter, icon.adjusted(1, 1, -1, -1), iconSize / 2.0, recordingRed);
        painter.setPen(QPen(Qt::white, 1.5));
        const QRectF cross =
            icon.adjusted(iconSize * 0.33, iconSize * 0.33, -iconSize * 0.33, -iconSize * 0.33);
        painter.drawLine(cross.topLeft(), cross.bottomRight());
        painter.drawLine(cross.topRight(), cross.bottomLeft());
    } else {
        painter.setFont(shortcutRecorderFont(11));
        painter.setPen(withAlpha(accentBlue, 0.8));
        painter.drawText(icon, Qt::AlignCenter, QStringLiteral("\u270e"));
    }
}

RecorderSymbolButton::RecorderSymbolButton(const QString &symbol, double pointSize,
                                           double backgroundAlpha, QWidget *parent)
    : QAbstractButton(parent), m_font(shortcutRecorderFont(pointSize)),
      m_backgroundAlpha(backgroundAlpha)
{
    setText(symbol);
}

void RecorderSymbolButton::setHighlighted(bool highlighted)
{
    m_highlighted = highlighted;
    update();
}

QSize RecorderSymbolButton::sizeHint() const
{
    const QFontMetrics metrics(m_font);
    const int side = std::max(metrics.height(), metrics.horizontalAdvance(text()));
    return {side + margin * 2, side + margin * 2};
}

void RecorderSymbolButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    fillRoundedRect(painter, rect(), 6, withAlpha(Qt::white, m_backgroundAlpha));
    painter.setFont(m_font);
    const QColor secondary = withAlpha(palette().color(QPalette::WindowText), 0.55);
    painter.setPen(m_highlighted ? accentBlue : secondary);
    painter.drawText(rect(), Qt::AlignCenter, text());
}
