#pragma once

#include "model/SettingsEnums.h"
#include "windows/AccentButton.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QSlider>
#include <QWidget>

class QLabel;
class RecordingIDBinding;
class SettingsStore;
class ShortcutRecorderButton;
class SwitchButton;
class HotkeyProblemLabel;

// A slider over a range of numbers with a fixed step. It shows the stored value at the nearest
// step inside the range without writing it, and writes only the steps the user moves to.
class StepSlider : public QSlider {
    Q_OBJECT

public:
    StepSlider(double lower, double upper, double step, QWidget *parent = nullptr);
    double lower() const { return m_lower; }
    double upper() const { return m_upper; }
    double step() const { return m_step; }
    // The slider's position for a value: NaN goes to the lower end, the rest is clamped.
    int positionFor(double value) const;
    double valueAt(int position) const;
    // Moves to the value's position with signals blocked.
    void showValue(double value);

signals:
    void valueChosen(double value);

private:
    double m_lower;
    double m_upper;
    double m_step;
};

// One corner choice of the pin deck: arrow, corner name and, when chosen, a check mark.
class PlacementCell : public AccentButton {
    Q_OBJECT

public:
    static constexpr int selectionFadeMs = 160;

    explicit PlacementCell(PinPlacement placement, QWidget *parent = nullptr);
    PinPlacement placement() const { return m_placement; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The arrow, the corner's name and, when chosen, the check mark, in the look of a chosen
    // cell or of another.
    void paintLabel(QPainter &painter, bool chosen) const;

    PinPlacement m_placement;
};

// Every preference of the desktop pins, the close-all shortcut and a button that closes all pins.
// The main window and the settings window each host one over the same store.
class PinSettingsPage : public QWidget {
    Q_OBJECT

public:
    enum class Badge { points, percent, delay, pixels, pointsMax };
    // What a value label shows: whole numbers, the fraction dropped; "Never" for no delay; a
    // value that is not a finite number, or beyond a whole number's range, shows a dash.
    static QString badgeText(Badge kind, double value);

    explicit PinSettingsPage(const WindowServices &services, QWidget *parent = nullptr);

    ShortcutRecorderButton *closeAllRecorder() const { return m_recorder; }

private:
    WindowServices m_services;
    RecordingIDBinding *m_recordingID = nullptr;
    ShortcutRecorderButton *m_recorder = nullptr;
    HotkeyProblemLabel *m_problem = nullptr;
};
