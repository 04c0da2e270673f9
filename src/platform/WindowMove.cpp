#include "platform/WindowMove.h"

#include <QVariantAnimation>
#include <QWidget>

namespace platform {

WindowMove::WindowMove(QWidget *window, int durationMs, QEasingCurve::Type curve, Place place)
    : m_window(window), m_durationMs(durationMs), m_curve(curve), m_place(std::move(place))
{
}

WindowMove::~WindowMove()
{
    // The window may stay on; it stops where it is rather than being moved by nobody's request.
    delete m_animation.data();
}

void WindowMove::place(const QRect &geometry)
{
    if (!m_window)
        return;
    if (m_place)
        m_place(m_window, geometry);
    else
        m_window->setGeometry(geometry);
}

void WindowMove::moveTo(const QRect &geometry, bool animated)
{
    if (!m_window)
        return;
    if (m_animation)
        m_animation->stop();
    const QRect from = m_window->geometry();
    if (!animated || !m_window->isVisible() || m_durationMs <= 0 || from == geometry) {
        place(geometry);
        return;
    }
    if (!m_animation) {
        // A child of the window: it goes with it.
        m_animation = new QVariantAnimation(m_window);
        m_animation->setEasingCurve(m_curve);
        QObject::connect(m_animation, &QVariantAnimation::valueChanged, m_window,
                         [this](const QVariant &value) { place(value.toRect()); });
    }
    m_animation->setDuration(m_durationMs);
    m_animation->setStartValue(from);
    m_animation->setEndValue(geometry);
    m_animation->start();
}

bool WindowMove::isMoving() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

} // namespace platform
