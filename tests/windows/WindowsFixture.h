#pragma once

#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeLoginItem.h"
#include "support/NamedWidgets.h"
#include "windows/PageBlocks.h"
#include "windows/WindowServices.h"

#include <QAbstractButton>
#include <QFile>
#include <QList>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <initializer_list>
#include <memory>

// A settings file of the test's own, the store over it and window services that record what the
// windows ask of the program.
class WindowsFixture : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Corvanta.conf")); }

    SettingsStore &makeStore(const QByteArray &content = {})
    {
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        m_defaults = std::make_unique<UserDefaults>(path());
        m_store = std::make_unique<SettingsStore>(*m_defaults, loginItem);
        return *m_store;
    }

    SettingsStore &store() const { return *m_store; }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file as a fresh reader sees it.
    std::unique_ptr<UserDefaults> reread() const { return std::make_unique<UserDefaults>(path()); }

    WindowServices services()
    {
        WindowServices services;
        services.settings = m_store.get();
        services.startCapture = [this](CaptureCard card) { captures << card; };
        services.registerHotkeys = [this] {
            registeredSchemes << m_store->shortcutScheme();
            return hotkeyFailure;
        };
        services.closeAllPins = [this] { ++closeAllCalls; };
        services.isSignedIn = [this] { return signedIn; };
        services.hasNotch = [this] { return hasNotch; };
        services.chooseFolder = [this] { return chosenFolder; };
        services.openUrl = [this](const QUrl &url) { openedUrls << url; };
        return services;
    }

    // The first widget of the type under `root` whose accessible name is `name`.
    template <typename T> static T *named(QWidget *root, const QString &name)
    {
        return namedWidget<T>(root, name);
    }
    static void click(QAbstractButton *button) { clickButton(button); }

    // Flips each named switch under `root` once, as a user does: the file then holds the flipped
    // value under the switch's key, and the switch shows it.
    void flipEachSwitch(QWidget *root,
                        std::initializer_list<std::pair<const char *, const char *>> switches)
    {
        for (const auto &[title, key] : switches) {
            SwitchButton *toggle = named<SwitchButton>(root, QString::fromUtf8(title));
            ASSERT_NE(toggle, nullptr) << title;
            const bool before = toggle->isChecked();
            click(toggle);
            EXPECT_EQ(reread()->boolValue(key), !before) << key;
            EXPECT_EQ(toggle->isChecked(), !before) << title;
        }
    }

    FakeLoginItem loginItem;
    QList<CaptureCard> captures;
    QList<ShortcutScheme> registeredSchemes;
    QString hotkeyFailure;
    int closeAllCalls = 0;
    bool signedIn = false;
    bool hasNotch = false;
    QString chosenFolder;
    QList<QUrl> openedUrls;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<SettingsStore> m_store;
};
