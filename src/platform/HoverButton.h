#pragma once

#include <QAbstractButton>
#include <QEasingCurve>
#include <QVariantAnimation>

namespace platform {

// A button whose look follows the pointer: its hover progress runs from 0 at rest to 1 while
// the pointer is over it, animated from wherever it got to, so a quick in-and-out never jumps.
// Subclasses paint from hoverProgress(); every step repaints.
class HoverButton : public QAbstractButton {
    Q_OBJECT

public:
    HoverButton(int durationMs, const QEasingCurve &curve, QWidget *parent = nullptr);

    bool isHovered() const { return m_hovered; }
    double hoverProgress() const { return m_progress; }

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void setHovered(bool hovered);

    bool m_hovered = false;
    double m_progress = 0;
    QVariantAnimation m_animation;
};

} // namespace platform
