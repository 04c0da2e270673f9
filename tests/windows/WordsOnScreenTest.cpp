#include "WindowsFixture.h"

#include "capture/PermissionManager.h"
#include "support/FakeScreenCapturePermission.h"
#include "support/FakeUrlOpener.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>

namespace {

class WordsOnScreenTest : public WindowsFixture {
protected:
    // Every text a user can read under `root`: labels, buttons and their tips, the entries of
    // pickers, tab titles and the names painted widgets show.
    static QStringList shownTexts(QWidget *root)
    {
        QStringList texts;
        QList<QWidget *> widgets = root->findChildren<QWidget *>();
        widgets.prepend(root);
        for (QWidget *widget : widgets) {
            texts << widget->windowTitle() << widget->toolTip() << widget->accessibleName()
                  << widget->accessibleDescription();
            if (auto *label = qobject_cast<QLabel *>(widget))
                texts << label->text();
            if (auto *button = qobject_cast<QAbstractButton *>(widget))
                texts << button->text();
            if (auto *picker = qobject_cast<QComboBox *>(widget)) {
                for (int i = 0; i < picker->count(); ++i)
                    texts << picker->itemText(i);
            }
            if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
                for (int i = 0; i < tabs->count(); ++i)
                    texts << tabs->tabText(i);
            }
        }
        texts.removeAll(QString());
        return texts;
    }

    // The texts that name another desktop's parts.
    static QStringList foreignWords(const QStringList &texts)
    {
        static const char *const words[] = {
            "Quick Look", "System Settings", "Authorized", "Privacy & Security",
            "notch",      "macOS",           "Finder"};
        QStringList found;
        for (const QString &text : texts) {
            for (const char *word : words) {
                if (text.contains(QLatin1String(word), Qt::CaseInsensitive))
                    found << text;
            }
        }
        return found;
    }

    // A control whose effect this desktop cannot have: disabled, saying why, and the reason
    // written in its row.
    static void expectUnavailable(QWidget *control, const QString &reason)
    {
        ASSERT_NE(control, nullptr);
        const std::string name = control->accessibleName().toStdString();
        EXPECT_FALSE(control->isEnabled()) << name;
        EXPECT_EQ(control->toolTip(), reason) << name;
        EXPECT_EQ(control->accessibleDescription(), reason) << name;
        if (auto *button = qobject_cast<QAbstractButton *>(control); button->isCheckable()) {
            EXPECT_FALSE(button->isChecked()) << name << " shows an effect it cannot have";
        }
        bool written = false;
        for (QWidget *row = control->parentWidget(); row && !written && !row->isWindow();
             row = row->parentWidget()) {
            for (QLabel *label : row->findChildren<QLabel *>())
                written = written || (label->text() == reason && label->isVisibleTo(row));
        }
        EXPECT_TRUE(written) << name << ": the reason is not shown";
    }
};

TEST_F(WordsOnScreenTest, EveryPageSpeaksThisDesktopsWords)
{
    makeStore();
    signedIn = true;
    MainWindow window(services());
    window.show();
    QStringList texts = shownTexts(&window);
    for (const SidebarTab tab : Sidebar::tabs()) {
        window.selectTab(tab);
        texts << shownTexts(window.page(tab));
    }
    SettingsWindow settings(services());
    settings.present();
    for (int i = 0; i < settings.tabs()->count(); ++i) {
        settings.tabs()->setCurrentIndex(i);
        texts << shownTexts(settings.tabs()->widget(i));
    }
    texts << shownTexts(&settings);
    EXPECT_EQ(foreignWords(texts), QStringList());
    // The stored values keep their words.
    store().setTrayPosition(TrayPosition::notch);
    EXPECT_EQ(reread()->stringValue("trayPosition"), "Notch / Top Center");
}

TEST_F(WordsOnScreenTest, ControlsThisDesktopCannotServeAreDisabledWithTheirReason)
{
    makeStore();
    store().setHapticsEnabled(true);
    signedIn = true;
    MainWindow window(services());
    window.show();
    SettingsWindow settings(services());
    settings.present();
    expectUnavailable(named<SwitchButton>(window.page(SidebarTab::dashboard), "Haptic feedback"),
                      QStringLiteral("Linux desktops have no haptic feedback."));
    expectUnavailable(named<SwitchButton>(&settings, "Haptic feedback on capture and actions"),
                      QStringLiteral("Linux desktops have no haptic feedback."));
    expectUnavailable(named<QPushButton>(&settings, "Open Desktop Settings"),
                      QStringLiteral("This desktop has no setting that allows screen capture."));
    EXPECT_TRUE(store().hapticsEnabled()) << "the stored value stays";

    // Where the desktop has a settings page for the permission, the button opens it.
    auto permission = std::make_shared<FakeScreenCapturePermission>();
    permission->url = QUrl(QStringLiteral("settings://screen-capture"));
    auto opener = std::make_shared<FakeUrlOpener>();
    PermissionManager manager(permission, opener);
    WindowServices withSettings = services();
    withSettings.permissionManager = &manager;
    SettingsWindow able(withSettings);
    auto *open = named<QPushButton>(&able, "Open Desktop Settings");
    ASSERT_NE(open, nullptr);
    EXPECT_TRUE(open->isEnabled());
    click(open);
    EXPECT_EQ(opener->opened, QList<QUrl>{*permission->url});
}

} // namespace
