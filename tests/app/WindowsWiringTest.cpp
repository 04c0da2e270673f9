#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaApp.h"
#include "app/CorvantaMenuView.h"
#include "capture/CaptureCoordinator.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "support/NamedWidgets.h"
#include "support/WaitUntil.h"
#include "windows/HotkeysPage.h"
#include "windows/MainWindow.h"
#include "windows/SettingsWindow.h"
#include "windows/ShortcutRecorder.h"

#include <QTabWidget>

#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

namespace {

class WindowsWiringTest : public AppEnvironmentFixture {
protected:
    std::unique_ptr<CorvantaApp> makeApp()
    {
        CorvantaApp::Options options;
        options.environment = environmentOptions();
        return std::make_unique<CorvantaApp>(std::move(options));
    }

    template <typename T> static T *named(QWidget *root, const QString &name)
    {
        return namedWidget<T>(root, name);
    }
    static void click(QAbstractButton *button) { clickButton(button); }
};

TEST_F(WindowsWiringTest, MenuOpensTheSettingsWindowAndASecondStartTheMainWindow)
{
    const auto app = makeApp();
    EXPECT_EQ(app->settingsWindow(), nullptr);
    app->menuView().perform(MenuCommand::showSettings);
    SettingsWindow *settings = app->settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    app->menuView().perform(MenuCommand::showSettings);
    EXPECT_EQ(app->settingsWindow(), settings);

    EXPECT_FALSE(app->mainWindow().isVisible());
    app->showMainWindow();
    EXPECT_TRUE(app->mainWindow().isVisible());
}

TEST_F(WindowsWiringTest, LaunchingShowsTheMainWindowWhichReopensWhereItWas)
{
    const auto app = makeApp();
    EXPECT_FALSE(app->mainWindow().isVisible());
    app->launch();
    EXPECT_TRUE(app->mainWindow().isVisible()) << "the first window opens at launch";
}

TEST_F(WindowsWiringTest, ChoosingASchemeInTheSettingsWindowRegistersOnceAndShowsItsRefusal)
{
    const auto app = makeApp();
    app->showSettingsWindow();
    SettingsWindow *settings = app->settingsWindow();
    ASSERT_NE(settings, nullptr);
    settings->tabs()->setCurrentIndex(2);
    QWidget *shortcuts = settings->tabs()->currentWidget();
    log.clear();
    // One refusal: a second registration would succeed and hide it.
    fakes.globalHotkeys->scripted.push_back({platform::HotkeyStatus::hotKeyExists, std::nullopt});
    // The schemes in their order: the second is Command + Shift.
    const QList<QRadioButton *> schemes = shortcuts->findChildren<QRadioButton *>();
    ASSERT_EQ(schemes.size(), 4);
    click(schemes[1]);
    EXPECT_EQ(app->environment().settingsStore().shortcutScheme(), ShortcutScheme::commandShift);
    QStringList registrations;
    for (const QString &line : log.messages("hotkey")) {
        if (line.startsWith("Hotkeys registered for scheme") ||
            line.startsWith("Failed to register global hotkeys"))
            registrations << line;
    }
    EXPECT_EQ(registrations.size(), 1) << registrations.join(u'\n').toStdString();
    bool shown = false;
    for (QLabel *label : shortcuts->findChildren<QLabel *>())
        shown |= label->isVisible() && label->text().contains("could not be registered");
    EXPECT_TRUE(shown);
}

TEST_F(WindowsWiringTest, HotKeyChangesOnTheHotkeysPageAreRegisteredAtOnce)
{
    const auto app = makeApp();
    MainWindow &window = app->mainWindow();
    window.show();
    window.selectTab(SidebarTab::hotkeys);
    QWidget *page = window.page(SidebarTab::hotkeys);
    const QStringList controlOption = grabbed();
    ASSERT_EQ(controlOption.size(), 5);

    click(named<QAbstractButton>(
        page, "Shift + Super (Shift+Super+6, Shift+Super+7, Shift+Super+8, Shift+Super+9)"));
    const QStringList commandShift = grabbed();
    EXPECT_EQ(commandShift.size(), 5);
    EXPECT_NE(commandShift, controlOption);

    app->environment().settingsStore().setCustomWindow({5, 256, "⌘G"});
    click(named<QAbstractButton>(page, "Custom"));
    const QStringList custom = grabbed();
    EXPECT_EQ(custom.size(), 5);
    EXPECT_NE(custom, controlOption);

    // Resetting the one changed shortcut gives the control + option keys again, at once.
    HotkeysPage *hotkeys = page->findChild<HotkeysPage *>();
    ASSERT_NE(hotkeys, nullptr);
    click(hotkeys->recorders()[2]->findChild<QAbstractButton *>("resetButton"));
    EXPECT_EQ(grabbed(), controlOption);
}

TEST_F(WindowsWiringTest, RefusedHotKeyIsShownAndQueueCapacityFollowsTheStepper)
{
    const auto app = makeApp();
    MainWindow &window = app->mainWindow();
    window.show();
    window.selectTab(SidebarTab::hotkeys);
    QWidget *page = window.page(SidebarTab::hotkeys);
    // Taken by another program: every key of both runs is refused, the environment's own and the
    // page's.
    for (int i = 0; i < 10; ++i)
        fakes.globalHotkeys->scripted.push_back(
            {platform::HotkeyStatus::hotKeyExists, std::nullopt});
    click(named<QAbstractButton>(
        page, "Ctrl + Super (Ctrl+Super+1, Ctrl+Super+2, Ctrl+Super+3, Ctrl+Super+4)"));
    bool shown = false;
    for (QLabel *label : page->findChildren<QLabel *>())
        shown |= label->isVisible() && label->text().contains("could not be registered");
    EXPECT_TRUE(shown);

    window.selectTab(SidebarTab::staging);
    auto *stepper = named<QSpinBox>(window.page(SidebarTab::staging), "Max Queue Items");
    ASSERT_NE(stepper, nullptr);
    stepper->setValue(3);
    EXPECT_EQ(app->environment().queue().maxCapacity(), 3);
}

TEST_F(WindowsWiringTest, DashboardChoicesAreUsedByTheNextCaptureAndSave)
{
    const auto app = makeApp();
    AppEnvironment &env = app->environment();
    MainWindow &window = app->mainWindow();
    window.show();
    QWidget *page = window.page(SidebarTab::dashboard);
    auto *format = named<QComboBox>(page, "Image format");
    ASSERT_NE(format, nullptr);
    const int jpeg = format->findText("JPEG (Compact)");
    format->setCurrentIndex(jpeg);
    emit format->activated(jpeg);
    click(named<QAbstractButton>(page, "Play sound"));
    window.hide();

    fakes.globalHotkeys->press(*fakes.globalHotkeys->grabbedAs(18, 6144));
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    EXPECT_TRUE(fakes.soundPlayer->calls.isEmpty());

    QCoro::Task<void> saving = env.captureCoordinator().saveCapture(env.queue().items().first());
    ASSERT_TRUE(waitUntil([&] { return !fakes.savePanel->shown.isEmpty(); }));
    const platform::SavePanelOptions offered = fakes.savePanel->shown.first();
    EXPECT_TRUE(offered.nameFieldStringValue.endsWith(".jpg"))
        << offered.nameFieldStringValue.toStdString();
    ASSERT_FALSE(offered.allowedContentTypes.isEmpty());
    EXPECT_EQ(offered.allowedContentTypes.first(), "image/jpeg");
    EXPECT_TRUE(waitUntil([&] { return saving.isReady(); }));
}

} // namespace
