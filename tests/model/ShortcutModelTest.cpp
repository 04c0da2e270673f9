#include "model/ShortcutModel.h"

#include <QJsonDocument>
#include <QKeyEvent>
#include <gtest/gtest.h>

TEST(ShortcutData, JsonRoundTripsAndIgnoresExtraMembers)
{
    const ShortcutData pins{35, 6144, QString::fromUtf8("⌃⌥P")};
    EXPECT_EQ(ShortcutData::fromJsonText(pins.toJsonText()), pins);

    const QJsonObject object = QJsonDocument::fromJson(pins.toJsonText()).object();
    EXPECT_EQ(object.value("keyCode").toInt(), 35);
    EXPECT_EQ(object.value("carbonModifiers").toInt(), 6144);
    EXPECT_EQ(object.value("displayString").toString(), QString::fromUtf8("⌃⌥P"));

    EXPECT_EQ(ShortcutData::fromJsonText(
                  R"({"displayString":"x","extra":[1],"carbonModifiers":256,"keyCode":0})"),
              (ShortcutData{0, 256, "x"}));
}

TEST(ShortcutData, JsonNeedsEveryMemberWithItsType)
{
    const char *rejected[] = {
        R"({"keyCode":35,"carbonModifiers":6144})",
        R"({"keyCode":"35","carbonModifiers":6144,"displayString":"P"})",
        R"({"keyCode":35,"carbonModifiers":6144,"displayString":5})",
        R"({"keyCode":35,"carbonModifiers":null,"displayString":"P"})",
        R"({"keyCode":-1,"carbonModifiers":6144,"displayString":"P"})",
        R"({"keyCode":1.5,"carbonModifiers":6144,"displayString":"P"})",
        R"({"keyCode":4294967296,"carbonModifiers":6144,"displayString":"P"})",
        R"([35,6144,"P"])",
        R"({"keyCode":35,)",
        "",
    };
    for (const char *text : rejected)
        EXPECT_FALSE(ShortcutData::fromJsonText(text)) << text;
    EXPECT_TRUE(ShortcutData::fromJsonText(
        R"({"keyCode":4294967295,"carbonModifiers":0,"displayString":""})"));
}

TEST(ShortcutData, KeyNames)
{
    EXPECT_EQ(ShortcutData::keyString(36, std::nullopt), QString::fromUtf8("↩"));
    EXPECT_EQ(ShortcutData::keyString(96, QStringLiteral("x")), "F5");
    EXPECT_EQ(ShortcutData::keyString(0, QStringLiteral("q")), "A");
    EXPECT_EQ(ShortcutData::keyString(22, std::nullopt), "6");
    EXPECT_EQ(ShortcutData::keyString(49, std::nullopt), "Space");
    EXPECT_EQ(ShortcutData::keyString(24, QStringLiteral("=")), "=");
    EXPECT_EQ(ShortcutData::keyString(24, QStringLiteral("\u00e9")), QStringLiteral("\u00c9"));
    EXPECT_EQ(ShortcutData::keyString(24, std::nullopt), "24");
    EXPECT_EQ(ShortcutData::keyString(200, QString()), "200");
}

TEST(ShortcutData, KeyEventsGiveThePlaceOfTheirKeyWhateverTheLayout)
{
    const auto from = [](quint32 scanCode, quint32 keysym) {
        return ShortcutData::from(QKeyEvent(QEvent::KeyPress, Qt::Key_unknown,
                                            Qt::ControlModifier | Qt::AltModifier, scanCode, keysym,
                                            0));
    };
    // The X keycodes of US 1 and P, typing & on AZERTY, L on Dvorak and Russian З.
    EXPECT_EQ(from(10, '&'), (ShortcutData{18, 6144, "⌃⌥1"}));
    EXPECT_EQ(from(33, 'l'), (ShortcutData{35, 6144, "⌃⌥P"}));
    EXPECT_EQ(from(33, 0x6da), (ShortcutData{35, 6144, "⌃⌥P"}));
    // The key beside the left Shift of European keyboards has no place on a US keyboard.
    EXPECT_FALSE(from(94, '<'));
    // Without a scan code (no window system) the symbol finds its key on a US keyboard.
    EXPECT_EQ(from(0, 'l'), (ShortcutData{37, 6144, "⌃⌥L"}));
}

TEST(ShortcutData, ShownWithThisDesktopsModifierAndKeyNames)
{
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌃⌥1")), "Ctrl+Alt+1");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⇧⌘6")), "Shift+Super+6");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌃⌘3")), "Ctrl+Super+3");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌃⌥⇧⌘←")), "Ctrl+Alt+Shift+Super+Left");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌘⎋")), "Super+Esc");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌃↩")), "Ctrl+Enter");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌥F5")), "Alt+F5");
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌃Space")), "Ctrl+Space");
    // Modifiers in this desktop's order, whatever order a stored string has them in.
    EXPECT_EQ(shortcutDisplayText(QString::fromUtf8("⌘⌃P")), "Ctrl+Super+P");
    EXPECT_EQ(shortcutDisplayText(QString()), QString());
}

TEST(ShortcutDefinition, PresetSchemes)
{
    const auto commandShift = ShortcutDefinition::shortcuts(ShortcutScheme::commandShift);
    EXPECT_EQ(commandShift.fullDisplay, ShortcutDefinition("fullDisplay", 22, 768, "⇧⌘6"));
    EXPECT_EQ(commandShift.area, ShortcutDefinition("area", 26, 768, "⇧⌘7"));
    EXPECT_EQ(commandShift.window, ShortcutDefinition("window", 28, 768, "⇧⌘8"));
    EXPECT_EQ(commandShift.record, ShortcutDefinition("record", 25, 768, "⇧⌘9"));

    const auto controlOption = ShortcutDefinition::shortcuts(ShortcutScheme::controlOption);
    EXPECT_EQ(controlOption.fullDisplay, ShortcutDefinition("fullDisplay", 18, 6144, "⌃⌥1"));
    EXPECT_EQ(controlOption.record, ShortcutDefinition("record", 21, 6144, "⌃⌥4"));

    const auto commandControl = ShortcutDefinition::shortcuts(ShortcutScheme::commandControl);
    EXPECT_EQ(commandControl.window, ShortcutDefinition("window", 20, 4352, "⌃⌘3"));

    EXPECT_EQ(ShortcutDefinition::shortcuts(ShortcutScheme::custom), controlOption);
    EXPECT_EQ(ShortcutDefinition("closeAllPins", ShortcutData{35, 6144, "⌃⌥P"}),
              ShortcutDefinition("closeAllPins", 35, 6144, "⌃⌥P"));
}
