#include "pins/StackCardPictures.h"

#include <QPainter>
#include <QPainterPath>

void StackCardPictures::setConfig(const StackLayoutConfig &config)
{
    m_config = config;
    m_shadow = QPixmap();
    m_cards.clear();
}

const QPixmap &StackCardPictures::card(const QUuid &id, int index, bool expanded, bool hovered,
                                       double dpr, const PaintCard &paint)
{
    const CardKey key{id, expanded, hovered};
    auto found = m_cards.find(key);
    if (found != m_cards.end())
        return found.value();
    const QRectF card(QPointF(0, 0), m_config.itemSize);
    QPixmap pixmap((m_config.itemSize * dpr).toSize().expandedTo(QSize(1, 1)));
    pixmap.setDevicePixelRatio(dpr);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        QPainterPath shape;
        shape.addRoundedRect(card, m_config.cornerRadius, m_config.cornerRadius);
        painter.save();
        painter.setClipPath(shape);
        if (paint)
            paint(painter, index, card, expanded, hovered);
        painter.restore();
        QColor outline(255, 255, 255);
        outline.setAlphaF(hovered ? 0.8f : 0.18f);
        painter.setPen(QPen(outline, hovered ? 2.0 : 1.0));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(shape);
    }
    return m_cards.insert(key, pixmap).value();
}

const QPixmap &StackCardPictures::shadow(double dpr)
{
    if (!m_shadow.isNull() || m_config.shadowOpacity <= 0.0)
        return m_shadow;
    const double r = m_config.shadowRadius;
    const QSizeF size = m_config.itemSize + QSizeF(2 * r, 2 * r);
    m_shadow = QPixmap((size * dpr).toSize().expandedTo(QSize(1, 1)));
    m_shadow.setDevicePixelRatio(dpr);
    m_shadow.fill(Qt::transparent);
    QPainter painter(&m_shadow);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A soft black fringe: rings that fade outwards.
    const int rings = 4;
    for (int ring = rings; ring >= 0; --ring) {
        const double spread = r * ring / rings;
        QColor shadow(0, 0, 0);
        shadow.setAlphaF(float(m_config.shadowOpacity / (rings + 1)));
        painter.setBrush(shadow);
        painter.drawRoundedRect(QRectF(QPointF(r - spread, r - spread),
                                       m_config.itemSize + QSizeF(2 * spread, 2 * spread)),
                                m_config.cornerRadius + spread, m_config.cornerRadius + spread);
    }
    return m_shadow;
}
