#include "tray/RecordingDot.h"

#include <QEasingCurve>
#include <QPainter>
#include <cmath>

namespace {
constexpr int fadeMs = 800;
} // namespace

RecordingDot::RecordingDot(QWidget *parent) : TrayBodyControl(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(sizeHint());
    m_blink.setStartValue(0);
    m_blink.setEndValue(2 * fadeMs);
    m_blink.setDuration(2 * fadeMs);
    m_blink.setLoopCount(-1);
    connect(&m_blink, &QVariantAnimation::valueChanged, this, [this] { update(); });
}

double RecordingDot::dotOpacity() const
{
    if (!m_isBlinking)
        return 1;
    const int time = m_blink.currentTime() % (2 * fadeMs);
    const double phase =
        time < fadeMs ? time / double(fadeMs) : (2 * fadeMs - time) / double(fadeMs);
    return 1.0 - 0.8 * QEasingCurve(QEasingCurve::InOutQuad).valueForProgress(phase);
}

void RecordingDot::setScale(double scale)
{
    if (scale == m_scale)
        return;
    m_scale = scale;
    resize(sizeHint());
    update();
}

QSize RecordingDot::sizeHint() const
{
    const int side = int(std::ceil(diameter * m_scale));
    return {side, side};
}

void RecordingDot::showEvent(QShowEvent *event)
{
    TrayBodyControl::showEvent(event);
    if (m_isBlinking)
        return;
    m_isBlinking = true;
    m_blink.start();
}

void RecordingDot::hideEvent(QHideEvent *event)
{
    TrayBodyControl::hideEvent(event);
    // The next time it comes on screen it starts solid again.
    m_blink.stop();
    m_isBlinking = false;
}

void RecordingDot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(contentOpacity() * dotOpacity());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 59, 48));
    const double d = diameter * m_scale;
    const QPointF centre = QRectF(rect()).center();
    painter.drawEllipse(centre, d / 2, d / 2);
}
