#pragma once

#include "model/SettingsEnums.h"
#include "model/SharedInstance.h"
#include "model/ShortcutModel.h"

#include <QObject>
#include <QSet>
#include <QString>

class UserDefaults;
namespace platform {
class LoginItem;
}

// Every user preference, each a published property over the settings file.
// Creating the store reads the file once with each setting's read rule and
// writes nothing; afterwards every assignment (also of the current value) is
// stored, announced and written under the setting's key. Setters keep what
// they are given: numbers that make no sense where they are used are
// sanitised by the users with the functions below the class.
//
// The program has one store, created by the application environment over
// the standard file and reached as SettingsStore::shared(); a second store
// over the same file would not see this one's changes.
class SettingsStore : public QObject, public SharedInstance<SettingsStore> {
    Q_OBJECT
    Q_PROPERTY(int maxQueueCapacity READ maxQueueCapacity WRITE setMaxQueueCapacity NOTIFY
                   maxQueueCapacityChanged)
    Q_PROPERTY(bool copyRemovesCapture READ copyRemovesCapture WRITE setCopyRemovesCapture NOTIFY
                   copyRemovesCaptureChanged)
    Q_PROPERTY(TrayPosition trayPosition READ trayPosition WRITE setTrayPosition NOTIFY
                   trayPositionChanged)
    Q_PROPERTY(TrayMaterialStyle trayMaterial READ trayMaterial WRITE setTrayMaterial NOTIFY
                   trayMaterialChanged)
    Q_PROPERTY(
        AccentTheme accentTheme READ accentTheme WRITE setAccentTheme NOTIFY accentThemeChanged)
    Q_PROPERTY(TraySize traySize READ traySize WRITE setTraySize NOTIFY traySizeChanged)
    Q_PROPERTY(WorkflowPreset workflowPreset READ workflowPreset WRITE setWorkflowPreset NOTIFY
                   workflowPresetChanged)
    Q_PROPERTY(ShortcutScheme shortcutScheme READ shortcutScheme WRITE setShortcutScheme NOTIFY
                   shortcutSchemeChanged)
    Q_PROPERTY(bool autoCopyOnCapture READ autoCopyOnCapture WRITE setAutoCopyOnCapture NOTIFY
                   autoCopyOnCaptureChanged)
    Q_PROPERTY(bool soundEffectsEnabled READ soundEffectsEnabled WRITE setSoundEffectsEnabled NOTIFY
                   soundEffectsEnabledChanged)
    Q_PROPERTY(
        double autoHideDelay READ autoHideDelay WRITE setAutoHideDelay NOTIFY autoHideDelayChanged)
    Q_PROPERTY(ImageExportFormat exportFormat READ exportFormat WRITE setExportFormat NOTIFY
                   exportFormatChanged)
    Q_PROPERTY(bool includeCursorInScreenshot READ includeCursorInScreenshot WRITE
                   setIncludeCursorInScreenshot NOTIFY includeCursorInScreenshotChanged)
    Q_PROPERTY(bool includeWindowShadow READ includeWindowShadow WRITE setIncludeWindowShadow NOTIFY
                   includeWindowShadowChanged)
    Q_PROPERTY(double screenshotTimerDelay READ screenshotTimerDelay WRITE setScreenshotTimerDelay
                   NOTIFY screenshotTimerDelayChanged)
    Q_PROPERTY(int recordingFrameRate READ recordingFrameRate WRITE setRecordingFrameRate NOTIFY
                   recordingFrameRateChanged)
    Q_PROPERTY(bool recordMicrophoneAudio READ recordMicrophoneAudio WRITE setRecordMicrophoneAudio
                   NOTIFY recordMicrophoneAudioChanged)
    Q_PROPERTY(bool highlightMouseClicksInRecording READ highlightMouseClicksInRecording WRITE
                   setHighlightMouseClicksInRecording NOTIFY highlightMouseClicksInRecordingChanged)
    Q_PROPERTY(VideoExportFormat recordingExportFormat READ recordingExportFormat WRITE
                   setRecordingExportFormat NOTIFY recordingExportFormatChanged)
    Q_PROPERTY(RecordingResolution recordingResolution READ recordingResolution WRITE
                   setRecordingResolution NOTIFY recordingResolutionChanged)
    Q_PROPERTY(bool hapticsEnabled READ hapticsEnabled WRITE setHapticsEnabled NOTIFY
                   hapticsEnabledChanged)
    Q_PROPERTY(bool openCorvantaAfterCapture READ openCorvantaAfterCapture WRITE
                   setOpenCorvantaAfterCapture NOTIFY openCorvantaAfterCaptureChanged)
    Q_PROPERTY(bool showCaptureIndicator READ showCaptureIndicator WRITE setShowCaptureIndicator
                   NOTIFY showCaptureIndicatorChanged)
    Q_PROPERTY(bool showMagnifierInSelection READ showMagnifierInSelection WRITE
                   setShowMagnifierInSelection NOTIFY showMagnifierInSelectionChanged)
    Q_PROPERTY(QSet<QString> disabledTrayButtons READ disabledTrayButtons WRITE
                   setDisabledTrayButtons NOTIFY disabledTrayButtonsChanged)
    Q_PROPERTY(bool showFullScreenButton READ showFullScreenButton WRITE setShowFullScreenButton
                   NOTIFY showFullScreenButtonChanged)
    Q_PROPERTY(bool showAreaButton READ showAreaButton WRITE setShowAreaButton NOTIFY
                   showAreaButtonChanged)
    Q_PROPERTY(bool showWindowButton READ showWindowButton WRITE setShowWindowButton NOTIFY
                   showWindowButtonChanged)
    Q_PROPERTY(bool showRecordButton READ showRecordButton WRITE setShowRecordButton NOTIFY
                   showRecordButtonChanged)
    Q_PROPERTY(ShortcutData customFullDisplay READ customFullDisplay WRITE setCustomFullDisplay
                   NOTIFY customFullDisplayChanged)
    Q_PROPERTY(ShortcutData customArea READ customArea WRITE setCustomArea NOTIFY customAreaChanged)
    Q_PROPERTY(ShortcutData customWindow READ customWindow WRITE setCustomWindow NOTIFY
                   customWindowChanged)
    Q_PROPERTY(ShortcutData customRecord READ customRecord WRITE setCustomRecord NOTIFY
                   customRecordChanged)
    Q_PROPERTY(QString selectedCaptureMode READ selectedCaptureMode WRITE setSelectedCaptureMode
                   NOTIFY selectedCaptureModeChanged)
    Q_PROPERTY(QString defaultSaveLocationName READ defaultSaveLocationName WRITE
                   setDefaultSaveLocationName NOTIFY defaultSaveLocationNameChanged)
    Q_PROPERTY(bool startHiddenInNotch READ startHiddenInNotch WRITE setStartHiddenInNotch NOTIFY
                   startHiddenInNotchChanged)
    Q_PROPERTY(bool autoCollapseOnCursorLeave READ autoCollapseOnCursorLeave WRITE
                   setAutoCollapseOnCursorLeave NOTIFY autoCollapseOnCursorLeaveChanged)
    Q_PROPERTY(bool rememberLastCaptureMode READ rememberLastCaptureMode WRITE
                   setRememberLastCaptureMode NOTIFY rememberLastCaptureModeChanged)
    Q_PROPERTY(bool checkForUpdates READ checkForUpdates WRITE setCheckForUpdates NOTIFY
                   checkForUpdatesChanged)
    Q_PROPERTY(QString temporaryStorageLimit READ temporaryStorageLimit WRITE
                   setTemporaryStorageLimit NOTIFY temporaryStorageLimitChanged)
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)
    Q_PROPERTY(bool autoPinEnabled READ autoPinEnabled WRITE setAutoPinEnabled NOTIFY
                   autoPinEnabledChanged)
    Q_PROPERTY(double pinSize READ pinSize WRITE setPinSize NOTIFY pinSizeChanged)
    Q_PROPERTY(bool pinDefaultGhostMode READ pinDefaultGhostMode WRITE setPinDefaultGhostMode NOTIFY
                   pinDefaultGhostModeChanged)
    Q_PROPERTY(double pinDefaultOpacity READ pinDefaultOpacity WRITE setPinDefaultOpacity NOTIFY
                   pinDefaultOpacityChanged)
    Q_PROPERTY(double pinAutoCloseDelay READ pinAutoCloseDelay WRITE setPinAutoCloseDelay NOTIFY
                   pinAutoCloseDelayChanged)
    Q_PROPERTY(PinTargetDisplay pinTargetDisplay READ pinTargetDisplay WRITE setPinTargetDisplay
                   NOTIFY pinTargetDisplayChanged)
    Q_PROPERTY(double pinPadding READ pinPadding WRITE setPinPadding NOTIFY pinPaddingChanged)
    Q_PROPERTY(PinPlacement pinPlacement READ pinPlacement WRITE setPinPlacement NOTIFY
                   pinPlacementChanged)
    Q_PROPERTY(PinBorderColor pinBorderColor READ pinBorderColor WRITE setPinBorderColor NOTIFY
                   pinBorderColorChanged)
    Q_PROPERTY(bool pinCloseOnCopy READ pinCloseOnCopy WRITE setPinCloseOnCopy NOTIFY
                   pinCloseOnCopyChanged)
    Q_PROPERTY(ShortcutData pinCloseAllShortcut READ pinCloseAllShortcut WRITE
                   setPinCloseAllShortcut NOTIFY pinCloseAllShortcutChanged)
    Q_PROPERTY(double pinBorderWidth READ pinBorderWidth WRITE setPinBorderWidth NOTIFY
                   pinBorderWidthChanged)
    Q_PROPERTY(double pinCornerRadius READ pinCornerRadius WRITE setPinCornerRadius NOTIFY
                   pinCornerRadiusChanged)

public:
    // The key each persisted setting is written under. launchAtLogin has
    // none: it mirrors the login item and is never written.
    struct Keys {
        static constexpr const char *maxQueueCapacity = "maxQueueCapacity";
        static constexpr const char *copyRemovesCapture = "copyRemovesCapture";
        static constexpr const char *trayPosition = "trayPosition";
        static constexpr const char *trayMaterial = "trayMaterial";
        static constexpr const char *accentTheme = "accentTheme";
        static constexpr const char *traySize = "traySize";
        static constexpr const char *workflowPreset = "workflowPreset";
        static constexpr const char *shortcutScheme = "shortcutScheme";
        static constexpr const char *autoCopyOnCapture = "autoCopyOnCapture";
        static constexpr const char *soundEffectsEnabled = "soundEffectsEnabled";
        static constexpr const char *autoHideDelay = "autoHideDelay";
        static constexpr const char *exportFormat = "exportFormat";
        static constexpr const char *includeCursorInScreenshot = "includeCursorInScreenshot";
        static constexpr const char *includeWindowShadow = "includeWindowShadow";
        static constexpr const char *screenshotTimerDelay = "screenshotTimerDelay";
        static constexpr const char *recordingFrameRate = "recordingFrameRate";
        static constexpr const char *recordMicrophoneAudio = "recordMicrophoneAudio";
        static constexpr const char *highlightMouseClicksInRecording =
            "highlightMouseClicksInRecording";
        static constexpr const char *recordingExportFormat = "recordingExportFormat";
        static constexpr const char *recordingResolution = "recordingResolution";
        static constexpr const char *hapticsEnabled = "hapticsEnabled";
        static constexpr const char *openCorvantaAfterCapture = "openCorvantaAfterCapture";
        static constexpr const char *showCaptureIndicator = "showCaptureIndicator";
        static constexpr const char *showMagnifierInSelection = "showMagnifierInSelection";
        static constexpr const char *disabledTrayButtons = "disabledTrayButtons";
        static constexpr const char *showFullScreenButton = "showFullScreenButton";
        static constexpr const char *showAreaButton = "showAreaButton";
        static constexpr const char *showWindowButton = "showWindowButton";
        static constexpr const char *showRecordButton = "showRecordButton";
        static constexpr const char *customFullDisplay = "customFullDisplayShortcut";
        static constexpr const char *customArea = "customAreaShortcut";
        static constexpr const char *customWindow = "customWindowShortcut";
        static constexpr const char *customRecord = "customRecordShortcut";
        static constexpr const char *selectedCaptureMode = "selectedCaptureMode";
        static constexpr const char *defaultSaveLocationName = "defaultSaveLocationName";
        static constexpr const char *startHiddenInNotch = "startHiddenInNotch";
        static constexpr const char *autoCollapseOnCursorLeave = "autoCollapseOnCursorLeave";
        static constexpr const char *rememberLastCaptureMode = "rememberLastCaptureMode";
        static constexpr const char *checkForUpdates = "checkForUpdates";
        static constexpr const char *temporaryStorageLimit = "temporaryStorageLimit";
        static constexpr const char *autoPinEnabled = "autoPinEnabled";
        static constexpr const char *pinSize = "pinSize";
        static constexpr const char *pinDefaultGhostMode = "pinDefaultGhostMode";
        static constexpr const char *pinDefaultOpacity = "pinDefaultOpacity";
        static constexpr const char *pinAutoCloseDelay = "pinAutoCloseDelay";
        static constexpr const char *pinTargetDisplay = "pinTargetDisplay";
        static constexpr const char *pinPadding = "pinPadding";
        static constexpr const char *pinPlacement = "pinPlacement";
        static constexpr const char *pinBorderColor = "pinBorderColor";
        static constexpr const char *pinCloseOnCopy = "pinCloseOnCopy";
        static constexpr const char *pinCloseAllShortcut = "pinCloseAllShortcut";
        static constexpr const char *pinBorderWidth = "pinBorderWidth";
        static constexpr const char *pinCornerRadius = "pinCornerRadius";
    };

    SettingsStore(UserDefaults &defaults, platform::LoginItem &loginItem,
                  QObject *parent = nullptr);
    ~SettingsStore() override;

    int maxQueueCapacity() const { return m_maxQueueCapacity; }
    bool copyRemovesCapture() const { return m_copyRemovesCapture; }
    TrayPosition trayPosition() const { return m_trayPosition; }
    TrayMaterialStyle trayMaterial() const { return m_trayMaterial; }
    AccentTheme accentTheme() const { return m_accentTheme; }
    TraySize traySize() const { return m_traySize; }
    WorkflowPreset workflowPreset() const { return m_workflowPreset; }
    ShortcutScheme shortcutScheme() const { return m_shortcutScheme; }
    bool autoCopyOnCapture() const { return m_autoCopyOnCapture; }
    bool soundEffectsEnabled() const { return m_soundEffectsEnabled; }
    double autoHideDelay() const { return m_autoHideDelay; }
    ImageExportFormat exportFormat() const { return m_exportFormat; }
    bool includeCursorInScreenshot() const { return m_includeCursorInScreenshot; }
    bool includeWindowShadow() const { return m_includeWindowShadow; }
    double screenshotTimerDelay() const { return m_screenshotTimerDelay; }
    int recordingFrameRate() const { return m_recordingFrameRate; }
    bool recordMicrophoneAudio() const { return m_recordMicrophoneAudio; }
    bool highlightMouseClicksInRecording() const { return m_highlightMouseClicksInRecording; }
    VideoExportFormat recordingExportFormat() const { return m_recordingExportFormat; }
    RecordingResolution recordingResolution() const { return m_recordingResolution; }
    bool hapticsEnabled() const { return m_hapticsEnabled; }
    bool openCorvantaAfterCapture() const { return m_openCorvantaAfterCapture; }
    bool showCaptureIndicator() const { return m_showCaptureIndicator; }
    bool showMagnifierInSelection() const { return m_showMagnifierInSelection; }
    QSet<QString> disabledTrayButtons() const { return m_disabledTrayButtons; }
    bool showFullScreenButton() const { return m_showFullScreenButton; }
    bool showAreaButton() const { return m_showAreaButton; }
    bool showWindowButton() const { return m_showWindowButton; }
    bool showRecordButton() const { return m_showRecordButton; }
    ShortcutData customFullDisplay() const { return m_customFullDisplay; }
    ShortcutData customArea() const { return m_customArea; }
    ShortcutData customWindow() const { return m_customWindow; }
    ShortcutData customRecord() const { return m_customRecord; }
    QString selectedCaptureMode() const { return m_selectedCaptureMode; }
    QString defaultSaveLocationName() const { return m_defaultSaveLocationName; }
    bool startHiddenInNotch() const { return m_startHiddenInNotch; }
    bool autoCollapseOnCursorLeave() const { return m_autoCollapseOnCursorLeave; }
    bool rememberLastCaptureMode() const { return m_rememberLastCaptureMode; }
    bool checkForUpdates() const { return m_checkForUpdates; }
    QString temporaryStorageLimit() const { return m_temporaryStorageLimit; }
    bool launchAtLogin() const { return m_launchAtLogin; }
    bool autoPinEnabled() const { return m_autoPinEnabled; }
    double pinSize() const { return m_pinSize; }
    bool pinDefaultGhostMode() const { return m_pinDefaultGhostMode; }
    double pinDefaultOpacity() const { return m_pinDefaultOpacity; }
    double pinAutoCloseDelay() const { return m_pinAutoCloseDelay; }
    PinTargetDisplay pinTargetDisplay() const { return m_pinTargetDisplay; }
    double pinPadding() const { return m_pinPadding; }
    PinPlacement pinPlacement() const { return m_pinPlacement; }
    PinBorderColor pinBorderColor() const { return m_pinBorderColor; }
    bool pinCloseOnCopy() const { return m_pinCloseOnCopy; }
    ShortcutData pinCloseAllShortcut() const { return m_pinCloseAllShortcut; }
    double pinBorderWidth() const { return m_pinBorderWidth; }
    double pinCornerRadius() const { return m_pinCornerRadius; }

    void setMaxQueueCapacity(int value)
    {
        assign(m_maxQueueCapacity, value, &SettingsStore::maxQueueCapacityChanged,
               Keys::maxQueueCapacity);
    }
    void setCopyRemovesCapture(bool value)
    {
        assign(m_copyRemovesCapture, value, &SettingsStore::copyRemovesCaptureChanged,
               Keys::copyRemovesCapture);
    }
    void setTrayPosition(TrayPosition value)
    {
        assign(m_trayPosition, value, &SettingsStore::trayPositionChanged, Keys::trayPosition);
    }
    void setTrayMaterial(TrayMaterialStyle value)
    {
        assign(m_trayMaterial, value, &SettingsStore::trayMaterialChanged, Keys::trayMaterial);
    }
    void setAccentTheme(AccentTheme value)
    {
        assign(m_accentTheme, value, &SettingsStore::accentThemeChanged, Keys::accentTheme);
    }
    void setTraySize(TraySize value)
    {
        assign(m_traySize, value, &SettingsStore::traySizeChanged, Keys::traySize);
    }
    void setWorkflowPreset(WorkflowPreset value)
    {
        assign(m_workflowPreset, value, &SettingsStore::workflowPresetChanged,
               Keys::workflowPreset);
    }
    void setShortcutScheme(ShortcutScheme value)
    {
        assign(m_shortcutScheme, value, &SettingsStore::shortcutSchemeChanged,
               Keys::shortcutScheme);
    }
    void setAutoCopyOnCapture(bool value)
    {
        assign(m_autoCopyOnCapture, value, &SettingsStore::autoCopyOnCaptureChanged,
               Keys::autoCopyOnCapture);
    }
    void setSoundEffectsEnabled(bool value)
    {
        assign(m_soundEffectsEnabled, value, &SettingsStore::soundEffectsEnabledChanged,
               Keys::soundEffectsEnabled);
    }
    void setAutoHideDelay(double value)
    {
        assign(m_autoHideDelay, value, &SettingsStore::autoHideDelayChanged, Keys::autoHideDelay);
    }
    void setExportFormat(ImageExportFormat value)
    {
        assign(m_exportFormat, value, &SettingsStore::exportFormatChanged, Keys::exportFormat);
    }
    void setIncludeCursorInScreenshot(bool value)
    {
        assign(m_includeCursorInScreenshot, value, &SettingsStore::includeCursorInScreenshotChanged,
               Keys::includeCursorInScreenshot);
    }
    void setIncludeWindowShadow(bool value)
    {
        assign(m_includeWindowShadow, value, &SettingsStore::includeWindowShadowChanged,
               Keys::includeWindowShadow);
    }
    void setScreenshotTimerDelay(double value)
    {
        assign(m_screenshotTimerDelay, value, &SettingsStore::screenshotTimerDelayChanged,
               Keys::screenshotTimerDelay);
    }
    void setRecordingFrameRate(int value)
    {
        assign(m_recordingFrameRate, value, &SettingsStore::recordingFrameRateChanged,
               Keys::recordingFrameRate);
    }
    void setRecordMicrophoneAudio(bool value)
    {
        assign(m_recordMicrophoneAudio, value, &SettingsStore::recordMicrophoneAudioChanged,
               Keys::recordMicrophoneAudio);
    }
    void setHighlightMouseClicksInRecording(bool value)
    {
        assign(m_highlightMouseClicksInRecording, value,
               &SettingsStore::highlightMouseClicksInRecordingChanged,
               Keys::highlightMouseClicksInRecording);
    }
    void setRecordingExportFormat(VideoExportFormat value)
    {
        assign(m_recordingExportFormat, value, &SettingsStore::recordingExportFormatChanged,
               Keys::recordingExportFormat);
    }
    void setRecordingResolution(RecordingResolution value)
    {
        assign(m_recordingResolution, value, &SettingsStore::recordingResolutionChanged,
               Keys::recordingResolution);
    }
    void setHapticsEnabled(bool value)
    {
        assign(m_hapticsEnabled, value, &SettingsStore::hapticsEnabledChanged,
               Keys::hapticsEnabled);
    }
    void setOpenCorvantaAfterCapture(bool value)
    {
        assign(m_openCorvantaAfterCapture, value, &SettingsStore::openCorvantaAfterCaptureChanged,
               Keys::openCorvantaAfterCapture);
    }
    void setShowCaptureIndicator(bool value)
    {
        assign(m_showCaptureIndicator, value, &SettingsStore::showCaptureIndicatorChanged,
               Keys::showCaptureIndicator);
    }
    void setShowMagnifierInSelection(bool value)
    {
        assign(m_showMagnifierInSelection, value, &SettingsStore::showMagnifierInSelectionChanged,
               Keys::showMagnifierInSelection);
    }
    void setDisabledTrayButtons(const QSet<QString> &value)
    {
        assign(m_disabledTrayButtons, value, &SettingsStore::disabledTrayButtonsChanged,
               Keys::disabledTrayButtons);
    }
    void setShowFullScreenButton(bool value)
    {
        assign(m_showFullScreenButton, value, &SettingsStore::showFullScreenButtonChanged,
               Keys::showFullScreenButton);
    }
    void setShowAreaButton(bool value)
    {
        assign(m_showAreaButton, value, &SettingsStore::showAreaButtonChanged,
               Keys::showAreaButton);
    }
    void setShowWindowButton(bool value)
    {
        assign(m_showWindowButton, value, &SettingsStore::showWindowButtonChanged,
               Keys::showWindowButton);
    }
    void setShowRecordButton(bool value)
    {
        assign(m_showRecordButton, value, &SettingsStore::showRecordButtonChanged,
               Keys::showRecordButton);
    }
    void setCustomFullDisplay(const ShortcutData &value)
    {
        assign(m_customFullDisplay, value, &SettingsStore::customFullDisplayChanged,
               Keys::customFullDisplay);
    }
    void setCustomArea(const ShortcutData &value)
    {
        assign(m_customArea, value, &SettingsStore::customAreaChanged, Keys::customArea);
    }
    void setCustomWindow(const ShortcutData &value)
    {
        assign(m_customWindow, value, &SettingsStore::customWindowChanged, Keys::customWindow);
    }
    void setCustomRecord(const ShortcutData &value)
    {
        assign(m_customRecord, value, &SettingsStore::customRecordChanged, Keys::customRecord);
    }
    void setSelectedCaptureMode(const QString &value)
    {
        assign(m_selectedCaptureMode, value, &SettingsStore::selectedCaptureModeChanged,
               Keys::selectedCaptureMode);
    }
    void setDefaultSaveLocationName(const QString &value)
    {
        assign(m_defaultSaveLocationName, value, &SettingsStore::defaultSaveLocationNameChanged,
               Keys::defaultSaveLocationName);
    }
    void setStartHiddenInNotch(bool value)
    {
        assign(m_startHiddenInNotch, value, &SettingsStore::startHiddenInNotchChanged,
               Keys::startHiddenInNotch);
    }
    void setAutoCollapseOnCursorLeave(bool value)
    {
        assign(m_autoCollapseOnCursorLeave, value, &SettingsStore::autoCollapseOnCursorLeaveChanged,
               Keys::autoCollapseOnCursorLeave);
    }
    void setRememberLastCaptureMode(bool value)
    {
        assign(m_rememberLastCaptureMode, value, &SettingsStore::rememberLastCaptureModeChanged,
               Keys::rememberLastCaptureMode);
    }
    void setCheckForUpdates(bool value)
    {
        assign(m_checkForUpdates, value, &SettingsStore::checkForUpdatesChanged,
               Keys::checkForUpdates);
    }
    void setTemporaryStorageLimit(const QString &value)
    {
        assign(m_temporaryStorageLimit, value, &SettingsStore::temporaryStorageLimitChanged,
               Keys::temporaryStorageLimit);
    }
    void setLaunchAtLogin(bool value)
    {
        assign(m_launchAtLogin, value, &SettingsStore::launchAtLoginChanged, nullptr);
    }
    void setAutoPinEnabled(bool value)
    {
        assign(m_autoPinEnabled, value, &SettingsStore::autoPinEnabledChanged,
               Keys::autoPinEnabled);
    }
    void setPinSize(double value)
    {
        assign(m_pinSize, value, &SettingsStore::pinSizeChanged, Keys::pinSize);
    }
    void setPinDefaultGhostMode(bool value)
    {
        assign(m_pinDefaultGhostMode, value, &SettingsStore::pinDefaultGhostModeChanged,
               Keys::pinDefaultGhostMode);
    }
    void setPinDefaultOpacity(double value)
    {
        assign(m_pinDefaultOpacity, value, &SettingsStore::pinDefaultOpacityChanged,
               Keys::pinDefaultOpacity);
    }
    void setPinAutoCloseDelay(double value)
    {
        assign(m_pinAutoCloseDelay, value, &SettingsStore::pinAutoCloseDelayChanged,
               Keys::pinAutoCloseDelay);
    }
    void setPinTargetDisplay(PinTargetDisplay value)
    {
        assign(m_pinTargetDisplay, value, &SettingsStore::pinTargetDisplayChanged,
               Keys::pinTargetDisplay);
    }
    void setPinPadding(double value)
    {
        assign(m_pinPadding, value, &SettingsStore::pinPaddingChanged, Keys::pinPadding);
    }
    void setPinPlacement(PinPlacement value)
    {
        assign(m_pinPlacement, value, &SettingsStore::pinPlacementChanged, Keys::pinPlacement);
    }
    void setPinBorderColor(PinBorderColor value)
    {
        assign(m_pinBorderColor, value, &SettingsStore::pinBorderColorChanged,
               Keys::pinBorderColor);
    }
    void setPinCloseOnCopy(bool value)
    {
        assign(m_pinCloseOnCopy, value, &SettingsStore::pinCloseOnCopyChanged,
               Keys::pinCloseOnCopy);
    }
    void setPinCloseAllShortcut(const ShortcutData &value)
    {
        assign(m_pinCloseAllShortcut, value, &SettingsStore::pinCloseAllShortcutChanged,
               Keys::pinCloseAllShortcut);
    }
    void setPinBorderWidth(double value)
    {
        assign(m_pinBorderWidth, value, &SettingsStore::pinBorderWidthChanged,
               Keys::pinBorderWidth);
    }
    void setPinCornerRadius(double value)
    {
        assign(m_pinCornerRadius, value, &SettingsStore::pinCornerRadiusChanged,
               Keys::pinCornerRadius);
    }

    // Makes the preset the chosen one and assigns its settings one by one;
    // custom keeps the current settings.
    void applyWorkflowPreset(WorkflowPreset preset);
    // Registers or unregisters the login item. On success the pin settings
    // are read back from the file and launchAtLogin follows the login item;
    // a failure is logged and changes nothing.
    void updateLaunchAtLogin(bool enabled);
    void refreshLaunchAtLoginStatus();
    // The four global hot keys in force for the chosen scheme.
    ShortcutDefinition::ShortcutSet effectiveShortcuts() const;
    bool isTrayButtonEnabled(TrayButtonID button) const;
    void toggleTrayButton(TrayButtonID button);

signals:
    void maxQueueCapacityChanged(int value);
    void copyRemovesCaptureChanged(bool value);
    void trayPositionChanged(TrayPosition value);
    void trayMaterialChanged(TrayMaterialStyle value);
    void accentThemeChanged(AccentTheme value);
    void traySizeChanged(TraySize value);
    void workflowPresetChanged(WorkflowPreset value);
    void shortcutSchemeChanged(ShortcutScheme value);
    void autoCopyOnCaptureChanged(bool value);
    void soundEffectsEnabledChanged(bool value);
    void autoHideDelayChanged(double value);
    void exportFormatChanged(ImageExportFormat value);
    void includeCursorInScreenshotChanged(bool value);
    void includeWindowShadowChanged(bool value);
    void screenshotTimerDelayChanged(double value);
    void recordingFrameRateChanged(int value);
    void recordMicrophoneAudioChanged(bool value);
    void highlightMouseClicksInRecordingChanged(bool value);
    void recordingExportFormatChanged(VideoExportFormat value);
    void recordingResolutionChanged(RecordingResolution value);
    void hapticsEnabledChanged(bool value);
    void openCorvantaAfterCaptureChanged(bool value);
    void showCaptureIndicatorChanged(bool value);
    void showMagnifierInSelectionChanged(bool value);
    void disabledTrayButtonsChanged(const QSet<QString> &value);
    void showFullScreenButtonChanged(bool value);
    void showAreaButtonChanged(bool value);
    void showWindowButtonChanged(bool value);
    void showRecordButtonChanged(bool value);
    void customFullDisplayChanged(const ShortcutData &value);
    void customAreaChanged(const ShortcutData &value);
    void customWindowChanged(const ShortcutData &value);
    void customRecordChanged(const ShortcutData &value);
    void selectedCaptureModeChanged(const QString &value);
    void defaultSaveLocationNameChanged(const QString &value);
    void startHiddenInNotchChanged(bool value);
    void autoCollapseOnCursorLeaveChanged(bool value);
    void rememberLastCaptureModeChanged(bool value);
    void checkForUpdatesChanged(bool value);
    void temporaryStorageLimitChanged(const QString &value);
    void launchAtLoginChanged(bool value);
    void autoPinEnabledChanged(bool value);
    void pinSizeChanged(double value);
    void pinDefaultGhostModeChanged(bool value);
    void pinDefaultOpacityChanged(double value);
    void pinAutoCloseDelayChanged(double value);
    void pinTargetDisplayChanged(PinTargetDisplay value);
    void pinPaddingChanged(double value);
    void pinPlacementChanged(PinPlacement value);
    void pinBorderColorChanged(PinBorderColor value);
    void pinCloseOnCopyChanged(bool value);
    void pinCloseAllShortcutChanged(const ShortcutData &value);
    void pinBorderWidthChanged(double value);
    void pinCornerRadiusChanged(double value);

private:
    template <typename T, typename Arg>
    void assign(T &member, const T &value, void (SettingsStore::*changed)(Arg), const char *key)
    {
        member = value;
        if (m_loading)
            return;
        const T announced = member;
        emit(this->*changed)(announced);
        // Written as the property now holds it, in case a subscriber assigned again.
        if (key)
            persist(key, member);
    }

    void persist(const char *key, bool value);
    void persist(const char *key, int value);
    void persist(const char *key, double value);
    void persist(const char *key, const QString &value);
    void persist(const char *key, const QSet<QString> &value);
    void persist(const char *key, const ShortcutData &value);
    template <StoredEnum E> void persist(const char *key, E value)
    {
        persist(key, rawValue(value));
    }

    void loadPinSettings();

    UserDefaults &m_defaults;
    platform::LoginItem &m_loginItem;
    // While the file is first read, setters only store.
    bool m_loading = false;

    int m_maxQueueCapacity{};
    bool m_copyRemovesCapture{};
    TrayPosition m_trayPosition{};
    TrayMaterialStyle m_trayMaterial{};
    AccentTheme m_accentTheme{};
    TraySize m_traySize{};
    WorkflowPreset m_workflowPreset{};
    ShortcutScheme m_shortcutScheme{};
    bool m_autoCopyOnCapture{};
    bool m_soundEffectsEnabled{};
    double m_autoHideDelay{};
    ImageExportFormat m_exportFormat{};
    bool m_includeCursorInScreenshot{};
    bool m_includeWindowShadow{};
    double m_screenshotTimerDelay{};
    int m_recordingFrameRate{};
    bool m_recordMicrophoneAudio{};
    bool m_highlightMouseClicksInRecording{};
    VideoExportFormat m_recordingExportFormat{};
    RecordingResolution m_recordingResolution{};
    bool m_hapticsEnabled{};
    bool m_openCorvantaAfterCapture{};
    bool m_showCaptureIndicator{};
    bool m_showMagnifierInSelection{};
    QSet<QString> m_disabledTrayButtons{};
    bool m_showFullScreenButton{};
    bool m_showAreaButton{};
    bool m_showWindowButton{};
    bool m_showRecordButton{};
    ShortcutData m_customFullDisplay{};
    ShortcutData m_customArea{};
    ShortcutData m_customWindow{};
    ShortcutData m_customRecord{};
    QString m_selectedCaptureMode{};
    QString m_defaultSaveLocationName{};
    bool m_startHiddenInNotch{};
    bool m_autoCollapseOnCursorLeave{};
    bool m_rememberLastCaptureMode{};
    bool m_checkForUpdates{};
    QString m_temporaryStorageLimit{};
    bool m_launchAtLogin{};
    bool m_autoPinEnabled{};
    double m_pinSize{};
    bool m_pinDefaultGhostMode{};
    double m_pinDefaultOpacity{};
    double m_pinAutoCloseDelay{};
    PinTargetDisplay m_pinTargetDisplay{};
    double m_pinPadding{};
    PinPlacement m_pinPlacement{};
    PinBorderColor m_pinBorderColor{};
    bool m_pinCloseOnCopy{};
    ShortcutData m_pinCloseAllShortcut{};
    double m_pinBorderWidth{};
    double m_pinCornerRadius{};
};

// Sanitising reads for the numbers the store keeps as they were stored or
// assigned: a NaN, infinite or negative value never becomes an undefined or
// endless wait, a negative or unbounded size, or an opacity outside 0...1.

// Seconds of a delay or timer: NaN and negative give 0, anything above an
// hour (infinity included) gives an hour.
double sanitizedDelay(double seconds);
// Points of a size, padding, border width or corner radius: NaN, infinite and
// negative give the fallback; anything above 10000 gives 10000.
double sanitizedLength(double points, double fallback);
// NaN gives fully opaque; everything else is clamped to 0...1.
double sanitizedOpacity(double opacity);
// Frames a second of a recording: below 1 gives 1 (no frames would make no movie), above 240
// gives 240 (faster than any display refreshes, and a frame interval that rounds to nothing).
int sanitizedFrameRate(int framesPerSecond);
