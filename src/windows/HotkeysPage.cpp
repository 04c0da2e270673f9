#include "windows/HotkeysPage.h"

#include "model/SettingsStore.h"
#include "windows/HotkeyProblemLabel.h"
#include "windows/PageBlocks.h"
#include "windows/ShortcutRecorder.h"
#include "windows/WindowSymbols.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>
#include <algorithm>

HotkeyProblemLabel::HotkeyProblemLabel(QWidget *parent) : QLabel(parent)
{
    setFont(WindowStyle::font(11, QFont::Medium));
    setStyleSheet(QStringLiteral("color: #ff9f0a;"));
    setWordWrap(true);
    hide();
}

void HotkeyProblemLabel::showProblem(const QString &reason)
{
    setText(reason);
    setVisible(!reason.isEmpty());
}

void registerHotkeysAndReport(const WindowServices &services, HotkeyProblemLabel *problem)
{
    if (!services.registerHotkeys)
        return;
    const QString reason = services.registerHotkeys();
    if (problem)
        problem->showProblem(reason);
}

void followHotkeyProblem(const WindowServices &services, HotkeyProblemLabel *problem)
{
    if (!services.hotkeyProblem)
        return;
    const auto show = [problem, read = services.hotkeyProblem] { problem->showProblem(read()); };
    show();
    if (services.whenHotkeyProblemChanged)
        services.whenHotkeyProblemChanged(problem, show);
}

SchemeRowButton::SchemeRowButton(ShortcutScheme scheme, QWidget *parent)
    : AccentButton(parent), m_scheme(scheme)
{
    setText(displayName(scheme));
    setAccessibleName(text());
    setFont(WindowStyle::font(13, QFont::Medium));
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QSize SchemeRowButton::sizeHint() const
{
    return QSize(QFontMetrics(font()).horizontalAdvance(text()) + 60, 46);
}

QSize SchemeRowButton::minimumSizeHint() const
{
    return QSize(200, 46);
}

int SchemeRowButton::heightForWidth(int width) const
{
    // A label longer than the row wraps between words onto more lines.
    const QRect room = textRect(QRect(0, 0, width, 46));
    const QRect needed = QFontMetrics(font()).boundingRect(room, textFlags, text());
    return std::max(46, needed.height() + 24);
}

QRect SchemeRowButton::textRect(const QRect &row)
{
    return row.adjusted(14, 0, -40, 0);
}

void SchemeRowButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintChoiceCard(painter, {.radius = 10, .selectedFill = 0.12, .selectedOutline = 0.5});
    painter.setPen(isSelected() ? QColor(Qt::white) : WindowStyle::secondaryText());
    painter.setFont(font());
    painter.drawText(textRect(rect()), textFlags, text());
    if (isSelected())
        paintSymbol(painter, QStringLiteral("checkmark"),
                    QRectF(width() - 14 - 12, (height() - 12) / 2.0, 12, 12), accent(), 2.2);
}

const QList<HotkeysPage::Mapping> &HotkeysPage::mappings()
{
    static const QList<Mapping> list = {
        {QStringLiteral("Full Screen Display"), QStringLiteral("display"),
         QStringLiteral("fullDisplay"), SettingDefaults::customFullDisplay(),
         &SettingsStore::customFullDisplay, &SettingsStore::setCustomFullDisplay},
        {QStringLiteral("Selected Area Region"), QStringLiteral("crop"), QStringLiteral("area"),
         SettingDefaults::customArea(), &SettingsStore::customArea, &SettingsStore::setCustomArea},
        {QStringLiteral("Window Selection"), QStringLiteral("macwindow"), QStringLiteral("window"),
         SettingDefaults::customWindow(), &SettingsStore::customWindow,
         &SettingsStore::setCustomWindow},
        {QStringLiteral("Screen Recording"), QStringLiteral("record.circle"),
         QStringLiteral("record"), SettingDefaults::customRecord(), &SettingsStore::customRecord,
         &SettingsStore::setCustomRecord},
    };
    return list;
}

HotkeysPage::HotkeysPage(const WindowServices &services, RecordingIDBinding *recordingID,
                         QWidget *parent)
    : QWidget(parent), m_services(services), m_recordingID(recordingID)
{
    SettingsStore &store = *m_services.settings;
    auto *page = new QVBoxLayout(this);
    page->setContentsMargins(32, 32, 32, 32);
    page->setSpacing(24);
    page->addWidget(makePageHeader(
        QStringLiteral("Keyboard Shortcuts"),
        QStringLiteral("Choose a preset scheme or customize shortcuts to match your workflow.")));

    auto *schemes = new QVBoxLayout;
    schemes->setSpacing(14);
    schemes->addWidget(makeSectionTitle(QStringLiteral("Hotkey Scheme")));
    auto *rows = new QVBoxLayout;
    rows->setSpacing(8);
    for (const ShortcutScheme scheme : allCases<ShortcutScheme>()) {
        auto *row = new SchemeRowButton(scheme);
        followSetting(store, &SettingsStore::shortcutSchemeChanged, row,
                      [row, &store] { row->setSelected(store.shortcutScheme() == row->scheme()); });
        followAccent(store, row, [row](const QColor &accent) { row->setAccent(accent); });
        connect(row, &QAbstractButton::clicked, this, [this, scheme] { chooseScheme(scheme); });
        rows->addWidget(row);
    }
    schemes->addLayout(rows);
    page->addLayout(schemes);

    auto *mappingSection = new QVBoxLayout;
    mappingSection->setSpacing(12);
    mappingSection->addWidget(makeSectionTitle(QStringLiteral("Active Mappings")));
    m_mappingRows = new QVBoxLayout;
    m_mappingRows->setSpacing(8);
    mappingSection->addWidget(makeCard(m_mappingRows));
    m_problem = new HotkeyProblemLabel;
    followHotkeyProblem(m_services, m_problem);
    mappingSection->addWidget(m_problem);
    page->addLayout(mappingSection);
    page->addStretch(1);

    rebuildMappings();
    connect(&store, &SettingsStore::shortcutSchemeChanged, this, &HotkeysPage::rebuildMappings);
    const auto refreshDisplays = [this] {
        for (int i = 0; i < m_recorders.size(); ++i)
            m_recorders[i]->setShortcut((m_services.settings->*mappings()[i].get)());
    };
    connect(&store, &SettingsStore::customFullDisplayChanged, this, refreshDisplays);
    connect(&store, &SettingsStore::customAreaChanged, this, refreshDisplays);
    connect(&store, &SettingsStore::customWindowChanged, this, refreshDisplays);
    connect(&store, &SettingsStore::customRecordChanged, this, refreshDisplays);
}

void HotkeysPage::chooseScheme(ShortcutScheme scheme)
{
    m_services.settings->setShortcutScheme(scheme);
    registerHotkeysAndReport(m_services, m_problem);
}

void HotkeysPage::rebuildMappings()
{
    SettingsStore &store = *m_services.settings;
    while (QLayoutItem *item = m_mappingRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_recorders.clear();
    const bool custom = store.shortcutScheme() == ShortcutScheme::custom;
    const ShortcutDefinition::ShortcutSet preset =
        ShortcutDefinition::shortcuts(store.shortcutScheme());
    const QString presetDisplays[] = {preset.fullDisplay.displayString, preset.area.displayString,
                                      preset.window.displayString, preset.record.displayString};
    for (int i = 0; i < mappings().size(); ++i) {
        const Mapping &mapping = mappings()[i];
        auto *row = new QWidget;
        auto *layout = new QHBoxLayout(row);
        layout->setContentsMargins(0, 0, 0, 0);
        if (custom) {
            layout->addWidget(new SymbolView(mapping.symbol, 20, WindowStyle::secondaryText()));
            layout->addWidget(makeLabel(mapping.title, 13), 1);
            SettingsStore *settings = &store;
            auto *recorder = new ShortcutRecorderButton(
                mapping.id, (store.*mapping.get)(), m_recordingID,
                [this, settings, mapping](const ShortcutData &data) {
                    (settings->*mapping.set)(data);
                    registerHotkeysAndReport(m_services, m_problem);
                },
                [this, settings, mapping] {
                    (settings->*mapping.set)(mapping.reset);
                    registerHotkeysAndReport(m_services, m_problem);
                });
            m_recorders << recorder;
            layout->addWidget(recorder);
        } else {
            layout->addWidget(makeLabel(mapping.title, 13), 1);
            QLabel *badge = makeBadge(shortcutDisplayText(presetDisplays[i]), true);
            badge->setFont(WindowStyle::font(12, QFont::DemiBold, true));
            badge->setObjectName(mapping.id);
            layout->addWidget(badge);
        }
        m_mappingRows->addWidget(row);
    }
}
