#include "windows/PinSettingsPage.h"

#include "model/SettingsStore.h"
#include "windows/HotkeyProblemLabel.h"
#include "windows/HotkeysPage.h"
#include "windows/PageBlocks.h"
#include "windows/ShortcutRecorder.h"
#include "windows/WindowSymbols.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <limits>

StepSlider::StepSlider(double lower, double upper, double step, QWidget *parent)
    : QSlider(Qt::Horizontal, parent), m_lower(lower), m_upper(upper), m_step(step)
{
    setRange(0, int(std::floor((upper - lower) / step + 1e-9)));
    setSingleStep(1);
    setPageStep(1);
    connect(this, &QSlider::valueChanged, this,
            [this](int position) { emit valueChosen(valueAt(position)); });
}

int StepSlider::positionFor(double value) const
{
    if (std::isnan(value))
        return minimum();
    const double clamped = std::clamp(value, m_lower, m_upper);
    return std::clamp(int(std::lround((clamped - m_lower) / m_step)), minimum(), maximum());
}

double StepSlider::valueAt(int position) const
{
    // Rounded to the decimals of the bounds and the step, so that a stop is stored as the number
    // it stands for (0.6, not 0.2 + 8 × 0.05 = 0.6000000000000001).
    const auto decimals = [](double value) {
        int places = 0;
        for (double scaled = std::abs(value);
             places < 9 && std::abs(scaled - std::round(scaled)) > 1e-9 * std::max(1.0, scaled);
             scaled *= 10)
            ++places;
        return places;
    };
    const double scale = std::pow(10.0, std::max({decimals(m_lower), decimals(m_step)}));
    const double value = std::round((m_lower + position * m_step) * scale) / scale;
    return std::min(m_upper, value);
}

void StepSlider::showValue(double value)
{
    const QSignalBlocker blocker(this);
    setValue(positionFor(value));
}

PlacementCell::PlacementCell(PinPlacement placement, QWidget *parent)
    : AccentButton(parent), m_placement(placement)
{
    setText(rawValue(placement));
    setAccessibleName(text());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setSelectionFadeMs(selectionFadeMs);
}

QSize PlacementCell::sizeHint() const
{
    return QSize(160, 42);
}

void PlacementCell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintChoiceCard(painter, {.radius = 10, .selectedFill = 0.15, .selectedOutline = 0.5});
    // The old label fades out as the new one fades in.
    const double shown = selection();
    if (shown < 1) {
        painter.setOpacity(1 - shown);
        paintLabel(painter, false);
    }
    if (shown > 0) {
        painter.setOpacity(shown);
        paintLabel(painter, true);
    }
}

void PlacementCell::paintLabel(QPainter &painter, bool chosen) const
{
    const QColor ink = chosen ? QColor(Qt::white) : WindowStyle::secondaryText();
    paintSymbol(painter, systemImage(m_placement), QRectF(12 + 4, (height() - 14) / 2.0, 14, 14),
                ink, 2.0);
    painter.setPen(ink);
    painter.setFont(WindowStyle::font(13, chosen ? QFont::DemiBold : QFont::Medium));
    const QRect textRect(12 + 22 + 10, 0, width() - 44 - 30, height());
    painter.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, text());
    if (chosen) {
        const int textWidth = painter.fontMetrics().horizontalAdvance(text());
        paintSymbol(painter, QStringLiteral("checkmark"),
                    QRectF(textRect.left() + textWidth + 10, (height() - 11) / 2.0, 11, 11),
                    accent(), 2.4);
    }
}

QString PinSettingsPage::badgeText(Badge kind, double value)
{
    if (kind == Badge::percent)
        value *= 100;
    if (!std::isfinite(value) || std::abs(value) >= double(std::numeric_limits<int>::max()))
        return QStringLiteral("–");
    const long long whole = static_cast<long long>(std::trunc(value));
    switch (kind) {
    case Badge::points:
        return QStringLiteral("%1 pt").arg(whole);
    case Badge::percent:
        return QStringLiteral("%1%").arg(whole);
    case Badge::delay:
        return value == 0 ? QStringLiteral("Never") : QStringLiteral("%1s").arg(whole);
    case Badge::pixels:
        return QStringLiteral("%1px").arg(whole);
    case Badge::pointsMax:
        return QStringLiteral("%1 pt max").arg(whole);
    }
    return {};
}

namespace {

QWidget *pinSection(const QString &title, QLayout *content)
{
    auto *section = new QWidget;
    auto *layout = new QVBoxLayout(section);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addWidget(makeSectionTitle(title));
    layout->addWidget(makeCard(content));
    return section;
}

QVBoxLayout *column(int spacing)
{
    auto *layout = new QVBoxLayout;
    layout->setSpacing(spacing);
    return layout;
}

struct NumberSetting {
    double (SettingsStore::*get)() const;
    void (SettingsStore::*set)(double);
    void (SettingsStore::*changed)(double);
    // What the pins make of the stored number, which is what the page shows.
    double (*usable)(double);
};

// A slider bound to a number, with the label that shows the value in use.
StepSlider *bindSlider(SettingsStore &store, NumberSetting setting, double lower, double upper,
                       double step, QLabel *badge, PinSettingsPage::Badge kind)
{
    auto *slider = new StepSlider(lower, upper, step);
    followSetting(store, setting.changed, slider, [slider, badge, kind, &store, setting] {
        const double used = setting.usable((store.*setting.get)());
        slider->showValue(used);
        if (badge)
            badge->setText(PinSettingsPage::badgeText(kind, used));
    });
    QObject::connect(slider, &StepSlider::valueChosen, &store,
                     [&store, setting](double value) { (store.*setting.set)(value); });
    return slider;
}

QHBoxLayout *valueRow(const QString &label, QLabel *badge)
{
    auto *row = new QHBoxLayout;
    row->addWidget(makeLabel(label, 13, QFont::Medium), 1);
    row->addWidget(badge);
    return row;
}

// A labelled slider: the value row above the slider.
QVBoxLayout *labelledSlider(SettingsStore &store, const QString &label, NumberSetting setting,
                            double lower, double upper, double step, PinSettingsPage::Badge kind)
{
    QLabel *badge = makeBadge({});
    auto *layout = column(8);
    layout->addLayout(valueRow(label, badge));
    StepSlider *slider = bindSlider(store, setting, lower, upper, step, badge, kind);
    slider->setAccessibleName(label);
    layout->addWidget(slider);
    return layout;
}

QWidget *settingRow(SettingsStore &store, const QString &symbol, const QString &title,
                    const QString &subtitle, bool (SettingsStore::*get)() const,
                    void (SettingsStore::*set)(bool), void (SettingsStore::*changed)(bool))
{
    ToggleRow row = makeToggleRow(symbol, title, subtitle);
    bindSwitch(row.toggle, store, get, set, changed);
    return row.widget;
}

} // namespace

PinSettingsPage::PinSettingsPage(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services), m_recordingID(new RecordingIDBinding(this))
{
    SettingsStore &store = *m_services.settings;
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto *content = new QWidget;
    outer->addWidget(makeScrollPage(content));
    auto *page = new QVBoxLayout(content);
    page->setContentsMargins(32, 32, 32, 32);
    page->setSpacing(24);
    page->addWidget(
        makePageHeader(QStringLiteral("Pin Settings"),
                       QStringLiteral("Control how pinned captures appear on your desktop.")));

    auto *behavior = column(12);
    behavior->addWidget(
        settingRow(store, QStringLiteral("pin.fill"), QStringLiteral("Auto-pin every capture"),
                   QStringLiteral("New screenshots automatically appear as desktop pins."),
                   &SettingsStore::autoPinEnabled, &SettingsStore::setAutoPinEnabled,
                   &SettingsStore::autoPinEnabledChanged));
    behavior->addWidget(makeDivider());
    behavior->addWidget(
        settingRow(store, QStringLiteral("pin.slash"), QStringLiteral("Close pin on copy"),
                   QStringLiteral("Pinned window closes automatically when you copy the image."),
                   &SettingsStore::pinCloseOnCopy, &SettingsStore::setPinCloseOnCopy,
                   &SettingsStore::pinCloseOnCopyChanged));
    page->addWidget(pinSection(QStringLiteral("Behavior"), behavior));

    auto *placement = column(12);
    auto *grid = new QGridLayout;
    grid->setSpacing(10);
    const QList<PinPlacement> placements = allCases<PinPlacement>();
    const auto clicking = std::make_shared<bool>(false);
    for (int i = 0; i < placements.size(); ++i) {
        auto *cell = new PlacementCell(placements[i]);
        const PinPlacement value = placements[i];
        bindChoice(
            store, &SettingsStore::pinPlacementChanged, cell,
            [&store, value] { return store.pinPlacement() == value; },
            [&store, value] { store.setPinPlacement(value); }, clicking);
        followAccent(store, cell, [cell](const QColor &accent) { cell->setAccent(accent); });
        grid->addWidget(cell, i / 2, i % 2);
    }
    placement->addLayout(grid);
    placement->addWidget(makeDivider());
    auto *targetRow = new QHBoxLayout;
    targetRow->addWidget(makeLabel(QStringLiteral("Target Display"), 13, QFont::Medium), 1);
    QComboBox *target =
        makeEnumPicker(store, &SettingsStore::pinTargetDisplay, &SettingsStore::setPinTargetDisplay,
                       &SettingsStore::pinTargetDisplayChanged);
    target->setAccessibleName(QStringLiteral("Target Display"));
    target->setFixedWidth(180);
    targetRow->addWidget(target);
    placement->addLayout(targetRow);
    page->addWidget(pinSection(QStringLiteral("Placement"), placement));

    auto *size = column(12);
    auto *widthRow = new QHBoxLayout;
    widthRow->addWidget(makeLabel(QStringLiteral("Width"), 13));
    QLabel *sizeText = makeLabel({}, 12, QFont::Normal, true);
    sizeText->setFont(WindowStyle::font(12, QFont::Normal, true));
    StepSlider *width = bindSlider(store,
                                   {&SettingsStore::pinSize, &SettingsStore::setPinSize,
                                    &SettingsStore::pinSizeChanged, usablePinSize},
                                   80, 1200, 50, sizeText, Badge::pixels);
    width->setAccessibleName(QStringLiteral("Width"));
    widthRow->addWidget(width, 1);
    widthRow->addWidget(sizeText);
    size->addLayout(widthRow);
    auto *previewRow = new QHBoxLayout;
    previewRow->addWidget(makeLabel(QStringLiteral("Preview"), 11, QFont::Normal, true));
    previewRow->addStretch(1);
    QLabel *maxText = makeLabel({}, 11, QFont::Medium, true);
    followSetting(store, &SettingsStore::pinSizeChanged, maxText, [maxText, &store] {
        maxText->setText(badgeText(Badge::pointsMax, usablePinSize(store.pinSize())));
    });
    previewRow->addWidget(maxText);
    size->addLayout(previewRow);
    page->addWidget(pinSection(QStringLiteral("Size"), size));

    auto *padding = column(8);
    QLabel *paddingBadge = makeBadge({});
    padding->addLayout(valueRow(QStringLiteral("Padding from screen edges"), paddingBadge));
    StepSlider *paddingSlider =
        bindSlider(store,
                   {&SettingsStore::pinPadding, &SettingsStore::setPinPadding,
                    &SettingsStore::pinPaddingChanged, usablePinPadding},
                   8, 80, 4, paddingBadge, Badge::points);
    paddingSlider->setAccessibleName(QStringLiteral("Padding from screen edges"));
    padding->addWidget(paddingSlider);
    page->addWidget(pinSection(QStringLiteral("Edge Padding"), padding));

    auto *appearance = column(16);
    auto *borderRow = new QHBoxLayout;
    borderRow->addWidget(makeLabel(QStringLiteral("Border Color"), 13, QFont::Medium), 1);
    QComboBox *border =
        makeEnumPicker(store, &SettingsStore::pinBorderColor, &SettingsStore::setPinBorderColor,
                       &SettingsStore::pinBorderColorChanged);
    border->setAccessibleName(QStringLiteral("Border Color"));
    border->setFixedWidth(160);
    borderRow->addWidget(border);
    appearance->addLayout(borderRow);
    appearance->addWidget(makeDivider());
    appearance->addLayout(
        labelledSlider(store, QStringLiteral("Border Width"),
                       {&SettingsStore::pinBorderWidth, &SettingsStore::setPinBorderWidth,
                        &SettingsStore::pinBorderWidthChanged, usablePinBorderWidth},
                       0, 4, 0.5, Badge::points));
    appearance->addWidget(makeDivider());
    appearance->addLayout(
        labelledSlider(store, QStringLiteral("Corner Radius"),
                       {&SettingsStore::pinCornerRadius, &SettingsStore::setPinCornerRadius,
                        &SettingsStore::pinCornerRadiusChanged, usablePinCornerRadius},
                       0, 24, 2, Badge::points));
    appearance->addWidget(makeDivider());
    appearance->addLayout(
        labelledSlider(store, QStringLiteral("Default Opacity"),
                       {&SettingsStore::pinDefaultOpacity, &SettingsStore::setPinDefaultOpacity,
                        &SettingsStore::pinDefaultOpacityChanged, usablePinOpacity},
                       0.2, 1.0, 0.05, Badge::percent));
    appearance->addWidget(makeDivider());
    ToggleRow ghost =
        makeToggleRow(QStringLiteral("eye.slash"), QStringLiteral("Default Ghost Mode"),
                      QStringLiteral("New pins start at 45% opacity."));
    SwitchButton *ghostToggle = ghost.toggle;
    followSetting(store, &SettingsStore::pinDefaultGhostModeChanged, ghostToggle,
                  [ghostToggle, &store] { ghostToggle->setChecked(store.pinDefaultGhostMode()); });
    followAccent(store, ghostToggle, [ghostToggle](const QColor &c) { ghostToggle->setAccent(c); });
    connect(ghostToggle, &QAbstractButton::toggled, &store, [&store](bool on) {
        store.setPinDefaultGhostMode(on);
        store.setPinDefaultOpacity(on ? 0.45 : 1.0);
    });
    appearance->addWidget(ghost.widget);
    page->addWidget(pinSection(QStringLiteral("Appearance"), appearance));

    auto *autoClose = column(8);
    QLabel *delayBadge = makeBadge({});
    autoClose->addLayout(valueRow(QStringLiteral("Close after"), delayBadge));
    StepSlider *delaySlider =
        bindSlider(store,
                   {&SettingsStore::pinAutoCloseDelay, &SettingsStore::setPinAutoCloseDelay,
                    &SettingsStore::pinAutoCloseDelayChanged, usablePinAutoCloseDelay},
                   0, 60, 5, delayBadge, Badge::delay);
    delaySlider->setAccessibleName(QStringLiteral("Close after"));
    autoClose->addWidget(delaySlider);
    page->addWidget(pinSection(QStringLiteral("Auto-Close"), autoClose));

    auto *shortcut = column(8);
    auto *shortcutRow = new QHBoxLayout;
    shortcutRow->addWidget(
        new SymbolView(QStringLiteral("xmark.circle.fill"), 20, WindowStyle::secondaryText()));
    shortcutRow->addWidget(makeLabel(QStringLiteral("Close All Pins"), 13), 1);
    m_recorder = new ShortcutRecorderButton(
        QStringLiteral("closeAllPins"), store.pinCloseAllShortcut(), m_recordingID,
        [this](const ShortcutData &data) {
            m_services.settings->setPinCloseAllShortcut(data);
            registerHotkeysAndReport(m_services, m_problem);
        },
        [this] {
            m_services.settings->setPinCloseAllShortcut(SettingDefaults::pinCloseAllShortcut());
            registerHotkeysAndReport(m_services, m_problem);
        });
    connect(&store, &SettingsStore::pinCloseAllShortcutChanged, m_recorder,
            [this](const ShortcutData &data) { m_recorder->setShortcut(data); });
    shortcutRow->addWidget(m_recorder);
    shortcut->addLayout(shortcutRow);
    m_problem = new HotkeyProblemLabel;
    shortcut->addWidget(m_problem);
    page->addWidget(pinSection(QStringLiteral("Global Shortcut"), shortcut));

    auto *actions = new QWidget;
    auto *actionsLayout = new QVBoxLayout(actions);
    actionsLayout->setContentsMargins(0, 0, 0, 0);
    actionsLayout->setSpacing(14);
    actionsLayout->addWidget(makeSectionTitle(QStringLiteral("Actions")));
    auto *closeAll = new QPushButton(QStringLiteral("Close All Pins"));
    closeAll->setAccessibleName(QStringLiteral("Close All Pins"));
    closeAll->setCursor(Qt::PointingHandCursor);
    closeAll->setFont(WindowStyle::font(13, QFont::Medium));
    closeAll->setStyleSheet(QStringLiteral(
        "QPushButton { background: rgba(255,255,255,10); border-radius: 12px; padding: 16px;"
        " text-align: left; color: white; }"
        "QPushButton:hover { background: rgba(255,255,255,20); }"));
    QPixmap mark(30, 30);
    mark.fill(Qt::transparent);
    {
        QPainter painter(&mark);
        paintSymbol(painter, QStringLiteral("xmark.circle.fill"), QRectF(0, 0, 30, 30),
                    QColor(255, 69, 58));
    }
    closeAll->setIcon(QIcon(mark));
    connect(closeAll, &QPushButton::clicked, this, [this] {
        if (m_services.closeAllPins)
            m_services.closeAllPins();
    });
    actionsLayout->addWidget(closeAll);
    page->addWidget(actions);
    page->addStretch(1);
}
