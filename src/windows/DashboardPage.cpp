#include "windows/DashboardPage.h"

#include "model/SettingsStore.h"
#include "windows/PageBlocks.h"
#include "windows/RoomFitter.h"
#include "windows/WindowSymbols.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

CaptureCardButton::CaptureCardButton(Card card, QWidget *parent)
    : AccentButton(parent), m_card(std::move(card))
{
    setAccessibleName(m_card.title);
    setText(m_card.title);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

const QList<CaptureCardButton::Card> &CaptureCardButton::cards()
{
    static const QList<Card> list = {
        {CaptureCard::fullScreen,
         QStringLiteral("Full Screen"),
         QStringLiteral("Capture entire display"),
         QStringLiteral("display"),
         {}},
        {CaptureCard::area,
         QStringLiteral("Area Selection"),
         QStringLiteral("Drag to select region"),
         QStringLiteral("crop"),
         {}},
        {CaptureCard::window,
         QStringLiteral("Window Capture"),
         QStringLiteral("Hover & select window"),
         QStringLiteral("macwindow"),
         {}},
        {CaptureCard::recording, QStringLiteral("Screen Recording"),
         QStringLiteral("Video capture (MP4)"), QStringLiteral("record.circle"),
         QStringLiteral("Video")},
    };
    return list;
}

void CaptureCardButton::setShortcut(const QString &shortcut)
{
    m_shortcut = shortcut;
    update();
}

QSize CaptureCardButton::sizeHint() const
{
    return QSize(150, 132);
}

QSize CaptureCardButton::minimumSizeHint() const
{
    return QSize(110, 132);
}

void CaptureCardButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintChoiceCard(painter, {.radius = 12,
                              .selectedFill = 0.10,
                              .selectedOutline = 0.6,
                              .selectedLineWidth = 1.5,
                              .outline = 0.08});

    const double left = 14;
    double top = 14;
    painter.setPen(Qt::NoPen);
    painter.setBrush(isSelected() ? accent(0.25) : WindowStyle::white(0.08));
    painter.drawEllipse(QRectF(left, top, 34, 34));
    paintSymbol(painter, m_card.symbol, QRectF(left + 9, top + 9, 16, 16),
                isSelected() ? accent() : QColor(Qt::white), 1.5);
    if (!m_card.badge.isEmpty()) {
        const QFont badgeFont = WindowStyle::font(9, QFont::Bold);
        const double badgeWidth = QFontMetricsF(badgeFont).horizontalAdvance(m_card.badge) + 10;
        const QRectF badge(width() - 14 - badgeWidth, top + 9, badgeWidth, 16);
        QColor red(255, 69, 58);
        QColor redFill = red;
        redFill.setAlphaF(0.18f);
        painter.setBrush(redFill);
        painter.drawRoundedRect(badge, 8, 8);
        painter.setPen(red);
        painter.setFont(badgeFont);
        painter.drawText(badge, Qt::AlignCenter, m_card.badge);
    }
    top += 34 + 10;
    painter.setPen(Qt::white);
    painter.setFont(WindowStyle::font(13, QFont::DemiBold));
    painter.drawText(QRectF(left, top, width() - 2 * left, 18), Qt::AlignLeft | Qt::AlignVCenter,
                     m_card.title);
    top += 18 + 2;
    painter.setPen(WindowStyle::secondaryText());
    const QFont subtitleFont = WindowStyle::font(10);
    painter.setFont(subtitleFont);
    painter.drawText(QRectF(left, top, width() - 2 * left, 14), Qt::AlignLeft | Qt::AlignVCenter,
                     QFontMetrics(subtitleFont)
                         .elidedText(m_card.subtitle, Qt::ElideRight, width() - 2 * int(left)));
    top += 14 + 10;
    const QFont shortcutFont = WindowStyle::font(11, QFont::Medium, true);
    const QRectF chip(left, top, QFontMetricsF(shortcutFont).horizontalAdvance(m_shortcut) + 12,
                      18);
    painter.setPen(Qt::NoPen);
    painter.setBrush(WindowStyle::white(0.06));
    painter.drawRoundedRect(chip, 4, 4);
    painter.setPen(WindowStyle::secondaryText());
    painter.setFont(shortcutFont);
    painter.drawText(chip, Qt::AlignCenter, m_shortcut);
}

namespace {

struct OptionRow {
    const char *symbol;
    const char *title;
    const char *subtitle;
    bool (SettingsStore::*get)() const;
    void (SettingsStore::*set)(bool);
    void (SettingsStore::*changed)(bool);
};

QString shortcutOf(const ShortcutDefinition::ShortcutSet &set, CaptureCard card)
{
    switch (card) {
    case CaptureCard::fullScreen:
        return set.fullDisplay.displayString;
    case CaptureCard::area:
        return set.area.displayString;
    case CaptureCard::window:
        return set.window.displayString;
    case CaptureCard::recording:
        return set.record.displayString;
    }
    return {};
}

// A row of a symbol, the text column and a pop-up at the trailing end.
QWidget *makePickerRow(const QString &symbol, const QString &title, QComboBox *picker)
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);
    layout->addWidget(new SymbolView(symbol, 20, WindowStyle::secondaryText()));
    layout->addWidget(makeTextColumn(title, std::nullopt), 1);
    picker->setAccessibleName(title);
    picker->setMinimumWidth(150);
    layout->addWidget(picker);
    return row;
}

QWidget *makeBoundToggleRow(SettingsStore &store, const OptionRow &row)
{
    const std::optional<QString> subtitle =
        row.subtitle ? std::optional(QString::fromUtf8(row.subtitle)) : std::nullopt;
    ToggleRow toggleRow =
        makeToggleRow(QString::fromLatin1(row.symbol), QString::fromUtf8(row.title), subtitle);
    bindSwitch(toggleRow.toggle, store, row.get, row.set, row.changed);
    return toggleRow.widget;
}

// The frame-rate pop-up: the stored rate as the recorder will use it, no entry when that is none
// of the offered rates, and only a user's pick is written.
QComboBox *makeFrameRatePicker(SettingsStore &store)
{
    auto *picker = new QComboBox;
    for (const int rate : DashboardPage::frameRates())
        picker->addItem(QStringLiteral("%1 fps").arg(rate), rate);
    followSetting(store, &SettingsStore::recordingFrameRateChanged, picker, [picker, &store] {
        picker->setCurrentIndex(picker->findData(sanitizedFrameRate(store.recordingFrameRate())));
    });
    QObject::connect(picker, &QComboBox::activated, &store, [picker, &store](int index) {
        store.setRecordingFrameRate(picker->itemData(index).toInt());
    });
    return picker;
}

QVBoxLayout *makeColumn(const QString &title)
{
    auto *column = new QVBoxLayout;
    column->setSpacing(14);
    column->addWidget(makeLabel(title, 12, QFont::DemiBold, true));
    return column;
}

} // namespace

const QList<int> &DashboardPage::frameRates()
{
    static const QList<int> rates = {15, 24, 30, 60};
    return rates;
}

QLayout *DashboardPage::makeOutputSection(SettingsStore &store, QList<QBoxLayout *> &sideBySide)
{
    auto *section = new QVBoxLayout;
    section->setSpacing(14);
    section->addWidget(makeSectionTitle(QStringLiteral("Screenshots & Recording")));
    auto *columns = new QHBoxLayout;
    columns->setSpacing(32);
    sideBySide << columns;

    QVBoxLayout *shots = makeColumn(QStringLiteral("Screenshots"));
    shots->addWidget(makePickerRow(QStringLiteral("photo"), QStringLiteral("Image format"),
                                   makeEnumPicker(store, &SettingsStore::exportFormat,
                                                  &SettingsStore::setExportFormat,
                                                  &SettingsStore::exportFormatChanged)));
    shots->addWidget(makeBoundToggleRow(
        store, {"macwindow", "Include window shadow", "Soft shadow around captured windows.",
                &SettingsStore::includeWindowShadow, &SettingsStore::setIncludeWindowShadow,
                &SettingsStore::includeWindowShadowChanged}));
    ToggleRow haptics =
        makeToggleRow(QStringLiteral("hand.raised"), QStringLiteral("Haptic feedback"),
                      UnavailableReason::haptics());
    showUnavailable(haptics.toggle, UnavailableReason::haptics());
    shots->addWidget(haptics.widget);
    shots->addStretch(1);
    columns->addLayout(shots, 1);

    QVBoxLayout *recording = makeColumn(QStringLiteral("Recording"));
    recording->addWidget(
        makePickerRow(QStringLiteral("record.circle"), QStringLiteral("Recording format"),
                      makeEnumPicker(store, &SettingsStore::recordingExportFormat,
                                     &SettingsStore::setRecordingExportFormat,
                                     &SettingsStore::recordingExportFormatChanged)));
    recording->addWidget(makePickerRow(QStringLiteral("timer"), QStringLiteral("Frame rate"),
                                       makeFrameRatePicker(store)));
    recording->addWidget(makePickerRow(QStringLiteral("display"), QStringLiteral("Resolution"),
                                       makeEnumPicker(store, &SettingsStore::recordingResolution,
                                                      &SettingsStore::setRecordingResolution,
                                                      &SettingsStore::recordingResolutionChanged)));
    recording->addWidget(makeBoundToggleRow(
        store, {"speaker.wave.2", "Record sound", "Microphone and system sound, in one track.",
                &SettingsStore::recordMicrophoneAudio, &SettingsStore::setRecordMicrophoneAudio,
                &SettingsStore::recordMicrophoneAudioChanged}));
    recording->addWidget(
        makeBoundToggleRow(store, {"cursorarrow", "Highlight mouse clicks", nullptr,
                                   &SettingsStore::highlightMouseClicksInRecording,
                                   &SettingsStore::setHighlightMouseClicksInRecording,
                                   &SettingsStore::highlightMouseClicksInRecordingChanged}));
    recording->addStretch(1);
    columns->addLayout(recording, 1);

    section->addLayout(columns);
    return section;
}

const QStringList &DashboardPage::storageLimits()
{
    static const QStringList limits = {QStringLiteral("5 GB"), QStringLiteral("10 GB"),
                                       QStringLiteral("20 GB"), QStringLiteral("Unlimited")};
    return limits;
}

QString DashboardPage::folderName(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    if (QDir(clean).isRoot())
        return clean;

    return QFileInfo(clean).fileName();
}

QString DashboardPage::folderProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() || !info.isDir())
        return QStringLiteral("The folder “%1” no longer exists.").arg(folderName(path));
    if (!info.isWritable())
        return QStringLiteral("The folder “%1” cannot be written.").arg(folderName(path));
    return {};
}

DashboardPage::DashboardPage(const WindowServices &services, QWidget *parent)
    : QWidget(parent), m_services(services)
{
    SettingsStore &store = *m_services.settings;
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(32, 32, 32, 32);
    page->setSpacing(24);
    page->addWidget(makePageHeader(
        QStringLiteral("Dashboard"),
        QStringLiteral("Trigger captures, configure camera behavior, and manage preferences.")));

    auto *cardGrid = new QGridLayout;
    QList<QWidget *> cardButtons;
    QList<QBoxLayout *> sideBySide;
    cardGrid->setSpacing(12);
    for (const CaptureCardButton::Card &card : CaptureCardButton::cards()) {
        auto *button = new CaptureCardButton(card);
        cardGrid->addWidget(button, 0, int(cardButtons.size()));
        cardButtons << button;
        followSetting(store, &SettingsStore::selectedCaptureModeChanged, button, [button, &store] {
            button->setSelected(store.selectedCaptureMode() == button->card().title);
        });
        followSetting(store, &SettingsStore::shortcutSchemeChanged, button, [button, &store] {
            button->setShortcut(shortcutDisplayText(shortcutOf(
                ShortcutDefinition::shortcuts(store.shortcutScheme()), button->card().card)));
        });
        followAccent(store, button, [button](const QColor &accent) { button->setAccent(accent); });
        connect(button, &QAbstractButton::clicked, this,
                [this, card] { startCaptureFromCard(card.card, card.title); });
    }
    page->addLayout(cardGrid);
    page->addWidget(makeDivider(0.12));

    auto *options = new QVBoxLayout;
    options->setSpacing(14);
    options->addWidget(makeSectionTitle(QStringLiteral("Capture Options")));
    auto *columns = new QHBoxLayout;
    columns->setSpacing(32);
    sideBySide << columns;
    const OptionRow left[] = {
        {"camera", "Show capture indicator",
         "Brief animation in the tray when something is captured.",
         &SettingsStore::showCaptureIndicator, &SettingsStore::setShowCaptureIndicator,
         &SettingsStore::showCaptureIndicatorChanged},
        {"speaker.wave.2", "Play sound", "Subtle sound when capture is added.",
         &SettingsStore::soundEffectsEnabled, &SettingsStore::setSoundEffectsEnabled,
         &SettingsStore::soundEffectsEnabledChanged},
        {"cursorarrow", "Include cursor in screenshots", nullptr,
         &SettingsStore::includeCursorInScreenshot, &SettingsStore::setIncludeCursorInScreenshot,
         &SettingsStore::includeCursorInScreenshotChanged},
        {"timer", "Show countdown (3 seconds)", nullptr, nullptr, nullptr, nullptr},
        {"photo", "Open Corvanta after capture (expanded)", "Useful for reviewing immediately.",
         &SettingsStore::openCorvantaAfterCapture, &SettingsStore::setOpenCorvantaAfterCapture,
         &SettingsStore::openCorvantaAfterCaptureChanged},
    };
    const OptionRow right[] = {
        {"plus.magnifyingglass", "Show magnifier in selection",
         "Shows pixel-perfect loupe during area capture.", &SettingsStore::showMagnifierInSelection,
         &SettingsStore::setShowMagnifierInSelection,
         &SettingsStore::showMagnifierInSelectionChanged},
        {"eye.slash", "Start hidden (compact tray only)", nullptr,
         &SettingsStore::startHiddenInNotch, &SettingsStore::setStartHiddenInNotch,
         &SettingsStore::startHiddenInNotchChanged},
        {"arrow.up.and.down.and.arrow.left.and.right", "Auto-collapse when cursor leaves", nullptr,
         &SettingsStore::autoCollapseOnCursorLeave, &SettingsStore::setAutoCollapseOnCursorLeave,
         &SettingsStore::autoCollapseOnCursorLeaveChanged},
        {"gearshape", "Remember last capture mode", nullptr,
         &SettingsStore::rememberLastCaptureMode, &SettingsStore::setRememberLastCaptureMode,
         &SettingsStore::rememberLastCaptureModeChanged},
        {"arrow.triangle.2.circlepath", "Check for updates", nullptr,
         &SettingsStore::checkForUpdates, &SettingsStore::setCheckForUpdates,
         &SettingsStore::checkForUpdatesChanged},
    };
    for (const auto *rows : {left, right}) {
        auto *column = new QVBoxLayout;
        column->setSpacing(14);
        for (int i = 0; i < 5; ++i) {
            const OptionRow &row = rows[i];
            if (row.get) {
                column->addWidget(makeBoundToggleRow(store, row));
            } else {
                ToggleRow toggleRow = makeToggleRow(QString::fromLatin1(row.symbol),
                                                    QString::fromUtf8(row.title), std::nullopt);
                // The countdown is a switch over a number: any positive delay shows it on, and
                // the switch writes 3 seconds or none.
                SwitchButton *toggle = toggleRow.toggle;
                followSetting(
                    store, &SettingsStore::screenshotTimerDelayChanged, toggle, [toggle, &store] {
                        toggle->setChecked(sanitizedDelay(store.screenshotTimerDelay()) > 0);
                    });
                followAccent(store, toggle, [toggle](const QColor &c) { toggle->setAccent(c); });
                connect(toggle, &QAbstractButton::toggled, &store,
                        [&store](bool on) { store.setScreenshotTimerDelay(on ? 3.0 : 0.0); });
                column->addWidget(toggleRow.widget);
            }
        }
        column->addStretch(1);
        columns->addLayout(column, 1);
    }
    options->addLayout(columns);
    page->addLayout(options);
    page->addWidget(makeDivider(0.12));
    page->addLayout(makeOutputSection(store, sideBySide));
    page->addWidget(makeDivider(0.12));

    auto *storage = new QVBoxLayout;
    storage->setSpacing(14);
    storage->addWidget(makeSectionTitle(QStringLiteral("Save & Storage")));
    auto *cards = new QHBoxLayout;
    sideBySide << cards;
    cards->setSpacing(20);
    const auto storageCard = [](const QString &symbol, const QString &title,
                                const QString &subtitle, QWidget *control, QWidget *below) {
        auto *outer = new QVBoxLayout;
        outer->setSpacing(6);
        auto *row = new QHBoxLayout;
        row->setSpacing(12);
        row->addWidget(new SymbolView(symbol, 22, WindowStyle::secondaryText()));
        row->addWidget(makeTextColumn(title, subtitle), 1);
        row->addWidget(control);
        outer->addLayout(row);
        if (below)
            outer->addWidget(below);
        return makeCard(outer);
    };

    auto *folderButton = new PickerFace;
    folderButton->setAccessibleName(QStringLiteral("Default Save Location"));
    followSetting(store, &SettingsStore::defaultSaveLocationNameChanged, folderButton,
                  [folderButton, &store] {
                      folderButton->setText(store.defaultSaveLocationName());
                      folderButton->updateGeometry();
                  });
    connect(folderButton, &QPushButton::clicked, this, &DashboardPage::chooseSaveFolder);
    m_folderProblem = makeLabel({}, 11, QFont::Medium);
    m_folderProblem->setObjectName(QStringLiteral("folderProblem"));
    m_folderProblem->setStyleSheet(QStringLiteral("color: #ff9f0a;"));
    m_folderProblem->setWordWrap(true);
    m_folderProblem->hide();
    cards->addWidget(storageCard(QStringLiteral("folder"), QStringLiteral("Default Save Location"),
                                 QStringLiteral("Folder for quick-saves and exported clips."),
                                 folderButton, m_folderProblem),
                     1);

    auto *limitButton = new PickerFace;
    limitButton->setAccessibleName(QStringLiteral("Temporary Storage Limit"));
    auto *limitMenu = new QMenu(limitButton);
    for (const QString &limit : storageLimits()) {
        limitMenu->addAction(limit, &store,
                             [&store, limit] { store.setTemporaryStorageLimit(limit); });
    }
    limitButton->setMenu(limitMenu);
    followSetting(store, &SettingsStore::temporaryStorageLimitChanged, limitButton,
                  [limitButton, &store] {
                      limitButton->setText(store.temporaryStorageLimit());
                      limitButton->updateGeometry();
                  });
    cards->addWidget(storageCard(QStringLiteral("internaldrive"),
                                 QStringLiteral("Temporary Storage Limit"),
                                 QStringLiteral("Cached captures before automatic pruning."),
                                 limitButton, nullptr),
                     1);
    storage->addLayout(cards);
    page->addLayout(storage);
    page->addStretch(1);
    // With less room than the cards or a section's columns need side by side, each is laid
    // out narrower on its own.
    auto *fitter =
        new RoomFitter(this, page->contentsMargins().left() + page->contentsMargins().right());
    fitter->addCards(cardGrid, cardButtons);
    for (QBoxLayout *row : sideBySide)
        fitter->addSideBySide(row);
}

void DashboardPage::startCaptureFromCard(CaptureCard card, const QString &title)
{
    m_services.settings->setSelectedCaptureMode(title);
    if (m_services.startCapture)
        m_services.startCapture(card);
}

void DashboardPage::chooseSaveFolder()
{
    if (m_services.chooseFolder) {
        applyChosenFolder(m_services.chooseFolder());
        return;
    }
    // Not waited for: the folder is taken when the dialog reports it.
    auto *dialog = new QFileDialog(window(), QStringLiteral("Default Save Location"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
    dialog->setLabelText(QFileDialog::Accept, QStringLiteral("Select Folder"));
    connect(dialog, &QFileDialog::fileSelected, this, &DashboardPage::applyChosenFolder);
    dialog->open();
}

void DashboardPage::applyChosenFolder(const QString &path)
{
    if (path.isEmpty())
        return;
    // The choice is kept as the user made it; a folder that cannot take files is reported here,
    // where another one can be picked, rather than when a save fails later.
    const QString problem = folderProblem(path);
    m_folderProblem->setText(problem);
    m_folderProblem->setVisible(!problem.isEmpty());
    m_services.settings->setDefaultSaveLocationName(folderName(path));
}
