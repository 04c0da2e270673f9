#include "model/SettingsStore.h"

#include "model/SettingsReader.h"
#include "model/UserDefaults.h"
#include "platform/Log.h"
#include "platform/LoginItem.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>

ShortcutData defaultShortcut(quint32 keyCode, const char *key)
{
    return {keyCode, CarbonModifier::control | CarbonModifier::option,
            QString::fromUtf8("⌃⌥") + QLatin1String(key)};
}

#define CORVANTA_READ_SETTING(name, setter, Type, key, fallback, rule)                             \
    setter(read.rule(key, fallback));

SettingsStore::SettingsStore(UserDefaults &defaults, platform::LoginItem &loginItem,
                             QObject *parent)
    : QObject(parent), m_defaults(defaults), m_loginItem(loginItem)
{
    const QScopedValueRollback<bool> loading(m_loading, true);
    const SettingsReader read(defaults);
    CORVANTA_GENERAL_SETTINGS(CORVANTA_READ_SETTING)
    loadPinSettings();
    refreshLaunchAtLoginStatus();
}

SettingsStore::~SettingsStore() = default;

// Through the setters, so that after a login-item change each pin setting is
// announced and written back.
void SettingsStore::loadPinSettings()
{
    const SettingsReader read(m_defaults);
    CORVANTA_PIN_SETTINGS(CORVANTA_READ_SETTING)
}

#undef CORVANTA_READ_SETTING

void SettingsStore::persist(const char *key, bool value)
{
    m_defaults.setBool(key, value);
}

void SettingsStore::persist(const char *key, int value)
{
    m_defaults.setInteger(key, value);
}

void SettingsStore::persist(const char *key, double value)
{
    m_defaults.setDouble(key, value);
}

void SettingsStore::persist(const char *key, const QString &value)
{
    m_defaults.setString(key, value);
}

void SettingsStore::persist(const char *key, const QSet<QString> &value)
{
    QStringList names(value.cbegin(), value.cend());
    names.sort(); // the order means nothing; sorted keeps the file stable
    m_defaults.setStringArray(key, names);
}

void SettingsStore::persist(const char *key, const ShortcutData &value)
{
    m_defaults.setJsonText(key, value.toJsonText());
}

void SettingsStore::applyWorkflowPreset(WorkflowPreset preset)
{
    setWorkflowPreset(preset);
    // One by one, so subscribers (the queue's capacity among them) follow each change.
    const auto assignBundle = [this](bool autoCopy, bool copyRemoves, int capacity,
                                     double hideDelay, TraySize size) {
        setAutoCopyOnCapture(autoCopy);
        setCopyRemovesCapture(copyRemoves);
        setMaxQueueCapacity(capacity);
        setAutoHideDelay(hideDelay);
        setTraySize(size);
    };
    switch (preset) {
    case WorkflowPreset::corvantaDefault:
        assignBundle(false, true, 8, 0.0, TraySize::regular);
        setTrayPosition(TrayPosition::notch);
        break;
    case WorkflowPreset::designerDev:
        assignBundle(true, false, 10, 0.0, TraySize::regular);
        setAccentTheme(AccentTheme::purple);
        break;
    case WorkflowPreset::researcher:
        assignBundle(false, true, 14, 0.0, TraySize::regular);
        setAccentTheme(AccentTheme::green);
        break;
    case WorkflowPreset::minimalist:
        assignBundle(true, true, 4, 8.0, TraySize::compact);
        setTrayMaterial(TrayMaterialStyle::ultraThin);
        break;
    case WorkflowPreset::custom:
        break;
    }
}

void SettingsStore::updateLaunchAtLogin(bool enabled)
{
    const auto error = enabled ? m_loginItem.registerItem() : m_loginItem.unregisterItem();
    if (error) {
        qCCritical(Log::permissions, "Failed to update Launch at Login: %s",
                   qUtf8Printable(*error));
        return;
    }
    m_defaults.reload();
    loadPinSettings();
    refreshLaunchAtLoginStatus();
}

void SettingsStore::refreshLaunchAtLoginStatus()
{
    setLaunchAtLogin(m_loginItem.status() == platform::LoginItem::Status::enabled);
}

ShortcutDefinition::ShortcutSet SettingsStore::effectiveShortcuts() const
{
    if (m_shortcutScheme != ShortcutScheme::custom)
        return ShortcutDefinition::shortcuts(m_shortcutScheme);
    return {ShortcutDefinition(QStringLiteral("fullDisplay"), m_customFullDisplay),
            ShortcutDefinition(QStringLiteral("area"), m_customArea),
            ShortcutDefinition(QStringLiteral("window"), m_customWindow),
            ShortcutDefinition(QStringLiteral("record"), m_customRecord)};
}

bool SettingsStore::isTrayButtonEnabled(TrayButtonID button) const
{
    return !m_disabledTrayButtons.contains(rawValue(button));
}

void SettingsStore::toggleTrayButton(TrayButtonID button)
{
    QSet<QString> disabled = m_disabledTrayButtons;
    const QString name = rawValue(button);
    if (!disabled.remove(name))
        disabled.insert(name);
    setDisabledTrayButtons(disabled);
}

namespace {
constexpr double longestDelay = 3600.0;
constexpr int fastestFrameRate = 240;
} // namespace

double sanitizedDelay(double seconds)
{
    if (std::isnan(seconds) || seconds < 0.0)
        return 0.0;
    return std::min(seconds, longestDelay);
}

int sanitizedFrameRate(int framesPerSecond)
{
    return std::clamp(framesPerSecond, 1, fastestFrameRate);
}

double usablePinSize(double points)
{
    return std::min(NumberRule::positive(points, SettingDefaults::pinSize()), 4000.0);
}

double usablePinPadding(double points)
{
    return std::min(NumberRule::positive(points, SettingDefaults::pinPadding()), 10000.0);
}

double usablePinOpacity(double opacity)
{
    return std::min(NumberRule::positive(opacity, SettingDefaults::pinDefaultOpacity()), 1.0);
}

double usablePinBorderWidth(double points)
{
    return std::min(NumberRule::nonNegativeElse<pinBorderWidthIfNegative>(
                        points, SettingDefaults::pinBorderWidth()),
                    50.0);
}

double usablePinCornerRadius(double points)
{
    return std::min(NumberRule::nonNegativeElse<pinCornerRadiusIfNegative>(
                        points, SettingDefaults::pinCornerRadius()),
                    1000.0);
}

double usablePinAutoCloseDelay(double seconds)
{
    return std::min(NumberRule::nonNegative(seconds, SettingDefaults::pinAutoCloseDelay()),
                    86400.0);
}
