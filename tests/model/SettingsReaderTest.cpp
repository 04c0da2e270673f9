#include "model/SettingsReader.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeLoginItem.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Settings files as earlier versions and hand edits left them, read through a copy so that the
// fixture stays as it is.
class SettingsFixtureTest : public ::testing::Test {
protected:
    SettingsStore &storeOver(const char *fixture)
    {
        m_path = m_dir.filePath(QString::fromLatin1(fixture));
        const QString source = QStringLiteral(CORVANTA_FIXTURES_DIR "/") + fixture;
        EXPECT_TRUE(QFile::copy(source, m_path)) << qPrintable(source);
        m_before = bytes();
        m_defaults = std::make_unique<UserDefaults>(m_path);
        m_store = std::make_unique<SettingsStore>(*m_defaults, m_loginItem);
        return *m_store;
    }

    QByteArray bytes() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
    QString m_path;
    QByteArray m_before;
    FakeLoginItem m_loginItem;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<SettingsStore> m_store;
};

} // namespace

TEST_F(SettingsFixtureTest, AnOutdatedFileKeepsWhatItCanAndIsNotRewritten)
{
    const SettingsStore &store = storeOver("OutdatedSettings.conf");
    // The old scheme label is recognised by its hot keys.
    EXPECT_EQ(store.shortcutScheme(), ShortcutScheme::commandShift);
    // Choices that are no longer stored strings give their defaults.
    EXPECT_EQ(store.trayPosition(), TrayPosition::notch);
    EXPECT_EQ(store.trayMaterial(), TrayMaterialStyle::liquidGlass);
    EXPECT_EQ(store.disabledTrayButtons(), (QSet<QString>{"pin", "Sparkle"}));
    // A shortcut without its display string is unreadable; one with every field is kept.
    EXPECT_EQ(store.customWindow(), defaultShortcut(20, "3"));
    EXPECT_EQ(store.customRecord(), (ShortcutData{9, 256, "x"}));
    EXPECT_EQ(store.selectedCaptureMode(), "Scrolling");
    EXPECT_EQ(store.pinPlacement(), PinPlacement::bottomLeft);
    EXPECT_EQ(store.pinSize(), 320.0);
    EXPECT_EQ(store.recordingFrameRate(), 30);
    // Untouched settings keep their defaults.
    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_TRUE(store.soundEffectsEnabled());

    m_store.reset();
    m_defaults.reset();
    EXPECT_EQ(bytes(), m_before);
}

TEST_F(SettingsFixtureTest, OddValuesFallBackOrStayForTheirUsersToSanitise)
{
    const SettingsStore &store = storeOver("OddSettings.conf");
    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_EQ(store.recordingFrameRate(), 60);
    EXPECT_TRUE(store.copyRemovesCapture());
    EXPECT_TRUE(store.hapticsEnabled());
    EXPECT_FALSE(store.soundEffectsEnabled());
    EXPECT_EQ(store.accentTheme(), AccentTheme::blue);
    EXPECT_EQ(store.pinSize(), 400.0);
    EXPECT_EQ(store.pinDefaultOpacity(), 1.0);
    EXPECT_EQ(store.pinBorderWidth(), 1.0);
    EXPECT_EQ(store.pinAutoCloseDelay(), 0.0);
    EXPECT_EQ(store.customArea(), defaultShortcut(19, "2"));
    EXPECT_EQ(store.pinCloseAllShortcut(), defaultShortcut(35, "P"));
    EXPECT_TRUE(store.disabledTrayButtons().isEmpty());
    EXPECT_EQ(store.temporaryStorageLimit(), "");
    // No number rule takes an infinite number.
    EXPECT_EQ(store.pinPadding(), 20.0);
    // Numbers whose users sanitise them are kept as stored.
    EXPECT_EQ(store.autoHideDelay(), -1.0);
    EXPECT_TRUE(std::isnan(store.screenshotTimerDelay()));

    m_store.reset();
    m_defaults.reset();
    EXPECT_EQ(bytes(), m_before);
}

TEST_F(SettingsFixtureTest, EachRuleReadsTheFixtureDirectly)
{
    storeOver("OddSettings.conf");
    const SettingsReader read(*m_defaults);
    EXPECT_EQ(read.count("maxQueueCapacity", 5), 5);
    EXPECT_FALSE(read.flag("soundEffectsEnabled", true));
    EXPECT_EQ(read.positive("pinSize", 7.0), 7.0);
    EXPECT_EQ(read.nonNegative("pinBorderWidth", 3.0), 3.0);
    EXPECT_EQ(read.nonNegative("absentKey", 3.0), 0.0);
    EXPECT_EQ(read.nonNegativeElse<5.0>("pinBorderWidth", 3.0), 5.0);
    EXPECT_EQ(read.nonNegativeElse<5.0>("pinDefaultOpacity", 3.0), 3.0);
    EXPECT_EQ(read.number("absentKey", 2.5), 2.5);
    EXPECT_EQ(read.choice("accentTheme", AccentTheme::green), AccentTheme::green);
    EXPECT_EQ(read.scheme("absentKey", ShortcutScheme::custom), ShortcutScheme::custom);
    EXPECT_EQ(read.nameSet("absentKey", {"copy"}), (QSet<QString>{"copy"}));
}
