#include "model/SettingsEnums.h"

#include <gtest/gtest.h>

namespace {

// Every case survives its stored string, and no two cases share one.
template <typename E> void expectStoredStringsRoundTrip(qsizetype expectedCount)
{
    const QList<E> cases = allCases<E>();
    ASSERT_EQ(cases.size(), expectedCount);
    for (const E value : cases)
        EXPECT_EQ(enumFromRawValue<E>(rawValue(value)), value) << qPrintable(rawValue(value));
}

} // namespace

TEST(SettingsEnums, EveryCaseRoundTripsThroughItsStoredString)
{
    expectStoredStringsRoundTrip<TrayPosition>(7);
    expectStoredStringsRoundTrip<TrayMaterialStyle>(4);
    expectStoredStringsRoundTrip<AccentTheme>(5);
    expectStoredStringsRoundTrip<TraySize>(2);
    expectStoredStringsRoundTrip<WorkflowPreset>(5);
    expectStoredStringsRoundTrip<ShortcutScheme>(4);
    expectStoredStringsRoundTrip<ImageExportFormat>(3);
    expectStoredStringsRoundTrip<VideoExportFormat>(3);
    expectStoredStringsRoundTrip<RecordingResolution>(3);
    expectStoredStringsRoundTrip<TrayButtonID>(7);
    expectStoredStringsRoundTrip<PinPlacement>(4);
    expectStoredStringsRoundTrip<PinBorderColor>(7);
    expectStoredStringsRoundTrip<PinTargetDisplay>(2);
}

TEST(SettingsEnums, StoredStringsMatchExactly)
{
    EXPECT_EQ(enumFromRawValue<TrayPosition>("Notch / Top Center"), TrayPosition::notch);
    EXPECT_FALSE(enumFromRawValue<TrayPosition>("notch / top center"));
    EXPECT_FALSE(enumFromRawValue<TrayPosition>("Notch / Top Center "));
    EXPECT_FALSE(enumFromRawValue<VideoExportFormat>("gif"));
    EXPECT_EQ(enumFromRawValue<VideoExportFormat>("GIF"), VideoExportFormat::gif);
    EXPECT_FALSE(enumFromRawValue<TrayButtonID>("Copy"));
    EXPECT_EQ(enumFromRawValue<TrayButtonID>("delete"), TrayButtonID::delete_);
    EXPECT_EQ(enumFromRawValue<AccentTheme>("Graphite"), AccentTheme::monochrome);
    EXPECT_EQ(
        enumFromRawValue<ShortcutScheme>(QString::fromUtf8("Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)")),
        ShortcutScheme::commandShift);
    EXPECT_FALSE(enumFromRawValue<ShortcutScheme>("Control + Option (^Opt1, ^Opt2, ^Opt3, ^Opt4)"));
}

TEST(SettingsEnums, CasesAreListedInDeclarationOrder)
{
    EXPECT_EQ(allCases<WorkflowPreset>(),
              (QList<WorkflowPreset>{WorkflowPreset::corvantaDefault, WorkflowPreset::designerDev,
                                     WorkflowPreset::researcher, WorkflowPreset::minimalist,
                                     WorkflowPreset::custom}));
}

TEST(SettingsEnums, TrayPositionsKnowTheirCornerAndEdge)
{
    const auto expect = [](TrayPosition position, bool corner, bool bottom) {
        EXPECT_EQ(isCorner(position), corner) << qPrintable(displayName(position));
        EXPECT_EQ(isBottom(position), bottom) << qPrintable(displayName(position));
    };
    expect(TrayPosition::notch, false, false);
    expect(TrayPosition::floatingTop, false, false);
    expect(TrayPosition::floatingBottom, false, true);
    expect(TrayPosition::topLeft, true, false);
    expect(TrayPosition::topRight, true, false);
    expect(TrayPosition::bottomLeft, true, true);
    expect(TrayPosition::bottomRight, true, true);
    EXPECT_EQ(displayName(TrayPosition::topRight), "Top Right Corner");
}

TEST(SettingsEnums, DerivedValues)
{
    EXPECT_EQ(material(TrayMaterialStyle::liquidGlass), material(TrayMaterialStyle::ultraThin));
    EXPECT_EQ(material(TrayMaterialStyle::thick), Material::thick);

    EXPECT_EQ(fileExtension(ImageExportFormat::jpeg), "jpg");
    EXPECT_EQ(fileExtension(ImageExportFormat::heic), "heic");
    EXPECT_EQ(utType(ImageExportFormat::png), "image/png");
    EXPECT_EQ(utType(ImageExportFormat::jpeg), "image/jpeg");
    EXPECT_EQ(fileExtension(VideoExportFormat::gif), "gif");
    EXPECT_EQ(fileExtension(VideoExportFormat::mov), "mov");

    EXPECT_EQ(color(PinBorderColor::accent).alpha(), 0);
    EXPECT_EQ(color(PinBorderColor::black), QColor(Qt::black));
    EXPECT_EQ(color(PinBorderColor::blue), color(AccentTheme::blue));
    EXPECT_NE(color(AccentTheme::purple), color(AccentTheme::monochrome));

    EXPECT_EQ(systemImage(PinPlacement::bottomLeft), "arrow.down.left");
    EXPECT_EQ(displayName(WorkflowPreset::custom), "Custom");
    EXPECT_EQ(caption(WorkflowPreset::researcher),
              "Larger staging capacity (12 items), manual save workflow.");
    EXPECT_EQ(caption(WorkflowPreset::minimalist), "Compact tray, auto-dismisses after 8 seconds.");
}

// The pages show this desktop's words; the stored strings keep the other platform's.
TEST(SettingsEnums, ShownNamesUseThisDesktopsWords)
{
    EXPECT_EQ(displayName(ShortcutScheme::controlOption),
              "Ctrl + Alt (Ctrl+Alt+1, Ctrl+Alt+2, Ctrl+Alt+3, Ctrl+Alt+4)");
    EXPECT_EQ(displayName(ShortcutScheme::commandShift),
              "Shift + Super (Shift+Super+6, Shift+Super+7, Shift+Super+8, Shift+Super+9)");
    EXPECT_EQ(displayName(ShortcutScheme::commandControl),
              "Ctrl + Super (Ctrl+Super+1, Ctrl+Super+2, Ctrl+Super+3, Ctrl+Super+4)");
    EXPECT_EQ(displayName(ShortcutScheme::custom), "Custom");
    EXPECT_EQ(rawValue(ShortcutScheme::commandShift),
              QString::fromUtf8("Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)"));
    EXPECT_EQ(displayName(TrayMaterialStyle::liquidGlass), "Liquid Glass");
    EXPECT_EQ(rawValue(TrayMaterialStyle::liquidGlass), "Apple Liquid Glass");
    EXPECT_EQ(displayName(TrayMaterialStyle::thick), "Dark Velvet (Opaque)");
    EXPECT_EQ(displayName(ImageExportFormat::png), "PNG (Lossless)");
}
