#pragma once

#include "model/SettingsEnums.h"
#include "platform/HoverButton.h"
#include "platform/Spring.h"
#include "tray/TrayActionButtonStyle.h"

#include <QAbstractButton>
#include <QList>
#include <QSet>
#include <QString>
#include <QVariantAnimation>
#include <functional>

// The symbol each action button shows ("doc.on.clipboard" for copy, …).
QString traySymbolName(TrayButtonID button);

// The action buttons the expanded tray shows, in order: none while nothing is staged, else every
// button whose stored word is not in `disabled`.
QList<TrayButtonID> visibleTrayButtons(bool hasItems, const QSet<QString> &disabled);

// A 36 × 36 icon button of the expanded tray: a white symbol on a faint rounded plate that
// brightens and grows a little while the pointer is over it. No tooltip, no text.
class TrayActionButton final : public TrayBodyControl<platform::HoverButton> {
    Q_OBJECT

public:
    static constexpr int side = 36;
    // The widget is a little larger than the plate, so that the hovered plate (1.05 ×) fits.
    static constexpr int margin = 1;
    // The hover's spring: quick, with a slight overshoot; it drives the plate, the symbol and
    // the scale together.
    static constexpr platform::Spring hoverSpring{0.2, 0.7};

    TrayActionButton(const QString &icon, std::function<void()> action, QWidget *parent = nullptr);

    QString icon() const { return m_icon; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &position) const override;

private:
    QString m_icon;
};

// The two buttons of a running recording in the expanded tray: "Stop Recording" on a red
// capsule, and a cross on a faint circle that discards the recording.
class TrayRecordingButton final : public TrayBodyControl<QAbstractButton> {
    Q_OBJECT

public:
    enum class Kind { stop, cancel };

    TrayRecordingButton(Kind kind, QWidget *parent = nullptr);

    Kind kind() const { return m_kind; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    Kind m_kind;
};
