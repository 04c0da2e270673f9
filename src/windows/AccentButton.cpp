#include "windows/AccentButton.h"

#include <QPainter>
#include <QVariantAnimation>

namespace {

// `from` turned into `to` by the share `t` (0 to 1) of the way.
QColor mixColors(const QColor &from, const QColor &to, double t)
{
    if (t <= 0)
        return from;
    if (t >= 1)
        return to;
    const auto mix = [t](float a, float b) { return float(a + (b - a) * t); };
    return QColor::fromRgbF(mix(from.redF(), to.redF()), mix(from.greenF(), to.greenF()),
                            mix(from.blueF(), to.blueF()), mix(from.alphaF(), to.alphaF()));
}

} // namespace

AccentButton::AccentButton(QWidget *parent)
    : QAbstractButton(parent), m_accent(WindowStyle::accentColor(AccentTheme::blue))
{
    setCursor(Qt::PointingHandCursor);
}

void AccentButton::setSelected(bool selected, bool fade)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    const double target = selected ? 1.0 : 0.0;
    if (m_selectionFade)
        m_selectionFade->stop();
    if (!fade || m_selectionFadeMs <= 0) {
        m_selection = target;
        update();
        return;
    }
    if (!m_selectionFade) {
        m_selectionFade = new QVariantAnimation(this);
        m_selectionFade->setEasingCurve(QEasingCurve::InOutQuad);
        connect(m_selectionFade, &QVariantAnimation::valueChanged, this,
                [this](const QVariant &value) {
                    m_selection = value.toDouble();
                    update();
                });
        // The fade ends exactly on the look, whatever the last step's rounding.
        connect(m_selectionFade, &QVariantAnimation::finished, this, [this] {
            m_selection = m_selected ? 1.0 : 0.0;
            update();
        });
    }
    // From the look shown now, so a change mid-fade turns back smoothly.
    m_selectionFade->setDuration(m_selectionFadeMs);
    m_selectionFade->setStartValue(m_selection);
    m_selectionFade->setEndValue(target);
    m_selectionFade->start();
}

void AccentButton::setAccent(const QColor &accent)
{
    if (accent == m_accent)
        return;
    m_accent = accent;
    update();
}

QColor AccentButton::accent(double opacity) const
{
    QColor color = m_accent;
    color.setAlphaF(float(opacity));
    return color;
}

void AccentButton::paintChoiceCard(QPainter &painter, const ChoiceLook &look) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    const double line = 1.0 + (look.selectedLineWidth - 1.0) * m_selection;
    painter.setBrush(mixColors(WindowStyle::white(isDown() ? 0.08 : 0.04),
                               accent(look.selectedFill), m_selection));
    painter.setPen(
        QPen(mixColors(WindowStyle::white(look.outline), accent(look.selectedOutline), m_selection),
             line));
    painter.drawRoundedRect(QRectF(rect()).adjusted(line / 2, line / 2, -line / 2, -line / 2),
                            look.radius, look.radius);
}
