#pragma once

#include "tray/TrayActionButtonStyle.h"

#include <QVariantAnimation>
#include <QWidget>

// The red dot of the recording row. It starts solid and, from the moment it is on screen, fades
// to 20 % and back, 0.8 s each way, for as long as it stays on screen.
class RecordingDot final : public TrayBodyControl<QWidget> {
    Q_OBJECT

public:
    static constexpr double diameter = 8;

    explicit RecordingDot(QWidget *parent = nullptr);

    bool isBlinking() const { return m_isBlinking; }
    // The dot's own opacity now: 1 when solid, down to 0.2.
    double dotOpacity() const;
    // The expanded tray shows the row enlarged.
    void setScale(double scale);
    QSize sizeHint() const override;

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_isBlinking = false;
    double m_scale = 1;
    // One fade out and back in; the eased opacity is worked out from its position.
    QVariantAnimation m_blink;
};
