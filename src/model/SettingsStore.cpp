#include "model/SettingsStore.h"

#include "model/Log.h"
#include "model/UserDefaults.h"
#include "platform/LoginItem.h"

#include <QScopedValueRollback>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// The read rule of each kind of setting. Whatever a rule does not accept
// (absent, mistyped, out of range, unknown) gives the setting's fallback.
class SettingsReader {
public:
    explicit SettingsReader(const UserDefaults &defaults) : m_defaults(defaults) {}

    bool flag(const char *key, bool fallback = false) const
    {
        return m_defaults.boolValue(key).value_or(fallback);
    }

    int count(const char *key, int fallback) const
    {
        const auto value = m_defaults.integerValue(key);
        if (value && *value > 0 && *value <= std::numeric_limits<int>::max())
            return static_cast<int>(*value);
        return fallback;
    }

    // Unreadable reads as 0, as an absent key does.
    double number(const char *key) const { return m_defaults.doubleValue(key).value_or(0.0); }

    double positive(const char *key, double fallback) const
    {
        const double value = number(key);
        return value > 0.0 ? value : fallback;
    }

    // An absent key reads 0 and passes; only a negative (or NaN) value falls back.
    double nonNegative(const char *key, double fallback) const
    {
        const double value = number(key);
        return value >= 0.0 ? value : fallback;
    }

    template <StoredEnum E> E choice(const char *key, E fallback) const
    {
        const auto text = m_defaults.stringValue(key);
        return text ? enumFromRawValue<E>(*text).value_or(fallback) : fallback;
    }

    // Strings of earlier versions that name no scheme exactly are recognised
    // by the hot keys they mention. Not written back.
    ShortcutScheme shortcutScheme(const char *key) const
    {
        const auto text = m_defaults.stringValue(key);
        if (!text)
            return ShortcutScheme::controlOption;
        if (const auto scheme = enumFromRawValue<ShortcutScheme>(*text))
            return *scheme;
        if (text->contains(QString::fromUtf8("⇧⌘6")))
            return ShortcutScheme::commandShift;
        if (text->contains(QString::fromUtf8("⌃⌘1")))
            return ShortcutScheme::commandControl;
        return ShortcutScheme::controlOption;
    }

    QString text(const char *key, const QString &fallback) const
    {
        return m_defaults.stringValue(key).value_or(fallback);
    }

    // Duplicates fall together; names of no known button stay in the set.
    QSet<QString> nameSet(const char *key) const
    {
        const QStringList names = m_defaults.stringArray(key).value_or(QStringList());
        return QSet<QString>(names.cbegin(), names.cend());
    }

    ShortcutData shortcut(const char *key, const ShortcutData &fallback) const
    {
        const auto text = m_defaults.jsonText(key);
        const auto data = text ? ShortcutData::fromJsonText(*text) : std::nullopt;
        return data.value_or(fallback);
    }

private:
    const UserDefaults &m_defaults;
};

ShortcutData controlOptionShortcut(quint32 keyCode, const char *key)
{
    return {keyCode, CarbonModifier::control | CarbonModifier::option,
            QString::fromUtf8("⌃⌥") + QLatin1String(key)};
}

} // namespace

SettingsStore::SettingsStore(UserDefaults &defaults, platform::LoginItem &loginItem,
                             QObject *parent)
    : QObject(parent), m_defaults(defaults), m_loginItem(loginItem)
{
    const QScopedValueRollback<bool> loading(m_loading, true);
    const SettingsReader read(defaults);

    setMaxQueueCapacity(read.count(Keys::maxQueueCapacity, 8));
    setCopyRemovesCapture(read.flag(Keys::copyRemovesCapture, true));
    setTrayPosition(read.choice(Keys::trayPosition, TrayPosition::notch));
    setTrayMaterial(read.choice(Keys::trayMaterial, TrayMaterialStyle::liquidGlass));
    setAccentTheme(read.choice(Keys::accentTheme, AccentTheme::blue));
    setTraySize(read.choice(Keys::traySize, TraySize::regular));
    setWorkflowPreset(read.choice(Keys::workflowPreset, WorkflowPreset::corvantaDefault));
    setShortcutScheme(read.shortcutScheme(Keys::shortcutScheme));
    setAutoCopyOnCapture(read.flag(Keys::autoCopyOnCapture));
    setSoundEffectsEnabled(read.flag(Keys::soundEffectsEnabled, true));
    setAutoHideDelay(read.number(Keys::autoHideDelay));
    setExportFormat(read.choice(Keys::exportFormat, ImageExportFormat::png));
    setIncludeCursorInScreenshot(read.flag(Keys::includeCursorInScreenshot));
    setIncludeWindowShadow(read.flag(Keys::includeWindowShadow, true));
    setScreenshotTimerDelay(read.number(Keys::screenshotTimerDelay));
    setRecordingFrameRate(read.count(Keys::recordingFrameRate, 60));
    setRecordMicrophoneAudio(read.flag(Keys::recordMicrophoneAudio));
    setHighlightMouseClicksInRecording(read.flag(Keys::highlightMouseClicksInRecording, true));
    setRecordingExportFormat(read.choice(Keys::recordingExportFormat, VideoExportFormat::mp4));
    setRecordingResolution(read.choice(Keys::recordingResolution, RecordingResolution::native));
    setHapticsEnabled(read.flag(Keys::hapticsEnabled, true));
    setOpenCorvantaAfterCapture(read.flag(Keys::openCorvantaAfterCapture));
    setShowCaptureIndicator(read.flag(Keys::showCaptureIndicator, true));
    setShowMagnifierInSelection(read.flag(Keys::showMagnifierInSelection, true));
    setDisabledTrayButtons(read.nameSet(Keys::disabledTrayButtons));
    setShowFullScreenButton(read.flag(Keys::showFullScreenButton, true));
    setShowAreaButton(read.flag(Keys::showAreaButton, true));
    setShowWindowButton(read.flag(Keys::showWindowButton, true));
    setShowRecordButton(read.flag(Keys::showRecordButton, true));
    setCustomFullDisplay(read.shortcut(Keys::customFullDisplay, controlOptionShortcut(18, "1")));
    setCustomArea(read.shortcut(Keys::customArea, controlOptionShortcut(19, "2")));
    setCustomWindow(read.shortcut(Keys::customWindow, controlOptionShortcut(20, "3")));
    setCustomRecord(read.shortcut(Keys::customRecord, controlOptionShortcut(21, "4")));
    setSelectedCaptureMode(read.text(Keys::selectedCaptureMode, QStringLiteral("Area Selection")));
    setDefaultSaveLocationName(
        read.text(Keys::defaultSaveLocationName, QStringLiteral("Downloads")));
    setStartHiddenInNotch(read.flag(Keys::startHiddenInNotch));
    setAutoCollapseOnCursorLeave(read.flag(Keys::autoCollapseOnCursorLeave, true));
    setRememberLastCaptureMode(read.flag(Keys::rememberLastCaptureMode, true));
    setCheckForUpdates(read.flag(Keys::checkForUpdates, true));
    setTemporaryStorageLimit(read.text(Keys::temporaryStorageLimit, QStringLiteral("10 GB")));
    loadPinSettings();
    refreshLaunchAtLoginStatus();
}

SettingsStore::~SettingsStore() = default;

// Through the setters, so that after a login-item change each pin setting is
// announced and written back.
void SettingsStore::loadPinSettings()
{
    const SettingsReader read(m_defaults);
    setAutoPinEnabled(read.flag(Keys::autoPinEnabled));
    setPinSize(read.positive(Keys::pinSize, 400.0));
    setPinDefaultGhostMode(read.flag(Keys::pinDefaultGhostMode));
    setPinDefaultOpacity(read.positive(Keys::pinDefaultOpacity, 1.0));
    setPinAutoCloseDelay(read.nonNegative(Keys::pinAutoCloseDelay, 0.0));
    setPinTargetDisplay(read.choice(Keys::pinTargetDisplay, PinTargetDisplay::currentScreen));
    setPinPadding(read.positive(Keys::pinPadding, 20.0));
    setPinPlacement(read.choice(Keys::pinPlacement, PinPlacement::topRight));
    setPinBorderColor(read.choice(Keys::pinBorderColor, PinBorderColor::white));
    setPinCloseOnCopy(read.flag(Keys::pinCloseOnCopy));
    setPinCloseAllShortcut(
        read.shortcut(Keys::pinCloseAllShortcut, controlOptionShortcut(35, "P")));
    setPinBorderWidth(read.nonNegative(Keys::pinBorderWidth, 1.0));
    setPinCornerRadius(read.nonNegative(Keys::pinCornerRadius, 10.0));
}

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
constexpr double longestLength = 10000.0;
constexpr int fastestFrameRate = 240;
} // namespace

double sanitizedDelay(double seconds)
{
    if (std::isnan(seconds) || seconds < 0.0)
        return 0.0;
    return std::min(seconds, longestDelay);
}

double sanitizedLength(double points, double fallback)
{
    if (!std::isfinite(points) || points < 0.0)
        return fallback;
    return std::min(points, longestLength);
}

double sanitizedOpacity(double opacity)
{
    if (std::isnan(opacity))
        return 1.0;
    return std::clamp(opacity, 0.0, 1.0);
}

int sanitizedFrameRate(int framesPerSecond)
{
    return std::clamp(framesPerSecond, 1, fastestFrameRate);
}
