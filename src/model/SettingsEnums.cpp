#include "model/SettingsEnums.h"

#include <iterator>

namespace {

// Derived values are tables in the enum's declaration order, like its
// stored strings, so a new case is one entry in each table.
template <typename E, typename T, size_t N> T at(const T (&table)[N], E value)
{
    static_assert(N == StoredEnumStrings<E>::values.size());
    return table[static_cast<size_t>(value)];
}

template <typename E, size_t N> QString text(const char *const (&table)[N], E value)
{
    static_assert(N == StoredEnumStrings<E>::values.size());
    return QString::fromUtf8(std::data(table)[static_cast<size_t>(value)]);
}

// The desktop's usual system colours, so the accents look familiar.
constexpr QRgb systemBlue = 0xff007aff;
constexpr QRgb systemPurple = 0xffaf52de;
constexpr QRgb systemOrange = 0xffff9500;
constexpr QRgb systemGreen = 0xff34c759;
constexpr QRgb systemGray = 0xff8e8e93;
constexpr QRgb systemRed = 0xffff3b30;
constexpr QRgb systemYellow = 0xffffcc00;

} // namespace

QString displayName(TrayPosition position)
{
    // This desktop's displays have no notch: the tray sits at the top centre.
    return position == TrayPosition::notch ? QStringLiteral("Top Center") : rawValue(position);
}

// The four corners are the last cases.
bool isCorner(TrayPosition position)
{
    return position >= TrayPosition::topLeft;
}

bool isBottom(TrayPosition position)
{
    return position == TrayPosition::floatingBottom || position == TrayPosition::bottomLeft ||
           position == TrayPosition::bottomRight;
}

QString displayName(TrayMaterialStyle style)
{
    // Without another maker's name.
    static constexpr const char *names[] = {"Liquid Glass", "Frosted Glass (Ultra Thin)",
                                            "Standard Translucent", "Dark Velvet (Opaque)"};
    return text(names, style);
}

Material material(TrayMaterialStyle style)
{
    static constexpr Material materials[] = {Material::ultraThin, Material::ultraThin,
                                             Material::regular, Material::thick};
    return at(materials, style);
}

QColor color(AccentTheme theme)
{
    static constexpr QRgb colors[] = {systemBlue, systemPurple, systemOrange, systemGreen,
                                      systemGray};
    return QColor::fromRgba(at(colors, theme));
}

QColor color(PinBorderColor borderColor)
{
    static constexpr QRgb colors[] = {0xffffffff, 0xff000000,  0x00000000,  systemRed,
                                      systemBlue, systemGreen, systemYellow};
    return QColor::fromRgba(at(colors, borderColor));
}

QString displayName(WorkflowPreset preset)
{
    return rawValue(preset);
}

QString caption(WorkflowPreset preset)
{
    // The researcher preset allows 14 items; its caption has always said 12.
    static constexpr const char *captions[] = {
        "Stage captures in memory, decide action when ready.",
        "Automatically copies to clipboard on capture and keeps in staging.",
        "Larger staging capacity (12 items), manual save workflow.",
        "Compact tray, auto-dismisses after 8 seconds.", "User-configured settings."};
    return text(captions, preset);
}

QString displayName(ShortcutScheme scheme)
{
    static constexpr const char *names[] = {
        "Ctrl + Alt (Ctrl+Alt+1, Ctrl+Alt+2, Ctrl+Alt+3, Ctrl+Alt+4)",
        "Shift + Super (Shift+Super+6, Shift+Super+7, Shift+Super+8, Shift+Super+9)",
        "Ctrl + Super (Ctrl+Super+1, Ctrl+Super+2, Ctrl+Super+3, Ctrl+Super+4)", "Custom"};
    return text(names, scheme);
}

QString fileExtension(ImageExportFormat format)
{
    static constexpr const char *extensions[] = {"png", "jpg", "heic"};
    return text(extensions, format);
}

QString fileExtension(VideoExportFormat format)
{
    static constexpr const char *extensions[] = {"mp4", "mov", "gif"};
    return text(extensions, format);
}

QString utType(ImageExportFormat format)
{
    static constexpr const char *types[] = {"image/png", "image/jpeg", "image/heic"};
    return text(types, format);
}

QString systemImage(PinPlacement placement)
{
    static constexpr const char *symbols[] = {"arrow.up.left", "arrow.up.right", "arrow.down.left",
                                              "arrow.down.right"};
    return text(symbols, placement);
}
