#include "windows/SettingsWindow.h"

#include "capture/PermissionManager.h"
#include "model/SettingsStore.h"
#include "windows/ControlInput.h"
#include "windows/HotkeyProblemLabel.h"
#include "windows/HotkeysPage.h"
#include "windows/PageBlocks.h"
#include "windows/PinSettingsPage.h"
#include "windows/TrayPages.h"
#include "windows/WindowSymbols.h"

#include <QButtonGroup>
#include <QCursor>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

// A form in the grouped style: titled sections, each a card of rows.
class GroupedForm {
public:
    GroupedForm() : m_page(new QWidget), m_layout(new QVBoxLayout(m_page))
    {
        m_layout->setContentsMargins(16, 16, 16, 16);
        m_layout->setSpacing(8);
    }
    void section(const QString &title)
    {
        if (m_card)
            m_layout->addSpacing(10);
        QLabel *heading = makeLabel(title, 12, QFont::DemiBold, true);
        m_layout->addWidget(heading);
        m_card = new QVBoxLayout;
        m_card->setSpacing(10);
        m_layout->addWidget(makeCard(m_card, 12));
        m_rows = 0;
    }
    void row(QWidget *widget)
    {
        if (m_rows++ > 0)
            m_card->addWidget(makeDivider(0.08));
        m_card->addWidget(widget);
    }
    // A label (over a secondary line, when given) on the left and a control on the right.
    QWidget *labelled(const QString &label, QWidget *control,
                      const std::optional<QString> &line = std::nullopt)
    {
        auto *row = new QWidget;
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        if (line)
            layout->addWidget(makeTextColumn(label, line), 1);
        else
            layout->addWidget(makeLabel(label, 13), 1);
        if (control->accessibleName().isEmpty())
            control->setAccessibleName(label);
        layout->addWidget(control);
        this->row(row);
        return row;
    }
    QWidget *finish()
    {
        m_layout->addStretch(1);
        return makeScrollPage(m_page);
    }

private:
    QWidget *m_page;
    QVBoxLayout *m_layout;
    QVBoxLayout *m_card = nullptr;
    int m_rows = 0;
};

SwitchButton *boundSwitch(SettingsStore &store, bool (SettingsStore::*get)() const,
                          void (SettingsStore::*set)(bool), void (SettingsStore::*changed)(bool))
{
    auto *toggle = new SwitchButton;
    bindSwitch(toggle, store, get, set, changed);
    return toggle;
}

} // namespace

const QList<QPair<QString, double>> &SettingsWindow::autoDismissOptions()
{
    static const QList<QPair<QString, double>> options = {
        {QStringLiteral("Keep until dismissed (Never)"), 0},
        {QStringLiteral("5 seconds"), 5},
        {QStringLiteral("8 seconds"), 8},
        {QStringLiteral("15 seconds"), 15},
        {QStringLiteral("30 seconds"), 30},
    };
    return options;
}

SettingsWindow::SettingsWindow(const WindowServices &services, QWidget *parent)
    : QWidget(parent, Qt::Window), m_services(services)
{
    setWindowTitle(QStringLiteral("Settings"));
    setObjectName(QStringLiteral("corvantaSettingsWindow"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint | Qt::CustomizeWindowHint);
    setFixedSize(width, height);

    m_tabs = new QTabWidget;
    WindowStyle::applyDarkLook(this, m_tabs);
    m_tabs->setUsesScrollButtons(false);
    m_tabs->tabBar()->setIconSize(QSize(14, 14));
    m_tabs->tabBar()->setExpanding(false);
    const auto icon = [](const QString &symbol) {
        QPixmap pixmap(32, 32);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paintSymbol(painter, symbol, QRectF(4, 4, 24, 24), Qt::white, 1.6);
        return QIcon(pixmap);
    };
    m_tabs->addTab(makeWorkflowTab(), icon(QStringLiteral("sparkles")), QStringLiteral("Workflow"));
    m_tabs->addTab(makeAppearanceTab(), icon(QStringLiteral("paintpalette")),
                   QStringLiteral("Appearance"));
    m_tabs->addTab(makeShortcutsTab(), icon(QStringLiteral("keyboard")),
                   QStringLiteral("Shortcuts"));
    m_tabs->addTab(makeGeneralTab(), icon(QStringLiteral("gearshape")), QStringLiteral("General"));
    m_tabs->addTab(new PinSettingsPage(m_services), icon(QStringLiteral("pin.fill")),
                   QStringLiteral("Pins"));

    // The tabs use the whole window; a tab longer than the window scrolls.
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    ControlInput::install(this);
}

void SettingsWindow::present()
{
    QScreen *screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame(QPoint(), size());
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    showNormal();
    raise();
    activateWindow();
}

void SettingsWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    if (m_services.permissionManager)
        m_services.permissionManager->checkScreenCaptureAccess();
    m_services.settings->refreshLaunchAtLoginStatus();
}

QWidget *SettingsWindow::makeWorkflowTab()
{
    SettingsStore &store = *m_services.settings;
    GroupedForm form;
    form.section(QStringLiteral("Workflow Presets"));
    // The picker applies the preset's whole bundle, and only when the choice changes.
    QComboBox *preset = makeEnumPicker<WorkflowPreset>(store, &SettingsStore::workflowPreset,
                                                       &SettingsStore::workflowPresetChanged,
                                                       [&store](WorkflowPreset chosen) {
                                                           if (chosen != store.workflowPreset())
                                                               store.applyWorkflowPreset(chosen);
                                                       });
    preset->setAccessibleName(QStringLiteral("Active Preset"));
    form.labelled(QStringLiteral("Active Preset"), preset);
    QLabel *caption = makeLabel({}, 11, QFont::Normal, true);
    caption->setObjectName(QStringLiteral("presetCaption"));
    followSetting(store, &SettingsStore::workflowPresetChanged, caption,
                  [caption, &store] { caption->setText(::caption(store.workflowPreset())); });
    form.row(caption);

    form.section(QStringLiteral("Staging & Clipboard"));
    form.labelled(QStringLiteral("Auto-pin every capture to desktop"),
                  boundSwitch(store, &SettingsStore::autoPinEnabled,
                              &SettingsStore::setAutoPinEnabled,
                              &SettingsStore::autoPinEnabledChanged))
        ->setToolTip(
            QStringLiteral("If enabled, every screenshot you take will automatically spawn "
                           "as a floating desktop pin."));
    form.labelled(QStringLiteral("Auto-copy to clipboard immediately upon capture"),
                  boundSwitch(store, &SettingsStore::autoCopyOnCapture,
                              &SettingsStore::setAutoCopyOnCapture,
                              &SettingsStore::autoCopyOnCaptureChanged))
        ->setToolTip(QStringLiteral("If enabled, screenshots are placed on the clipboard right "
                                    "after capture while remaining staged."));
    form.labelled(QStringLiteral("Copying removes capture from staging"),
                  boundSwitch(store, &SettingsStore::copyRemovesCapture,
                              &SettingsStore::setCopyRemovesCapture,
                              &SettingsStore::copyRemovesCaptureChanged))
        ->setToolTip(
            QStringLiteral("When enabled, pressing copy removes the capture from the tray."));

    QSpinBox *stepper = makeQueueStepper(store);
    QWidget *queueRow = form.labelled({}, stepper);
    auto *queueLabel = queueRow->findChild<QLabel *>();
    followSetting(
        store, &SettingsStore::maxQueueCapacityChanged, queueLabel, [queueLabel, stepper] {
            queueLabel->setText(QStringLiteral("Max Queue Items: %1").arg(stepper->value()));
        });
    connect(stepper, &QSpinBox::valueChanged, queueLabel, [queueLabel](int value) {
        queueLabel->setText(QStringLiteral("Max Queue Items: %1").arg(value));
    });

    auto *dismiss = new QComboBox;
    dismiss->setAccessibleName(QStringLiteral("Auto-Dismiss Tray"));
    for (const auto &[label, seconds] : autoDismissOptions())
        dismiss->addItem(label, seconds);
    followSetting(store, &SettingsStore::autoHideDelayChanged, dismiss, [dismiss, &store] {
        int index = -1;
        for (int i = 0; i < autoDismissOptions().size(); ++i) {
            if (autoDismissOptions()[i].second == store.autoHideDelay())
                index = i;
        }
        dismiss->setCurrentIndex(index);
    });
    connect(dismiss, &QComboBox::activated, &store,
            [&store](int index) { store.setAutoHideDelay(autoDismissOptions()[index].second); });
    form.labelled(QStringLiteral("Auto-Dismiss Tray"), dismiss);
    return form.finish();
}

QWidget *SettingsWindow::makeAppearanceTab()
{
    SettingsStore &store = *m_services.settings;
    GroupedForm form;
    form.section(QStringLiteral("Tray Placement & Size"));
    QComboBox *position =
        makeEnumPicker(store, &SettingsStore::trayPosition, &SettingsStore::setTrayPosition,
                       &SettingsStore::trayPositionChanged);
    position->setAccessibleName(QStringLiteral("Tray Position"));
    form.labelled(QStringLiteral("Tray Position"), position);
    QWidget *footprint = makeTraySizeSegments(store);
    footprint->setFixedWidth(220);
    form.labelled(QStringLiteral("Tray Footprint"), footprint);

    form.section(QStringLiteral("Styling & Materials"));
    QComboBox *material =
        makeEnumPicker(store, &SettingsStore::trayMaterial, &SettingsStore::setTrayMaterial,
                       &SettingsStore::trayMaterialChanged);
    material->setAccessibleName(QStringLiteral("Backdrop Material"));
    form.labelled(QStringLiteral("Backdrop Material"), material);
    form.labelled(QStringLiteral("Accent Theme"), makeAccentSwatches(store, 20, 8, false));

    form.section(QStringLiteral("Visible Tray Actions"));
    const std::pair<TrayButtonID, const char *> buttons[] = {
        {TrayButtonID::copy, "Copy to Clipboard"},   {TrayButtonID::save, "Save to Disk"},
        {TrayButtonID::open, "Open Preview"},        {TrayButtonID::annotate, "Annotate & Markup"},
        {TrayButtonID::ocr, "Recognize Text (OCR)"}, {TrayButtonID::pin, "Pin to Desktop"},
        {TrayButtonID::delete_, "Delete Capture"},
    };
    for (const auto &[id, label] : buttons) {
        auto *toggle = new SwitchButton;
        toggle->setAccessibleName(QString::fromUtf8(label));
        bindTrayButtonSwitch(toggle, store, id);
        form.labelled(QString::fromUtf8(label), toggle);
    }

    form.section(QStringLiteral("Visible Capture Buttons"));
    for (const CaptureButtonSetting &button : captureButtonSettings()) {
        SwitchButton *toggle = boundSwitch(store, button.get, button.set, button.changed);
        toggle->setAccessibleName(button.accessibleName());
        form.labelled(QString::fromUtf8(button.title), toggle);
    }
    return form.finish();
}

QWidget *SettingsWindow::makeShortcutsTab()
{
    SettingsStore &store = *m_services.settings;
    GroupedForm form;
    form.section(QStringLiteral("Global Hotkeys"));
    auto *schemes = new QWidget;
    auto *schemeLayout = new QVBoxLayout(schemes);
    schemeLayout->setContentsMargins(0, 0, 0, 0);
    schemeLayout->addWidget(makeLabel(QStringLiteral("Hotkey Scheme"), 13));
    auto *group = new QButtonGroup(schemes);
    auto *problem = new HotkeyProblemLabel;
    for (const ShortcutScheme scheme : allCases<ShortcutScheme>()) {
        auto *radio = new QRadioButton(displayName(scheme));
        followAccent(store, radio, [radio](const QColor &accent) {
            radio->setStyleSheet(
                QStringLiteral("QRadioButton { color: white; }"
                               "QRadioButton::indicator { width: 14px; height: 14px;"
                               " border-radius: 8px; border: 1px solid rgba(255,255,255,110); }"
                               "QRadioButton::indicator:checked { width: 8px; height: 8px;"
                               " background: white; border: 4px solid %1; }")
                    .arg(accent.name()));
        });
        group->addButton(radio, int(scheme));
        schemeLayout->addWidget(radio);
        followSetting(store, &SettingsStore::shortcutSchemeChanged, radio, [radio, &store, scheme] {
            radio->setChecked(store.shortcutScheme() == scheme);
        });
        // The program registers the hot keys again when the scheme changes; the tab only shows
        // what the registrations say.
        connect(radio, &QRadioButton::clicked, this,
                [&store, scheme] { store.setShortcutScheme(scheme); });
    }
    followHotkeyProblem(m_services, problem);
    form.row(schemes);

    auto *shown = new QWidget;
    auto *shownLayout = new QVBoxLayout(shown);
    shownLayout->setContentsMargins(0, 4, 0, 4);
    shownLayout->setSpacing(6);
    const QString labels[] = {QStringLiteral("Full Display:"), QStringLiteral("Selected Area:"),
                              QStringLiteral("Window:")};
    for (int i = 0; i < 3; ++i) {
        auto *row = new QHBoxLayout;
        row->addWidget(makeLabel(labels[i], 11, QFont::Normal, true));
        QLabel *value = makeLabel({}, 13);
        value->setFont(WindowStyle::font(13, QFont::Normal, true));
        value->setObjectName(QStringLiteral("schemeShortcut%1").arg(i));
        followSetting(store, &SettingsStore::shortcutSchemeChanged, value, [value, &store, i] {
            const ShortcutDefinition::ShortcutSet set =
                ShortcutDefinition::shortcuts(store.shortcutScheme());
            const ShortcutDefinition *members[] = {&set.fullDisplay, &set.area, &set.window};
            value->setText(shortcutDisplayText(members[i]->displayString));
        });
        row->addWidget(value);
        row->addStretch(1);
        shownLayout->addLayout(row);
    }
    shownLayout->addWidget(problem);
    form.row(shown);

    form.section(QStringLiteral("Audio Feedback"));
    form.labelled(QStringLiteral("Play sound effects on capture and actions"),
                  boundSwitch(store, &SettingsStore::soundEffectsEnabled,
                              &SettingsStore::setSoundEffectsEnabled,
                              &SettingsStore::soundEffectsEnabledChanged));
    auto *haptics = new SwitchButton;
    showUnavailable(haptics, UnavailableReason::haptics());
    form.labelled(QStringLiteral("Haptic feedback on capture and actions"), haptics,
                  UnavailableReason::haptics());
    return form.finish();
}

QWidget *SettingsWindow::makeGeneralTab()
{
    SettingsStore &store = *m_services.settings;
    GroupedForm form;
    form.section(QStringLiteral("System"));
    auto *launch = new SwitchButton;
    launch->setAccessibleName(QStringLiteral("Launch Corvanta at Login"));
    const auto showLaunch = [launch, &store] { launch->setChecked(store.launchAtLogin()); };
    followSetting(store, &SettingsStore::launchAtLoginChanged, launch, showLaunch);
    followAccent(store, launch, [launch](const QColor &c) { launch->setAccent(c); });
    connect(launch, &QAbstractButton::toggled, &store, [launch, &store, showLaunch](bool on) {
        store.updateLaunchAtLogin(on);
        // After a refusal the switch goes back to the login item's real state.
        const QSignalBlocker blocker(launch);
        showLaunch();
    });
    form.labelled(QStringLiteral("Launch Corvanta at Login"), launch);

    form.section(QStringLiteral("Permissions"));
    auto *permission = new QWidget;
    auto *permissionLayout = new QHBoxLayout(permission);
    permissionLayout->setContentsMargins(0, 0, 0, 0);
    auto *symbol = new SymbolView(QStringLiteral("exclamationmark.triangle.fill"), 18, QColor());
    QLabel *status = makeLabel({}, 13);
    status->setObjectName(QStringLiteral("permissionStatus"));
    const auto showPermission = [this, symbol, status] {
        const bool granted =
            m_services.permissionManager && m_services.permissionManager->hasScreenCaptureAccess();
        const QColor color = granted ? QColor(48, 209, 88) : QColor(255, 214, 10);
        symbol->setName(granted ? QStringLiteral("checkmark.circle.fill")
                                : QStringLiteral("exclamationmark.triangle.fill"));
        symbol->setColor(color);
        status->setText(granted ? QStringLiteral("Screen Capture Allowed")
                                : QStringLiteral("Screen Capture Not Allowed"));
        status->setStyleSheet(QStringLiteral("color: %1;").arg(color.name()));
    };
    showPermission();
    if (m_services.permissionManager)
        connect(m_services.permissionManager, &PermissionManager::hasScreenCaptureAccessChanged,
                status, showPermission);
    permissionLayout->addWidget(symbol);
    auto *statusTexts = new QVBoxLayout;
    statusTexts->setSpacing(2);
    statusTexts->addWidget(status);
    permissionLayout->addLayout(statusTexts, 1);
    auto *openSettings = new QPushButton(QStringLiteral("Open Desktop Settings"));
    openSettings->setAccessibleName(openSettings->text());
    if (m_services.permissionManager &&
        m_services.permissionManager->canOpenScreenRecordingSettings()) {
        connect(openSettings, &QPushButton::clicked, this,
                [this] { m_services.permissionManager->openScreenRecordingSettings(); });
    } else {
        showUnavailable(openSettings, UnavailableReason::captureSettings());
        QLabel *reason = makeLabel(UnavailableReason::captureSettings(), 11, QFont::Normal, true);
        reason->setWordWrap(true);
        statusTexts->addWidget(reason);
    }
    permissionLayout->addWidget(openSettings);
    form.row(permission);

    form.section(QStringLiteral("About Corvanta"));
    auto *about = new QWidget;
    auto *aboutLayout = new QHBoxLayout(about);
    aboutLayout->setContentsMargins(0, 4, 0, 4);
    aboutLayout->setSpacing(14);
    aboutLayout->addWidget(new AppLogoView(44, 10));
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(makeLabel(QStringLiteral("Corvanta"), 15, QFont::DemiBold));
    texts->addWidget(makeLabel(QStringLiteral("Version 1.0.0"), 11, QFont::Normal, true));
    QLabel *tagline = makeLabel(QStringLiteral("Whisper-light screenshot staging for Linux"), 10);
    tagline->setStyleSheet(QStringLiteral("color: rgba(235,235,245,77);"));
    texts->addWidget(tagline);
    aboutLayout->addLayout(texts, 1);
    form.row(about);
    return form.finish();
}
