#include "windows/TrayPages.h"

#include "model/SettingsStore.h"
#include "windows/PageBlocks.h"
#include "windows/WindowSymbols.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QRadialGradient>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

AccentSwatch::AccentSwatch(AccentTheme theme, int diameter, bool glow, QWidget *parent)
    : AccentButton(parent), m_theme(theme), m_diameter(diameter), m_glow(glow)
{
    setToolTip(rawValue(theme));
    setAccessibleName(rawValue(theme));
    setFixedSize(sizeHint());
    if (glow)
        setSelectionFadeMs(selectionFadeMs);
}

QSize AccentSwatch::sizeHint() const
{
    return QSize(m_diameter + 8, m_diameter + 8);
}

void AccentSwatch::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = WindowStyle::accentColor(m_theme);
    const QRectF disc((width() - m_diameter) / 2.0, (height() - m_diameter) / 2.0, m_diameter,
                      m_diameter);
    const double shown = selection();
    if (!m_glow)
        paintShadow(painter, disc, Qt::black, 0.33, 2.0);
    else if (shown > 0)
        paintShadow(painter, disc, color, 0.4 * shown, 4.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(disc);
    if (shown > 0) {
        const double ring = 2.5 * shown;
        painter.setPen(QPen(Qt::white, ring));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(disc.adjusted(ring / 2, ring / 2, -ring / 2, -ring / 2));
    }
}

void AccentSwatch::paintShadow(QPainter &painter, const QRectF &disc, QColor color, double opacity,
                               double blur)
{
    // The disc's shadow blurred by `blur` pixels, without offset: its edge is smeared out as by a
    // Gaussian of half that width, so the shadow is strongest at the disc and fades to nothing.
    const double sigma = blur / 2;
    const double radius = disc.width() / 2;
    QRadialGradient gradient(disc.center(), radius + blur);
    for (int step = 0; step <= 8; ++step) {
        const double r = radius - blur + step * blur / 4;
        const double reach =
            r >= radius + blur ? 0.0 : 0.5 * std::erfc((r - radius) / sigma / M_SQRT2);
        color.setAlphaF(float(opacity * reach));
        gradient.setColorAt(std::max(0.0, r) / (radius + blur), color);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(gradient);
    painter.drawEllipse(disc.center(), radius + blur, radius + blur);
}

QWidget *makeAccentSwatches(SettingsStore &store, int diameter, int spacing, bool glow)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    const auto clicking = std::make_shared<bool>(false);
    for (const AccentTheme theme : allCases<AccentTheme>()) {
        auto *swatch = new AccentSwatch(theme, diameter, glow);
        bindChoice(
            store, &SettingsStore::accentThemeChanged, swatch,
            [&store, theme] { return store.accentTheme() == theme; },
            [&store, theme] { store.setAccentTheme(theme); }, clicking);
        layout->addWidget(swatch);
    }
    return row;
}

void bindTrayButtonSwitch(SwitchButton *toggle, SettingsStore &store, TrayButtonID button)
{
    const auto show = [toggle, &store, button] {
        toggle->setChecked(store.isTrayButtonEnabled(button));
    };
    followSetting(store, &SettingsStore::disabledTrayButtonsChanged, toggle, show);
    followAccent(store, toggle, [toggle](const QColor &c) { toggle->setAccent(c); });
    QObject::connect(toggle, &QAbstractButton::toggled, &store, [toggle, &store, show, button] {
        store.toggleTrayButton(button);
        // The switch always ends on what the store holds, whatever the toggle did.
        const QSignalBlocker blocker(toggle);
        show();
    });
}

QSpinBox *makeQueueStepper(SettingsStore &store)
{
    auto *stepper = new QSpinBox;
    stepper->setRange(1, 16);
    stepper->setSingleStep(1);
    stepper->setAccessibleName(QStringLiteral("Max Queue Items"));
    stepper->setKeyboardTracking(false);
    stepper->setPalette(WindowStyle::darkPalette());
    // A capacity above the stepper's range (set by hand in the file) is in effect, so the
    // stepper shows it and steps down from it.
    followSetting(store, &SettingsStore::maxQueueCapacityChanged, stepper, [stepper, &store] {
        const int stored = store.maxQueueCapacity();
        const int shown = stored > 0 ? stored : SettingDefaults::maxQueueCapacity();
        stepper->setMaximum(std::max(16, shown));
        stepper->setValue(shown);
    });
    QObject::connect(stepper, &QSpinBox::valueChanged, &store,
                     [&store](int value) { store.setMaxQueueCapacity(value); });
    return stepper;
}

StagingPage::StagingPage(SettingsStore &store, QWidget *parent) : QWidget(parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(32, 32, 32, 32);
    page->setSpacing(24);
    page->addWidget(makePageHeader(
        QStringLiteral("Staging & Clipboard"),
        QStringLiteral("Control how captures are kept in memory before committing to disk.")));

    auto *card = new QVBoxLayout;
    card->setSpacing(16);
    card->addWidget(makeSectionTitle(QStringLiteral("Clipboard & Staging")));
    ToggleRow autoCopy =
        makeToggleRow(QStringLiteral("doc.on.clipboard"),
                      QStringLiteral("Auto-copy to clipboard immediately upon capture"),
                      QStringLiteral("Place screenshots onto the clipboard right after capture."));
    bindSwitch(autoCopy.toggle, store, &SettingsStore::autoCopyOnCapture,
               &SettingsStore::setAutoCopyOnCapture, &SettingsStore::autoCopyOnCaptureChanged);
    card->addWidget(autoCopy.widget);
    card->addWidget(makeDivider());
    ToggleRow removes = makeToggleRow(
        QStringLiteral("trash.circle"), QStringLiteral("Copying removes capture from staging"),
        QStringLiteral("Remove the capture item from the tray when copied."));
    bindSwitch(removes.toggle, store, &SettingsStore::copyRemovesCapture,
               &SettingsStore::setCopyRemovesCapture, &SettingsStore::copyRemovesCaptureChanged);
    card->addWidget(removes.widget);
    card->addWidget(makeDivider());
    card->addWidget(makeDivider());
    card->addWidget(
        makeControlRow(QStringLiteral("number.square"), QStringLiteral("Max Queue Items"),
                       QStringLiteral("Maximum number of captures to hold simultaneously."),
                       makeQueueStepper(store)));
    page->addWidget(makeCard(card, 20));
    page->addStretch(1);
}

namespace {

QWidget *labelledRow(const QString &title, const std::optional<QString> &subtitle, QWidget *control,
                     int controlWidth)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(makeTextColumn(title, subtitle), 1);
    if (controlWidth > 0)
        control->setFixedWidth(controlWidth);
    layout->addWidget(control);
    return row;
}

QWidget *section(const QString &title, const QList<QWidget *> &rows, int spacing)
{
    auto *column = new QWidget;
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addWidget(makeSectionTitle(title));
    auto *card = new QVBoxLayout;
    card->setSpacing(spacing);
    for (QWidget *row : rows)
        card->addWidget(row);
    layout->addWidget(makeCard(card));
    return column;
}

// Two buttons side by side, one per tray size, the chosen one highlighted.
QWidget *makeSizeSegments(SettingsStore &store)
{
    auto *segments = new QWidget;
    auto *layout = new QHBoxLayout(segments);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    for (const TraySize size : allCases<TraySize>()) {
        auto *segment = new QPushButton(rawValue(size));
        segment->setCheckable(true);
        segment->setAccessibleName(rawValue(size));
        segment->setAutoExclusive(false);
        layout->addWidget(segment, 1);
        followSetting(store, &SettingsStore::traySizeChanged, segment,
                      [segment, &store, size] { segment->setChecked(store.traySize() == size); });
        followAccent(store, segment, [segment](const QColor &accent) {
            segment->setStyleSheet(
                QStringLiteral("QPushButton:checked { background: %1; }").arg(accent.name()));
        });
        QObject::connect(segment, &QPushButton::clicked, &store, [segment, &store, size] {
            store.setTraySize(size);
            const QSignalBlocker blocker(segment);
            segment->setChecked(store.traySize() == size);
        });
    }
    return segments;
}

struct TrayButtonRow {
    TrayButtonID id;
    const char *symbol;
    const char *title;
};

} // namespace

const QList<CaptureButtonSetting> &captureButtonSettings()
{
    static const QList<CaptureButtonSetting> list = {
        {"display", "Full Screen", &SettingsStore::showFullScreenButton,
         &SettingsStore::setShowFullScreenButton, &SettingsStore::showFullScreenButtonChanged},
        {"crop", "Area Selection", &SettingsStore::showAreaButton,
         &SettingsStore::setShowAreaButton, &SettingsStore::showAreaButtonChanged},
        {"macwindow", "Window Capture", &SettingsStore::showWindowButton,
         &SettingsStore::setShowWindowButton, &SettingsStore::showWindowButtonChanged},
        {"record.circle", "Screen Recording", &SettingsStore::showRecordButton,
         &SettingsStore::setShowRecordButton, &SettingsStore::showRecordButtonChanged},
    };
    return list;
}

QWidget *makeTraySizeSegments(SettingsStore &store)
{
    return makeSizeSegments(store);
}

AppearancePage::AppearancePage(SettingsStore &store, QWidget *parent) : QWidget(parent)
{
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(32, 32, 32, 32);
    page->setSpacing(22);
    page->addWidget(
        makePageHeader(QStringLiteral("Appearance"),
                       QStringLiteral("Customize tray placement, materials, and accent colors.")));

    QComboBox *position =
        makeEnumPicker(store, &SettingsStore::trayPosition, &SettingsStore::setTrayPosition,
                       &SettingsStore::trayPositionChanged);
    position->setAccessibleName(QStringLiteral("Tray Position"));
    QWidget *footprint = makeSizeSegments(store);
    page->addWidget(section(
        QStringLiteral("Tray Placement & Size"),
        {labelledRow(QStringLiteral("Tray Position"), std::nullopt, position, 220), makeDivider(),
         labelledRow(QStringLiteral("Tray Footprint"),
                     QStringLiteral("Controls the compact preview size at the top of the screen."),
                     footprint, 240)},
        16));

    QComboBox *material =
        makeEnumPicker(store, &SettingsStore::trayMaterial, &SettingsStore::setTrayMaterial,
                       &SettingsStore::trayMaterialChanged);
    material->setAccessibleName(QStringLiteral("Backdrop Material"));
    page->addWidget(section(
        QStringLiteral("Styling & Materials"),
        {labelledRow(QStringLiteral("Backdrop Material"),
                     QStringLiteral("Blur effect rendered behind the tray."), material, 220),
         makeDivider(),
         labelledRow(QStringLiteral("Theme Accent Color"),
                     QStringLiteral("Highlight color for active buttons and selections."),
                     makeAccentSwatches(store, 24, 12, true), 0)},
        16));

    const TrayButtonRow buttons[] = {
        {TrayButtonID::copy, "doc.on.clipboard", "Copy to Clipboard"},
        {TrayButtonID::save, "arrow.down.to.line.compact", "Save to Disk"},
        {TrayButtonID::open, "arrow.up.right.square", "Open Preview"},
        {TrayButtonID::annotate, "pencil.tip.crop.circle", "Annotate & Markup"},
        {TrayButtonID::ocr, "text.viewfinder", "Recognize Text (OCR)"},
        {TrayButtonID::pin, "pin", "Pin to Desktop"},
        {TrayButtonID::delete_, "trash", "Delete Capture"},
    };
    QList<QWidget *> rows;
    for (const TrayButtonRow &button : buttons) {
        if (!rows.isEmpty())
            rows << makeDivider();
        ToggleRow row = makeToggleRow(QString::fromLatin1(button.symbol),
                                      QString::fromUtf8(button.title), std::nullopt);
        bindTrayButtonSwitch(row.toggle, store, button.id);
        rows << row.widget;
    }
    page->addWidget(section(QStringLiteral("Visible Action Buttons"), rows, 12));

    QList<QWidget *> captureRows;
    for (const CaptureButtonSetting &button : captureButtonSettings()) {
        if (!captureRows.isEmpty())
            captureRows << makeDivider();
        ToggleRow row = makeToggleRow(QString::fromLatin1(button.symbol),
                                      QString::fromUtf8(button.title), std::nullopt);
        row.toggle->setAccessibleName(button.accessibleName());
        bindSwitch(row.toggle, store, button.get, button.set, button.changed);
        captureRows << row.widget;
    }
    page->addWidget(section(QStringLiteral("Visible Capture Buttons"), captureRows, 12));
    page->addStretch(1);
}
