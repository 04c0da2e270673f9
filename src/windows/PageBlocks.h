#pragma once

#include "model/SettingsEnums.h"
#include "model/SettingsStore.h"
#include "model/StoredEnum.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFont>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QString>
#include <functional>
#include <optional>

class QBoxLayout;
class QLayout;
class QScrollArea;
class SymbolView;

// The look the two windows share: drawn for a dark scheme, titles white, secondary texts grey,
// cards a faint white fill.
namespace WindowStyle {
// The colour of the accent theme: the system blue, purple, orange, green and, for Graphite, grey.
QColor accentColor(AccentTheme theme);
QColor secondaryText();
QFont font(int pixelSize, QFont::Weight weight = QFont::Normal, bool monospaced = false);
// The windows' dark palette; a control the style sheet leaves to the platform style (a spin box,
// whose arrows a style sheet would hide) takes it directly.
QPalette darkPalette();
// The dark palette of a top-level window of ours, and the style sheet of its widgets, set on
// `content`, the widget that holds them all. A dialog the window opens is the window's child
// and would take a style sheet set on the window: white text on the dialog's own light face.
void applyDarkLook(QWidget *window, QWidget *content);
// White at the given opacity, for fills and outlines.
QColor white(double opacity);
} // namespace WindowStyle

// A button whose face is a stored text followed by an up-and-down chevron on a faint rounded
// fill: the folder button and the storage-limit menu of the Dashboard.
class PickerFace : public QPushButton {
    Q_OBJECT

public:
    explicit PickerFace(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    // The text as drawn: whole while it fits, else shortened in the middle.
    QString shownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int textWidth() const;
};

// A switch drawn as a capsule with a knob. A click flips it and emits toggled(); the pages set it
// from the store under a signal blocker, so that only a user's change is ever written.
class SwitchButton : public QAbstractButton {
    Q_OBJECT

public:
    explicit SwitchButton(QWidget *parent = nullptr);
    QSize sizeHint() const override;
    void setAccent(const QColor &accent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_accent;
};

// A label in the windows' type: white, or the secondary grey.
QLabel *makeLabel(const QString &text, int pixelSize, QFont::Weight weight = QFont::Normal,
                  bool secondary = false, QWidget *parent = nullptr);
// The title over an optional subtitle; without a subtitle there is no blank second line.
QWidget *makeTextColumn(const QString &title, const std::optional<QString> &subtitle);
// A page's large title over its one-line description.
QWidget *makePageHeader(const QString &title, const QString &line);
// A section's title: 16 px semibold, white.
QLabel *makeSectionTitle(const QString &text);
// A frame drawn as a card: a rounded rectangle of white at 4 %, the content padded.
QFrame *makeCard(QLayout *content, int padding = 16);
// A thin divider at the given white opacity.
QFrame *makeDivider(double opacity = 0.1);
// A small grey text on a faint rounded badge.
QLabel *makeBadge(const QString &text, bool monospaced = false);
// A scrolling container for a page: down, and across while the page is wider than the window.
QScrollArea *makeScrollPage(QWidget *page);

// A row of a symbol, the text column and a switch at the trailing end.
struct ToggleRow {
    QWidget *widget = nullptr;
    SwitchButton *toggle = nullptr;
};
ToggleRow makeToggleRow(const QString &symbol, const QString &title,
                        const std::optional<QString> &subtitle, int symbolSize = 15);
// The same row with another control at the trailing end.
QWidget *makeControlRow(const QString &symbol, const QString &title,
                        const std::optional<QString> &subtitle, QWidget *control,
                        int symbolSize = 15);

// Why a control of ours does nothing on this desktop.
namespace UnavailableReason {
QString haptics();
QString captureSettings();
} // namespace UnavailableReason
// A control whose effect this desktop cannot have: disabled and shown off where it is a switch,
// its reason in its tooltip and told to assistive tools. The page shows the same reason in the
// control's row.
void showUnavailable(QWidget *control, const QString &reason);

// Runs `show` now and after every announcement of `changed`, with `control`'s signals blocked, so
// that showing a stored value (clamped by the control or not) never writes it back.
template <typename Signal>
void followSetting(SettingsStore &store, Signal changed, QObject *control,
                   std::function<void()> show)
{
    const auto guarded = [control, show] {
        const QSignalBlocker blocker(control);
        show();
    };
    guarded();
    QObject::connect(&store, changed, control, guarded);
}

// A switch bound to a Bool property: it shows the property and writes it on a user's flip.
void bindSwitch(SwitchButton *toggle, SettingsStore &store, bool (SettingsStore::*get)() const,
                void (SettingsStore::*set)(bool), void (SettingsStore::*changed)(bool));

// A pop-up listing every case of an enumeration by its label, showing its property; `choose`
// runs only when the user picks an entry.
template <StoredEnum E>
QComboBox *makeEnumPicker(SettingsStore &store, E (SettingsStore::*get)() const,
                          void (SettingsStore::*changed)(E), std::function<void(E)> choose)
{
    auto *picker = new QComboBox;
    for (const E value : allCases<E>())
        picker->addItem(displayName(value));
    followSetting(store, changed, picker, [picker, &store, get] {
        picker->setCurrentIndex(static_cast<int>((store.*get)()));
    });
    QObject::connect(picker, &QComboBox::activated, &store,
                     [choose](int index) { choose(static_cast<E>(index)); });
    return picker;
}

// The same, writing the picked case through the property's setter.
template <StoredEnum E>
QComboBox *makeEnumPicker(SettingsStore &store, E (SettingsStore::*get)() const,
                          void (SettingsStore::*set)(E), void (SettingsStore::*changed)(E))
{
    return makeEnumPicker<E>(store, get, changed, [&store, set](E value) { (store.*set)(value); });
}

// Keeps a widget's accent-tinted look in step with the theme: `tint` runs now and on every change.
void followAccent(SettingsStore &store, QObject *context, std::function<void(const QColor &)> tint);
