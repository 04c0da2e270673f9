#pragma once

#include "model/SettingsEnums.h"
#include "model/ShortcutModel.h"

#include <QSet>
#include <QString>
#include <type_traits>

// The shipped hot keys are Control + Option with the key shown after the symbols.
ShortcutData defaultShortcut(quint32 keyCode, const char *key);

// A negative stored border width or corner radius reads as these; a fresh install has neither.
inline constexpr double pinBorderWidthIfNegative = 1.0;
inline constexpr double pinCornerRadiusIfNegative = 10.0;

// Every stored preference, one row each:
//   X(property, setter, type, key in the settings file, default, read rule)
// The default is what a fresh install gets, and what a stored value the rule does not accept
// gives; it is written here only, and reached elsewhere as SettingDefaults::property().
// SettingsStore declares each row's published property (getter, setter, change signal) and reads,
// writes and announces it from this row alone; the read rules are the functions of the same name
// in SettingsReader. Adding a setting is adding a row.
//
// The pin settings stand apart because they are read from the file again whenever the login item
// changes.
#define CORVANTA_GENERAL_SETTINGS(X)                                                               \
    X(maxQueueCapacity, setMaxQueueCapacity, int, "maxQueueCapacity", 8, count)                    \
    X(copyRemovesCapture, setCopyRemovesCapture, bool, "copyRemovesCapture", true, flag)           \
    X(trayPosition, setTrayPosition, TrayPosition, "trayPosition", TrayPosition::notch, choice)    \
    X(trayMaterial, setTrayMaterial, TrayMaterialStyle, "trayMaterial",                            \
      TrayMaterialStyle::liquidGlass, choice)                                                      \
    X(accentTheme, setAccentTheme, AccentTheme, "accentTheme", AccentTheme::blue, choice)          \
    X(traySize, setTraySize, TraySize, "traySize", TraySize::regular, choice)                      \
    X(workflowPreset, setWorkflowPreset, WorkflowPreset, "workflowPreset",                         \
      WorkflowPreset::corvantaDefault, choice)                                                     \
    X(shortcutScheme, setShortcutScheme, ShortcutScheme, "shortcutScheme",                         \
      ShortcutScheme::controlOption, scheme)                                                       \
    X(autoCopyOnCapture, setAutoCopyOnCapture, bool, "autoCopyOnCapture", false, flag)             \
    X(soundEffectsEnabled, setSoundEffectsEnabled, bool, "soundEffectsEnabled", true, flag)        \
    X(autoHideDelay, setAutoHideDelay, double, "autoHideDelay", 0.0, number)                       \
    X(exportFormat, setExportFormat, ImageExportFormat, "exportFormat", ImageExportFormat::png,    \
      choice)                                                                                      \
    X(includeCursorInScreenshot, setIncludeCursorInScreenshot, bool, "includeCursorInScreenshot",  \
      false, flag)                                                                                 \
    X(includeWindowShadow, setIncludeWindowShadow, bool, "includeWindowShadow", true, flag)        \
    X(screenshotTimerDelay, setScreenshotTimerDelay, double, "screenshotTimerDelay", 0.0, number)  \
    X(recordingFrameRate, setRecordingFrameRate, int, "recordingFrameRate", 60, count)             \
    X(recordMicrophoneAudio, setRecordMicrophoneAudio, bool, "recordMicrophoneAudio", false, flag) \
    X(highlightMouseClicksInRecording, setHighlightMouseClicksInRecording, bool,                   \
      "highlightMouseClicksInRecording", true, flag)                                               \
    X(recordingExportFormat, setRecordingExportFormat, VideoExportFormat, "recordingExportFormat", \
      VideoExportFormat::mp4, choice)                                                              \
    X(recordingResolution, setRecordingResolution, RecordingResolution, "recordingResolution",     \
      RecordingResolution::native, choice)                                                         \
    X(hapticsEnabled, setHapticsEnabled, bool, "hapticsEnabled", true, flag)                       \
    X(openCorvantaAfterCapture, setOpenCorvantaAfterCapture, bool, "openCorvantaAfterCapture",     \
      false, flag)                                                                                 \
    X(showCaptureIndicator, setShowCaptureIndicator, bool, "showCaptureIndicator", true, flag)     \
    X(showMagnifierInSelection, setShowMagnifierInSelection, bool, "showMagnifierInSelection",     \
      true, flag)                                                                                  \
    X(disabledTrayButtons, setDisabledTrayButtons, QSet<QString>, "disabledTrayButtons",           \
      QSet<QString>(), nameSet)                                                                    \
    X(showFullScreenButton, setShowFullScreenButton, bool, "showFullScreenButton", true, flag)     \
    X(showAreaButton, setShowAreaButton, bool, "showAreaButton", true, flag)                       \
    X(showWindowButton, setShowWindowButton, bool, "showWindowButton", true, flag)                 \
    X(showRecordButton, setShowRecordButton, bool, "showRecordButton", true, flag)                 \
    X(customFullDisplay, setCustomFullDisplay, ShortcutData, "customFullDisplayShortcut",          \
      defaultShortcut(18, "1"), shortcut)                                                          \
    X(customArea, setCustomArea, ShortcutData, "customAreaShortcut", defaultShortcut(19, "2"),     \
      shortcut)                                                                                    \
    X(customWindow, setCustomWindow, ShortcutData, "customWindowShortcut",                         \
      defaultShortcut(20, "3"), shortcut)                                                          \
    X(customRecord, setCustomRecord, ShortcutData, "customRecordShortcut",                         \
      defaultShortcut(21, "4"), shortcut)                                                          \
    X(selectedCaptureMode, setSelectedCaptureMode, QString, "selectedCaptureMode",                 \
      QStringLiteral("Area Selection"), text)                                                      \
    X(defaultSaveLocationName, setDefaultSaveLocationName, QString, "defaultSaveLocationName",     \
      QStringLiteral("Downloads"), text)                                                           \
    X(startHiddenInNotch, setStartHiddenInNotch, bool, "startHiddenInNotch", false, flag)          \
    X(autoCollapseOnCursorLeave, setAutoCollapseOnCursorLeave, bool, "autoCollapseOnCursorLeave",  \
      true, flag)                                                                                  \
    X(rememberLastCaptureMode, setRememberLastCaptureMode, bool, "rememberLastCaptureMode", true,  \
      flag)                                                                                        \
    X(checkForUpdates, setCheckForUpdates, bool, "checkForUpdates", true, flag)                    \
    X(temporaryStorageLimit, setTemporaryStorageLimit, QString, "temporaryStorageLimit",           \
      QStringLiteral("10 GB"), text)

#define CORVANTA_PIN_SETTINGS(X)                                                                   \
    X(autoPinEnabled, setAutoPinEnabled, bool, "autoPinEnabled", false, flag)                      \
    X(pinSize, setPinSize, double, "pinSize", 400.0, positive)                                     \
    X(pinDefaultGhostMode, setPinDefaultGhostMode, bool, "pinDefaultGhostMode", false, flag)       \
    X(pinDefaultOpacity, setPinDefaultOpacity, double, "pinDefaultOpacity", 1.0, positive)         \
    X(pinAutoCloseDelay, setPinAutoCloseDelay, double, "pinAutoCloseDelay", 0.0, nonNegative)      \
    X(pinTargetDisplay, setPinTargetDisplay, PinTargetDisplay, "pinTargetDisplay",                 \
      PinTargetDisplay::currentScreen, choice)                                                     \
    X(pinPadding, setPinPadding, double, "pinPadding", 20.0, positive)                             \
    X(pinPlacement, setPinPlacement, PinPlacement, "pinPlacement", PinPlacement::topRight, choice) \
    X(pinBorderColor, setPinBorderColor, PinBorderColor, "pinBorderColor", PinBorderColor::white,  \
      choice)                                                                                      \
    X(pinCloseOnCopy, setPinCloseOnCopy, bool, "pinCloseOnCopy", false, flag)                      \
    X(pinCloseAllShortcut, setPinCloseAllShortcut, ShortcutData, "pinCloseAllShortcut",            \
      defaultShortcut(35, "P"), shortcut)                                                          \
    X(pinBorderWidth, setPinBorderWidth, double, "pinBorderWidth", 0.0,                            \
      nonNegativeElse<pinBorderWidthIfNegative>)                                                   \
    X(pinCornerRadius, setPinCornerRadius, double, "pinCornerRadius", 0.0,                         \
      nonNegativeElse<pinCornerRadiusIfNegative>)

#define CORVANTA_SETTINGS(X) CORVANTA_GENERAL_SETTINGS(X) CORVANTA_PIN_SETTINGS(X)

// Setters take small values as they are and the others by reference.
template <typename T> using SettingArgument = std::conditional_t<std::is_scalar_v<T>, T, const T &>;

namespace SettingDefaults {
#define CORVANTA_SETTING_DEFAULT(name, setter, Type, key, fallback, rule)                          \
    inline Type name()                                                                             \
    {                                                                                              \
        return fallback;                                                                           \
    }
CORVANTA_SETTINGS(CORVANTA_SETTING_DEFAULT)
#undef CORVANTA_SETTING_DEFAULT
} // namespace SettingDefaults
