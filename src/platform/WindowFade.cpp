#include "platform/WindowFade.h"

#include "platform/Compositor.h"

#include <QEasingCurve>
#include <QVariantAnimation>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace platform {
namespace {

// Qt keeps a window's opacity in 255 steps.
constexpr double opacityStep = 1.0 / 255.0;

double sanitised(double opacity)
{
    // A window that cannot be seen because of a bad number would look like a lost panel.
    if (!std::isfinite(opacity))
        return 1.0;
    return std::clamp(opacity, 0.0, 1.0);
}

QEasingCurve easingFor(WindowFade::Curve curve)
{
    switch (curve) {
    case WindowFade::Curve::easeInOut:
        return QEasingCurve::InOutQuad;
    case WindowFade::Curve::easeOutFast: {
        QEasingCurve steepening(QEasingCurve::BezierSpline);
        steepening.addCubicBezierSegment(QPointF(0.3, 0), QPointF(1, 0.3), QPointF(1, 1));
        return steepening;
    }
    }
    return QEasingCurve::Linear;
}

} // namespace

WindowFade::WindowFade(QWidget *window, const Compositor *compositor, QObject *parent)
    : QObject(parent), m_window(window), m_compositor(compositor)
{
    if (window)
        m_target = window->windowOpacity();
}

WindowFade::~WindowFade() = default;

void WindowFade::setOpacity(double opacity)
{
    ++m_generation;
    if (m_animation)
        m_animation->stop();
    m_target = sanitised(opacity);
    if (m_window)
        m_window->setWindowOpacity(m_target);
}

void WindowFade::fadeTo(double opacity, int durationMs, Curve curve,
                        std::function<void()> completed)
{
    // Whatever ran before stops where it is and loses its completion.
    ++m_generation;
    if (m_animation)
        m_animation->stop();
    m_target = sanitised(opacity);
    const quint64 generation = m_generation;
    const double from = m_window ? m_window->windowOpacity() : m_target;
    const bool canBlend = m_compositor && m_compositor->isCompositing();
    if (!m_window || !canBlend || durationMs <= 0 || std::abs(from - m_target) < opacityStep) {
        if (m_window)
            m_window->setWindowOpacity(m_target);
        if (completed)
            completed();
        return;
    }

    if (!m_animation)
        m_animation = new QVariantAnimation(this);
    m_animation->disconnect(this);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        if (m_window)
            m_window->setWindowOpacity(value.toDouble());
    });
    connect(m_animation, &QVariantAnimation::finished, this,
            [this, generation, completed = std::move(completed)] {
                if (generation != m_generation || !m_window)
                    return;
                m_window->setWindowOpacity(m_target);
                // The completion may start another fade, which drops this connection.
                const std::function<void()> done = completed;
                if (done)
                    done();
            });
    m_animation->setStartValue(from);
    m_animation->setEndValue(m_target);
    m_animation->setDuration(durationMs);
    m_animation->setEasingCurve(easingFor(curve));
    m_animation->start();
}

bool WindowFade::isFading() const
{
    return m_animation && m_animation->state() == QAbstractAnimation::Running;
}

} // namespace platform
