#include "platform/HoverButton.h"

namespace platform {

HoverButton::HoverButton(int durationMs, const QEasingCurve &curve, QWidget *parent)
    : QAbstractButton(parent)
{
    m_animation.setDuration(durationMs);
    m_animation.setEasingCurve(curve);
    connect(&m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
}

void HoverButton::enterEvent(QEnterEvent *event)
{
    setHovered(true);
    QAbstractButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent *event)
{
    setHovered(false);
    QAbstractButton::leaveEvent(event);
}

void HoverButton::hideEvent(QHideEvent *event)
{
    // While hidden no Leave reaches the button, and the pointer may leave the window without
    // one even before (a click's grab): it comes back at rest, and an Enter lights it again.
    m_animation.stop();
    m_hovered = false;
    m_progress = 0;
    QAbstractButton::hideEvent(event);
}

void HoverButton::setHovered(bool hovered)
{
    if (m_hovered == hovered)
        return;
    m_hovered = hovered;
    m_animation.stop();
    m_animation.setStartValue(m_progress);
    m_animation.setEndValue(hovered ? 1.0 : 0.0);
    m_animation.start();
}

} // namespace platform
