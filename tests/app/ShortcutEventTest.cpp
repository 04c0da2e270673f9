#include "model/ShortcutModel.h"

#include <QKeyEvent>
#include <gtest/gtest.h>

namespace {

// A key-down as Qt reports it on X11: the native virtual key is the key symbol, already
// shifted (Shift + 6 reports asciicircum).
std::optional<ShortcutData> fromKey(quint32 keysym, Qt::KeyboardModifiers modifiers,
                                    const QString &text = {})
{
    const QKeyEvent event(QEvent::KeyPress, Qt::Key_unknown, modifiers, 0, keysym, 0, text);
    return ShortcutData::from(event);
}

constexpr auto ctrl = Qt::ControlModifier;
constexpr auto alt = Qt::AltModifier;
constexpr auto shift = Qt::ShiftModifier;
constexpr auto meta = Qt::MetaModifier;

TEST(ShortcutFromEvent, ModifiersInGlyphOrderAndUsKeyCodes)
{
    EXPECT_EQ(fromKey('1', ctrl | alt, "1"), (ShortcutData{18, 6144, "⌃⌥1"}));
    // Pressed as ⌘ then ⇧, shown shift first.
    EXPECT_EQ(fromKey('^', meta | shift), (ShortcutData{22, 768, "⇧⌘6"}));
    EXPECT_EQ(fromKey('A', shift, "A"), (ShortcutData{0, 512, "⇧A"}));
    EXPECT_EQ(fromKey('a', ctrl, "\x01"), (ShortcutData{0, 4096, "⌃A"}));
    EXPECT_EQ(fromKey(0xffc2, ctrl), (ShortcutData{96, 4096, "⌃F5"}));
    EXPECT_EQ(fromKey(0xff51, ctrl | alt | shift | meta), (ShortcutData{123, 6912, "⌃⌥⇧⌘←"}));
    EXPECT_EQ(fromKey(0xfe20, ctrl | shift), (ShortcutData{48, 4608, "⌃⇧⇥"}));
}

TEST(ShortcutFromEvent, KeysWithoutFixedNameAreNamedByTheirUnshiftedCharacters)
{
    EXPECT_EQ(fromKey('=', ctrl, "="), (ShortcutData{24, 4096, "⌃="}));
    EXPECT_EQ(fromKey('+', ctrl | shift, "+"), (ShortcutData{24, 4608, "⌃⇧="}));
    EXPECT_EQ(fromKey(0xffb7, alt), (ShortcutData{89, 2048, "⌥7"}));     // keypad 7, NumLock on
    EXPECT_EQ(fromKey(0xff95, alt), (ShortcutData{89, 2048, "⌥7"}));     // the same, NumLock off
    EXPECT_EQ(fromKey(0xff50, ctrl), (ShortcutData{115, 4096, "⌃115"})); // Home types nothing

    EXPECT_EQ(ShortcutData::from(24, 4096, std::nullopt), (ShortcutData{24, 4096, "⌃24"}));
    EXPECT_EQ(ShortcutData::from(24, 4096, QStringLiteral("é")), (ShortcutData{24, 4096, "⌃É"}));
    EXPECT_EQ(ShortcutData::from(200, 256, QString()), (ShortcutData{200, 256, "⌘200"}));
}

TEST(ShortcutFromEvent, NothingWithoutOneOfTheFourModifiersOrWithoutAUsKey)
{
    EXPECT_FALSE(fromKey('k', Qt::NoModifier, "k"));
    EXPECT_FALSE(fromKey('K', Qt::NoModifier, "K")); // caps lock alone
    EXPECT_FALSE(fromKey(0xffb1, Qt::KeypadModifier, "1"));
    EXPECT_FALSE(fromKey('1', Qt::GroupSwitchModifier, "1"));
    EXPECT_FALSE(ShortcutData::from(18, 1024, QStringLiteral("1"))); // caps lock bit only

    // Keys a US keyboard does not have could never be registered.
    EXPECT_FALSE(fromKey(0xe9, ctrl, "é"));
    EXPECT_FALSE(fromKey(0xffe3, ctrl)); // Control_L
    // `+` typed without Shift is not the US `=` key.
    EXPECT_FALSE(fromKey('+', ctrl, "+"));
    EXPECT_FALSE(fromKey(0, ctrl | alt));
}

TEST(ShortcutJson, FractionalNegativeOrOversizedModifiersAreRejected)
{
    for (const char *text : {
             R"({"keyCode":18,"carbonModifiers":6144.5,"displayString":"x"})",
             R"({"keyCode":18,"carbonModifiers":-6144,"displayString":"x"})",
             R"({"keyCode":18,"carbonModifiers":4294967296,"displayString":"x"})",
             R"({"keyCode":18,"carbonModifiers":1e300,"displayString":"x"})",
             R"({"keyCode":-0.5,"carbonModifiers":6144,"displayString":"x"})",
             R"({"keyCode":1e20,"carbonModifiers":6144,"displayString":"x"})",
         }) {
        EXPECT_FALSE(ShortcutData::fromJsonText(text)) << text;
    }
    EXPECT_EQ(ShortcutData::fromJsonText(
                  R"({"keyCode":18.0,"carbonModifiers":6144,"displayString":"x"})"),
              (ShortcutData{18, 6144, "x"}));
}

} // namespace
