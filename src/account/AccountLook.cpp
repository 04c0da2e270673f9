#include "account/AccountLook.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <cmath>

namespace {

constexpr int symbolGap = 8;

QColor white(int alpha)
{
    return QColor(255, 255, 255, alpha);
}

} // namespace

namespace accountLook {

QColor secondaryText()
{
    return QColor(235, 235, 245, 153);
}

QColor linkColor()
{
    return QColor::fromRgbF(0.7f, 0.5f, 1.0f);
}

QColor buttonColor()
{
    return QColor::fromRgbF(0.6f, 0.4f, 1.0f);
}

QLabel *label(const QString &text, int pixelSize, QFont::Weight weight, bool secondary,
              QWidget *parent)
{
    auto *result = new QLabel(parent);
    result->setTextFormat(Qt::PlainText);
    result->setText(text);
    QFont font = result->font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    result->setFont(font);
    // Set on the label itself: a page's style sheet would otherwise give it the default ink.
    result->setStyleSheet(
        QStringLiteral("QLabel { color: %1; background: transparent; }")
            .arg((secondary ? secondaryText() : QColor(Qt::white)).name(QColor::HexArgb)));
    return result;
}

QFrame *fieldRow(const SharedSymbolPainter &symbols, const QString &symbol, QLineEdit *field,
                 const QString &trailingSymbol)
{
    auto *row = new QFrame;
    row->setObjectName(field->objectName() + QStringLiteral("Row"));
    row->setStyleSheet(QStringLiteral("QFrame#%1 { background: rgba(255,255,255,8);"
                                      " border: 1px solid rgba(255,255,255,38);"
                                      " border-radius: 8px; }")
                           .arg(row->objectName()));
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(14, 14, 14, 14);
    layout->addWidget(new AccountSymbol(symbols, symbol, QSize(24, 18), secondaryText(), row));
    QFont font = field->font();
    font.setPixelSize(14);
    field->setFont(font);
    field->setFrame(false);
    field->setStyleSheet(
        QStringLiteral("QLineEdit { color: white; background: transparent; border: none;"
                       " padding: 0; selection-background-color: #0a84ff; }"));
    QPalette palette = field->palette();
    palette.setColor(QPalette::PlaceholderText, secondaryText());
    palette.setColor(QPalette::Text, Qt::white);
    field->setPalette(palette);
    field->setMinimumHeight(QFontMetrics(font).height() + 4);
    layout->addWidget(field, 1);
    if (!trailingSymbol.isEmpty()) {
        layout->addWidget(
            new AccountSymbol(symbols, trailingSymbol, QSize(18, 18), secondaryText(), row));
    }
    return row;
}

} // namespace accountLook

AccountSymbol::AccountSymbol(SharedSymbolPainter symbols, QString name, QSize size, QColor color,
                             QWidget *parent)
    : QWidget(parent), m_symbols(std::move(symbols)), m_name(std::move(name)), m_color(color)
{
    setFixedSize(size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void AccountSymbol::paintEvent(QPaintEvent *)
{
    if (!m_symbols || !*m_symbols)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QRectF box((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    (*m_symbols)(painter, m_name, box, m_color);
}

AccountButton::AccountButton(const QString &text, Look look, SharedSymbolPainter symbols,
                             QWidget *parent)
    : QPushButton(text, parent), m_look(std::move(look)), m_symbols(std::move(symbols))
{
    QFont font = this->font();
    font.setPixelSize(m_look.fontSize);
    font.setWeight(m_look.weight);
    font.setUnderline(m_look.underline);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFlat(true);
    // Drawn here alone: a window's style sheet for push buttons must not paint under it.
    setStyleSheet(QStringLiteral("QPushButton { background: transparent; border: none;"
                                 " padding: 0; }"));
    // Return in a field must not press a button.
    setAutoDefault(false);
    setDefault(false);
}

int AccountButton::contentWidth() const
{
    int width = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()))) + 1;
    if (!m_look.leadingSymbol.isEmpty())
        width += m_look.symbolSize + symbolGap;
    if (!m_look.trailingSymbol.isEmpty())
        width += m_look.symbolSize + symbolGap;
    return width;
}

QSize AccountButton::sizeHint() const
{
    const int lineHeight = std::max(QFontMetrics(font()).height(), m_look.symbolSize);
    const bool framed = m_look.fill.alpha() > 0 || m_look.outline.alpha() > 0;
    const int sidePadding = framed ? 16 : 4;
    return QSize(contentWidth() + 2 * sidePadding, lineHeight + 2 * m_look.verticalPadding);
}

QSize AccountButton::minimumSizeHint() const
{
    return sizeHint();
}

void AccountButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled() && m_look.fadesWhenDisabled)
        painter.setOpacity(0.45);
    const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const double radius = std::min(m_look.radius, frame.height() / 2);
    QColor fill = m_look.fill;
    if (isDown() && fill.alpha() > 0)
        fill = fill.alpha() == 255 ? fill.darker(115) : white(std::min(255, fill.alpha() + 15));
    painter.setBrush(fill.alpha() > 0 ? QBrush(fill) : QBrush(Qt::NoBrush));
    painter.setPen(m_look.outline.alpha() > 0 ? QPen(m_look.outline, 1) : QPen(Qt::NoPen));
    if (fill.alpha() > 0 || m_look.outline.alpha() > 0)
        painter.drawRoundedRect(frame, radius, radius);

    const QColor ink =
        isDown() && m_look.fill.alpha() == 0 ? m_look.text.lighter(120) : m_look.text;
    double x = (width() - contentWidth()) / 2.0;
    const double symbolTop = (height() - m_look.symbolSize) / 2.0;
    const auto symbol = [&](const QString &name) {
        if (name.isEmpty() || !m_symbols || !*m_symbols)
            return;
        (*m_symbols)(painter, name, QRectF(x, symbolTop, m_look.symbolSize, m_look.symbolSize),
                     ink);
    };
    if (!m_look.leadingSymbol.isEmpty()) {
        symbol(m_look.leadingSymbol);
        x += m_look.symbolSize + symbolGap;
    }
    const int textWidth = int(std::ceil(QFontMetricsF(font()).horizontalAdvance(text()))) + 1;
    painter.setFont(font());
    painter.setPen(ink);
    painter.drawText(QRectF(x, 0, textWidth, height()), Qt::AlignVCenter | Qt::AlignLeft, text());
    x += textWidth + symbolGap;
    symbol(m_look.trailingSymbol);
}
