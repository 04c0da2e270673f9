#include "windows/WindowSymbols.h"

#include "symbols/Symbols.h"

#include <QPainter>

SymbolView::SymbolView(QString name, int size, QColor color, QWidget *parent)
    : QWidget(parent), m_name(std::move(name)), m_color(color)
{
    setFixedSize(size, size);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void SymbolView::setColor(const QColor &color)
{
    if (color == m_color)
        return;
    m_color = color;
    update();
}

void SymbolView::setName(const QString &name)
{
    if (name == m_name)
        return;
    m_name = name;
    update();
}

void SymbolView::setWeight(double weight)
{
    m_weight = weight;
    update();
}

void SymbolView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintSymbol(painter, m_name, QRectF(rect()).adjusted(1, 1, -1, -1), m_color, m_weight);
}

void paintSymbolOrLogo(QPainter &painter, const QString &name, const QRectF &box,
                       const QColor &color)
{
    if (name == QLatin1String("AppLogo"))
        paintAppLogo(painter, box, std::min(box.width(), box.height()) * 0.22);
    else
        paintSymbol(painter, name, box, color);
}

void paintAppLogo(QPainter &painter, const QRectF &box, double cornerRadius)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(box.topLeft(), box.bottomRight());
    gradient.setColorAt(0, QColor(64, 156, 255));
    gradient.setColorAt(1, QColor(88, 86, 214));
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawRoundedRect(box, cornerRadius, cornerRadius);
    const double unit = box.width() / 16;
    const QRectF inner = box.adjusted(4 * unit, 4 * unit, -4 * unit, -4 * unit);
    painter.setPen(QPen(Qt::white, 1.2 * unit, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const double arm = 2.2 * unit;
    const QPointF corners[] = {inner.topLeft(), inner.topRight(), inner.bottomRight(),
                               inner.bottomLeft()};
    for (int i = 0; i < 4; ++i) {
        const QPointF c = corners[i];
        const double dx = (i == 0 || i == 3) ? arm : -arm;
        const double dy = (i < 2) ? arm : -arm;
        painter.drawPolyline(
            QPolygonF({QPointF(c.x(), c.y() + dy), c, QPointF(c.x() + dx, c.y())}));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(box.center(), 1.6 * unit, 1.6 * unit);
    painter.restore();
}

AppLogoView::AppLogoView(int size, double cornerRadius, QWidget *parent)
    : QWidget(parent), m_cornerRadius(cornerRadius)
{
    setFixedSize(size, size);
}

void AppLogoView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintAppLogo(painter, QRectF(rect()), m_cornerRadius);
}
