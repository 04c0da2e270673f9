#pragma once

#include "model/StoredEnum.h"

#include <QColor>

// The closed choices offered by the user preferences. Each persists as its
// stored string; except for TrayButtonID that string is also the label the
// settings pages show.

enum class TrayPosition : quint8 {
    notch,
    floatingTop,
    floatingBottom,
    topLeft,
    topRight,
    bottomLeft,
    bottomRight
};

template <> struct StoredEnumStrings<TrayPosition> {
    static constexpr std::array<const char *, 7> values = {
        "Notch / Top Center", "Floating Top",       "Floating Bottom",    "Top Left Corner",
        "Top Right Corner",   "Bottom Left Corner", "Bottom Right Corner"};
};

enum class TrayMaterialStyle : quint8 { liquidGlass, ultraThin, regular, thick };

template <> struct StoredEnumStrings<TrayMaterialStyle> {
    static constexpr std::array<const char *, 4> values = {
        "Apple Liquid Glass", "Frosted Glass (Ultra Thin)", "Standard Translucent",
        "Dark Velvet (Opaque)"};
};

// The translucency a tray background is drawn with.
enum class Material : quint8 { ultraThin, regular, thick };

enum class AccentTheme : quint8 { blue, purple, orange, green, monochrome };

template <> struct StoredEnumStrings<AccentTheme> {
    static constexpr std::array<const char *, 5> values = {
        "Ocean Blue", "Electric Purple", "Sunset Orange", "Mint Green", "Graphite"};
};

enum class TraySize : quint8 { regular, compact };

template <> struct StoredEnumStrings<TraySize> {
    static constexpr std::array<const char *, 2> values = {"Standard", "Compact Mini"};
};

enum class WorkflowPreset : quint8 { corvantaDefault, designerDev, researcher, minimalist, custom };

template <> struct StoredEnumStrings<WorkflowPreset> {
    static constexpr std::array<const char *, 5> values = {
        "Capture & Hold (Default)", "Designer & Dev (Auto-Copy)", "Researcher & Archival",
        "Minimalist Auto-Dismiss", "Custom"};
};

enum class ShortcutScheme : quint8 { controlOption, commandShift, commandControl, custom };

template <> struct StoredEnumStrings<ShortcutScheme> {
    static constexpr std::array<const char *, 4> values = {
        "Control + Option (⌃⌥1, ⌃⌥2, ⌃⌥3, ⌃⌥4)", "Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)",
        "Command + Control (⌃⌘1, ⌃⌘2, ⌃⌘3, ⌃⌘4)", "Custom"};
};

enum class ImageExportFormat : quint8 { png, jpeg, heic };

template <> struct StoredEnumStrings<ImageExportFormat> {
    static constexpr std::array<const char *, 3> values = {"PNG (Lossless)", "JPEG (Compact)",
                                                           "HEIC (High Efficiency)"};
};

enum class VideoExportFormat : quint8 { mp4, mov, gif };

template <> struct StoredEnumStrings<VideoExportFormat> {
    static constexpr std::array<const char *, 3> values = {"MP4", "MOV", "GIF"};
};

enum class RecordingResolution : quint8 { native, hd1080p, hd720p };

template <> struct StoredEnumStrings<RecordingResolution> {
    static constexpr std::array<const char *, 3> values = {"Native", "1080p", "720p"};
};

// The tray's per-item buttons. Their stored strings are identifiers, not labels.
enum class TrayButtonID : quint8 { copy, save, open, annotate, ocr, pin, delete_ };

template <> struct StoredEnumStrings<TrayButtonID> {
    static constexpr std::array<const char *, 7> values = {"copy", "save", "open",  "annotate",
                                                           "ocr",  "pin",  "delete"};
};

enum class PinPlacement : quint8 { topLeft, topRight, bottomLeft, bottomRight };

template <> struct StoredEnumStrings<PinPlacement> {
    static constexpr std::array<const char *, 4> values = {"Top Left", "Top Right", "Bottom Left",
                                                           "Bottom Right"};
};

enum class PinBorderColor : quint8 { white, black, accent, red, blue, green, yellow };

template <> struct StoredEnumStrings<PinBorderColor> {
    static constexpr std::array<const char *, 7> values = {"White", "Black", "Accent Theme", "Red",
                                                           "Blue",  "Green", "Yellow"};
};

enum class PinTargetDisplay : quint8 { currentScreen, mainScreen };

template <> struct StoredEnumStrings<PinTargetDisplay> {
    static constexpr std::array<const char *, 2> values = {"Display with Mouse", "Main Display"};
};

// What the pages show for a choice: its stored string, unless this desktop calls it otherwise
// (the overloads below). The stored strings never change.
template <StoredEnum E> QString displayName(E value)
{
    return rawValue(value);
}

QString displayName(TrayPosition position);
QString displayName(TrayMaterialStyle style);
bool isCorner(TrayPosition position);
bool isBottom(TrayPosition position);

Material material(TrayMaterialStyle style);

QColor color(AccentTheme theme);
// accent has no colour of its own (transparent): whoever draws a pin border
// with it uses the colour of the current accent theme instead.
QColor color(PinBorderColor borderColor);

QString displayName(WorkflowPreset preset);
QString caption(WorkflowPreset preset);

// In this desktop's words: "Ctrl + Alt (Ctrl+Alt+1, …)".
QString displayName(ShortcutScheme scheme);

// Extensions come without the dot.
QString fileExtension(ImageExportFormat format);
QString fileExtension(VideoExportFormat format);
// The MIME type the image is written as.
QString utType(ImageExportFormat format);

// The symbol shown beside the choice, by its symbol name.
QString systemImage(PinPlacement placement);
