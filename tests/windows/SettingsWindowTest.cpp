#include "WindowsFixture.h"

#include "windows/MainWindow.h"
#include "windows/PageBlocks.h"
#include "windows/PinSettingsPage.h"
#include "windows/SettingsWindow.h"
#include "windows/TrayPages.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>

namespace {

class SettingsWindowTest : public WindowsFixture {};

TEST_F(SettingsWindowTest, FixedWindowWithFiveTabsThatHidesOnClose)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    EXPECT_EQ(window.windowTitle(), "Settings");
    EXPECT_EQ(window.size(), QSize(720, 640));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    QStringList tabs;
    for (int i = 0; i < window.tabs()->count(); ++i)
        tabs << window.tabs()->tabText(i);
    EXPECT_EQ(tabs, QStringList({"Workflow", "Appearance", "Shortcuts", "General", "Pins"}));
    EXPECT_EQ(window.tabs()->currentIndex(), 0);
    // The tabs use the window, not a smaller box inside it.
    EXPECT_GE(window.tabs()->width(), window.QWidget::width() - 24);
    EXPECT_GE(window.tabs()->height(), window.QWidget::height() - 24);

    window.tabs()->setCurrentIndex(3);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    window.present();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.tabs()->currentIndex(), 3) << "the same window comes back";
}

TEST_F(SettingsWindowTest, ShowingRefreshesTheLoginItemState)
{
    makeStore();
    SettingsWindow window(services());
    auto *launch = named<SwitchButton>(&window, "Launch Corvanta at Login");
    EXPECT_FALSE(launch->isChecked());
    loginItem.currentStatus = platform::LoginItem::Status::enabled;
    window.present();
    EXPECT_TRUE(store().launchAtLogin());
    EXPECT_TRUE(launch->isChecked());
    EXPECT_FALSE(reread()->contains("launchAtLogin"));
}

TEST_F(SettingsWindowTest, RefusedLaunchAtLoginShowsTheStoredStateAgain)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    auto *launch = named<SwitchButton>(&window, "Launch Corvanta at Login");
    loginItem.failure = QStringLiteral("not allowed");
    click(launch);
    EXPECT_EQ(loginItem.registerCalls, 1);
    EXPECT_FALSE(store().launchAtLogin());
    EXPECT_FALSE(launch->isChecked());

    loginItem.failure.reset();
    click(launch);
    EXPECT_TRUE(store().launchAtLogin());
    EXPECT_TRUE(launch->isChecked());
}

TEST_F(SettingsWindowTest, PresetsApplyTheirSetsOnlyWhenTheChoiceChanges)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    auto *preset = named<QComboBox>(&window, "Active Preset");
    auto *caption = window.findChild<QLabel *>("presetCaption");
    EXPECT_EQ(caption->text(), "Stage captures in memory, decide action when ready.");

    emit preset->activated(2);
    auto file = reread();
    EXPECT_EQ(file->stringValue("workflowPreset"), "Researcher & Archival");
    EXPECT_EQ(file->integerValue("maxQueueCapacity"), 14);
    EXPECT_EQ(file->stringValue("accentTheme"), "Mint Green");
    EXPECT_EQ(named<QSpinBox>(&window, "Max Queue Items")->value(), 14);
    EXPECT_EQ(caption->text(), "Larger staging capacity (12 items), manual save workflow.");

    // A hand change stays; choosing the same preset again does not undo it.
    store().setMaxQueueCapacity(5);
    emit preset->activated(2);
    EXPECT_EQ(reread()->integerValue("maxQueueCapacity"), 5);

    emit preset->activated(3);
    file = reread();
    EXPECT_EQ(file->doubleValue("autoHideDelay"), 8.0);
    EXPECT_EQ(file->stringValue("traySize"), "Compact Mini");
    EXPECT_EQ(file->stringValue("trayMaterial"), "Frosted Glass (Ultra Thin)");
    EXPECT_EQ(named<QComboBox>(&window, "Auto-Dismiss Tray")->currentText(), "8 seconds");

    const QByteArray before = fileBytes();
    emit preset->activated(4);
    EXPECT_EQ(reread()->stringValue("workflowPreset"), "Custom");
    EXPECT_EQ(reread()->integerValue("maxQueueCapacity"), 4);
    EXPECT_EQ(caption->text(), "User-configured settings.");
    EXPECT_NE(fileBytes(), before);
}

TEST_F(SettingsWindowTest, ShortcutsTabShowsTheSchemeAndGeneralTabThePermission)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    QRadioButton *commandShift = nullptr;
    for (QRadioButton *radio : window.findChildren<QRadioButton *>()) {
        if (radio->text().startsWith("Shift + Super"))
            commandShift = radio;
    }
    ASSERT_NE(commandShift, nullptr);
    window.tabs()->setCurrentIndex(2);
    click(commandShift);
    EXPECT_EQ(reread()->stringValue("shortcutScheme"), "Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)");
    EXPECT_EQ(window.findChild<QLabel *>("schemeShortcut0")->text(), "Shift+Super+6");
    EXPECT_EQ(window.findChild<QLabel *>("schemeShortcut2")->text(), "Shift+Super+8");

    auto *sound = named<SwitchButton>(&window, "Play sound effects on capture and actions");
    click(sound);
    EXPECT_EQ(reread()->boolValue("soundEffectsEnabled"), false);

    EXPECT_EQ(window.findChild<QLabel *>("permissionStatus")->text(), "Screen Capture Not Allowed");

    emit named<QComboBox>(&window, "Auto-Dismiss Tray")->activated(4);
    EXPECT_EQ(reread()->doubleValue("autoHideDelay"), 30.0);
}

// The words a Linux user reads, while the settings file keeps its stored strings.
TEST_F(SettingsWindowTest, ShowsThisDesktopsWordsAndStoresTheStoredStrings)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    auto *material = named<QComboBox>(&window, "Backdrop Material");
    EXPECT_EQ(material->itemText(0), "Liquid Glass");
    emit material->activated(1);
    emit material->activated(0);
    EXPECT_EQ(reread()->stringValue("trayMaterial"), "Apple Liquid Glass");

    QStringList texts;
    for (const QLabel *label : window.findChildren<QLabel *>())
        texts << label->text();
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        texts << button->text();
    EXPECT_TRUE(texts.contains("Whisper-light screenshot staging for Linux"));
    for (const QString &text : texts) {
        for (const char *foreign :
             {"macOS", "Finder", "QuickTime", "Apple", "Tahoe", "⌘", "⌥", "⌃"})
            EXPECT_FALSE(text.contains(QString::fromUtf8(foreign))) << qPrintable(text);
    }
}

} // namespace

namespace {

// Each accent swatch lies on a faint black shadow that ends within a few pixels of its disc.
TEST_F(SettingsWindowTest, TheAccentSwatchesLieOnAFaintShadow)
{
    makeStore();
    SettingsWindow window(services());
    window.present();
    window.tabs()->setCurrentIndex(1);
    auto *swatch = named<AccentSwatch>(&window, "Mint Green");
    ASSERT_NE(swatch, nullptr);
    const QImage drawn =
        window.QWidget::grab(QRect(swatch->mapTo(&window, QPoint()), swatch->size())).toImage();
    // The disc is 20 wide, centred: the row just below it, and one beyond the shadow's reach.
    const int x = swatch->width() / 2;
    const int below = (swatch->height() + 20) / 2;
    EXPECT_LT(qGray(drawn.pixel(x, below)), qGray(drawn.pixel(x, below + 3)));
}

class SettingsControlsTest : public WindowsFixture {};

TEST_F(SettingsControlsTest, EverySwitchOfTheTabsWritesItsKeyAndTheOtherWindowFollows)
{
    makeStore();
    SettingsWindow settings(services());
    settings.present();
    MainWindow main(services());
    main.show();
    flipEachSwitch(&settings,
                   {
                       {"Auto-pin every capture to desktop", "autoPinEnabled"},
                       {"Auto-copy to clipboard immediately upon capture", "autoCopyOnCapture"},
                       {"Copying removes capture from staging", "copyRemovesCapture"},
                       {"Play sound effects on capture and actions", "soundEffectsEnabled"},
                       {"Auto-pin every capture", "autoPinEnabled"},
                       {"Close pin on copy", "pinCloseOnCopy"},
                       {"Show Full Screen button", "showFullScreenButton"},
                       {"Show Area Selection button", "showAreaButton"},
                       {"Show Window Capture button", "showWindowButton"},
                       {"Show Screen Recording button", "showRecordButton"},
                   });
    // The main window shows what the settings window wrote, and the other way round.
    EXPECT_TRUE(named<SwitchButton>(main.page(SidebarTab::pins), "Close pin on copy")->isChecked());
    SwitchButton *windowButton =
        named<SwitchButton>(main.page(SidebarTab::appearance), "Show Window Capture button");
    ASSERT_NE(windowButton, nullptr);
    EXPECT_FALSE(windowButton->isChecked());
    click(windowButton);
    EXPECT_EQ(reread()->boolValue("showWindowButton"), true);
    EXPECT_TRUE(named<SwitchButton>(&settings, "Show Window Capture button")->isChecked());
    EXPECT_FALSE(
        named<SwitchButton>(main.page(SidebarTab::staging), "Copying removes capture from staging")
            ->isChecked());
    click(named<QAbstractButton>(main.page(SidebarTab::appearance), "Electric Purple"));
    int ringed = 0;
    for (AccentSwatch *swatch : settings.findChildren<AccentSwatch *>())
        ringed += swatch->isSelected() && swatch->theme() == AccentTheme::purple;
    EXPECT_EQ(ringed, 1);
    click(named<SwitchButton>(&settings, "Recognize Text (OCR)"));
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), QStringList({"ocr"}));
    EXPECT_FALSE(named<SwitchButton>(main.page(SidebarTab::appearance), "Recognize Text (OCR)")
                     ->isChecked());
}

TEST_F(SettingsControlsTest, PinSlidersAndPickersWriteOnTheirSteps)
{
    makeStore();
    SettingsWindow settings(services());
    settings.present();
    settings.tabs()->setCurrentIndex(4);
    const std::tuple<const char *, const char *, double> sliders[] = {
        {"Padding from screen edges", "pinPadding", 12},
        {"Border Width", "pinBorderWidth", 0.5},
        {"Corner Radius", "pinCornerRadius", 2},
    };
    for (const auto &[name, key, afterFirstStep] : sliders) {
        auto *slider = named<StepSlider>(&settings, QString::fromUtf8(name));
        ASSERT_NE(slider, nullptr) << name;
        slider->setValue(slider->minimum());
        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        EXPECT_DOUBLE_EQ(*reread()->doubleValue(key), slider->lower() + slider->step()) << key;
        EXPECT_DOUBLE_EQ(slider->lower() + slider->step(), afterFirstStep) << key;
    }
    emit named<QComboBox>(&settings, "Border Color")->activated(2);
    EXPECT_EQ(reread()->stringValue("pinBorderColor"), "Accent Theme");
    emit named<QComboBox>(&settings, "Tray Position")->activated(1);
    EXPECT_EQ(reread()->stringValue("trayPosition"), "Floating Top");
}

} // namespace
