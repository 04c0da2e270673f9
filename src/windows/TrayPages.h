#pragma once

#include "model/SettingsEnums.h"
#include "windows/AccentButton.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QWidget>

class QSpinBox;
class SettingsStore;
class SwitchButton;

// A round swatch of one accent theme; the current theme carries a white ring and, when glowing,
// a soft glow of its colour. Glowing swatches move their ring and glow from the old theme's
// swatch to the new one's over a short fade when clicked; the others each lie on a faint black
// shadow.
class AccentSwatch : public AccentButton {
    Q_OBJECT

public:
    static constexpr int selectionFadeMs = 150;

    AccentSwatch(AccentTheme theme, int diameter, bool glow, QWidget *parent = nullptr);
    AccentTheme theme() const { return m_theme; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // A soft round shadow of the disc, `blur` pixels wide at its edge.
    static void paintShadow(QPainter &painter, const QRectF &disc, QColor color, double opacity,
                            double blur);

    AccentTheme m_theme;
    int m_diameter;
    bool m_glow;
};

// The five swatches in theme order, bound to accentTheme; `glow` makes them glowing (above).
QWidget *makeAccentSwatches(SettingsStore &store, int diameter, int spacing, bool glow);
// A switch that shows whether the tray shows `button` and flips its membership in the hidden set.
void bindTrayButtonSwitch(SwitchButton *toggle, SettingsStore &store, TrayButtonID button);
// The queue-size stepper: 1 to 16, showing the stored capacity clamped, writing only what the
// user steps to.
QSpinBox *makeQueueStepper(SettingsStore &store);
// A switch's place among the capture-button switches: symbol, label and the property it binds.
struct CaptureButtonSetting {
    const char *symbol;
    const char *title;
    bool (SettingsStore::*get)() const;
    void (SettingsStore::*set)(bool);
    void (SettingsStore::*changed)(bool);
    // Apart from the Dashboard card of the same title.
    QString accessibleName() const
    {
        return QStringLiteral("Show %1 button").arg(QString::fromUtf8(title));
    }
};
// The four capture buttons' visibility switches, in the order of the Dashboard's cards.
const QList<CaptureButtonSetting> &captureButtonSettings();
// The two tray sizes as side-by-side buttons, bound to traySize.
QWidget *makeTraySizeSegments(SettingsStore &store);

// The Staging page: auto-copy, copy-removes and the queue size.
class StagingPage : public QWidget {
    Q_OBJECT

public:
    explicit StagingPage(SettingsStore &store, QWidget *parent = nullptr);
};

// The Appearance page: tray position, footprint, material, accent, visible tray buttons and
// visible capture buttons.
class AppearancePage : public QWidget {
    Q_OBJECT

public:
    explicit AppearancePage(SettingsStore &store, QWidget *parent = nullptr);
};
