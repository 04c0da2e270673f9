#include "WindowsFixture.h"

#include "support/AnimationClock.h"

#include "windows/AccentButton.h"
#include "windows/HotkeysPage.h"
#include "windows/MainWindow.h"
#include "windows/PageBlocks.h"
#include "windows/PinSettingsPage.h"
#include "windows/SettingsWindow.h"
#include "windows/ShortcutRecorder.h"
#include "windows/TrayPages.h"

#include <QComboBox>
#include <QLabel>
#include <QSpinBox>
#include <QTabWidget>

namespace {

class SettingsPagesTest : public WindowsFixture {};

// Values no control can show as they are: each control clamps or normalises them on display.
const QByteArray unusualFile = "[General]\n"
                               "maxQueueCapacity=100\n"
                               "autoHideDelay=7\n"
                               "pinSize=nan\n"
                               "pinPadding=500\n"
                               "pinBorderWidth=inf\n"
                               "pinCornerRadius=3\n"
                               "pinDefaultOpacity=0.1\n"
                               "pinAutoCloseDelay=-4\n"
                               "trayPosition=Somewhere\n"
                               "accentTheme=Graphite\n"
                               "workflowPreset=7\n"
                               "shortcutScheme=true\n"
                               "screenshotTimerDelay=nan\n"
                               "temporaryStorageLimit=12 GB\n"
                               "disabledTrayButtons=copy, bogus\n"
                               "recordingFrameRate=0\n"
                               "recordingExportFormat=WebM\n"
                               "exportFormat=TIFF\n"
                               "recordingResolution=4K\n";

TEST_F(SettingsPagesTest, OpeningEveryPageAndTabWritesNothing)
{
    makeStore(unusualFile);
    const QByteArray before = fileBytes();
    {
        MainWindow window(services());
        window.show();
        for (const SidebarTab tab : Sidebar::tabs())
            window.selectTab(tab);
        SettingsWindow settings(services());
        settings.show();
        for (int i = 0; i < settings.tabs()->count(); ++i)
            settings.tabs()->setCurrentIndex(i);

        // What they show is the sanitised value; a capacity past the stepper's range is in
        // effect and shown as it is.
        QSpinBox *stepper = named<QSpinBox>(window.page(SidebarTab::staging), "Max Queue Items");
        ASSERT_NE(stepper, nullptr);
        EXPECT_EQ(stepper->value(), 100);
        auto *width = named<StepSlider>(window.page(SidebarTab::pins), "Width");
        EXPECT_EQ(width->value(), width->positionFor(400));
        auto *padding =
            named<StepSlider>(window.page(SidebarTab::pins), "Padding from screen edges");
        EXPECT_EQ(padding->value(), padding->maximum());
        auto *dismiss = named<QComboBox>(&settings, "Auto-Dismiss Tray");
        EXPECT_EQ(dismiss->currentIndex(), -1);
        QWidget *dashboard = window.page(SidebarTab::dashboard);
        EXPECT_EQ(named<QComboBox>(dashboard, "Frame rate")->currentText(), "60 fps");
        EXPECT_EQ(named<QComboBox>(dashboard, "Recording format")->currentText(), "MP4");
        EXPECT_EQ(named<QComboBox>(dashboard, "Image format")->currentText(), "PNG (Lossless)");
        EXPECT_EQ(named<QComboBox>(dashboard, "Resolution")->currentText(), "Native");

        EXPECT_EQ(fileBytes(), before);

        // Another window edits the same store: both follow.
        store().setMaxQueueCapacity(3);
        EXPECT_EQ(stepper->value(), 3);
        EXPECT_EQ(named<QSpinBox>(&settings, "Max Queue Items")->value(), 3);

        // A value beyond a control's range assigned elsewhere stays as assigned.
        store().setMaxQueueCapacity(40);
        store().setPinPadding(300);
        store().setPinCornerRadius(-2);
        store().setAutoHideDelay(12);
        EXPECT_EQ(stepper->value(), 40);
        EXPECT_EQ(named<QSpinBox>(&settings, "Max Queue Items")->value(), 40);
        QLabel *queueLabel = nullptr;
        for (QLabel *label : settings.findChildren<QLabel *>()) {
            if (label->text().startsWith("Max Queue Items"))
                queueLabel = label;
        }
        ASSERT_NE(queueLabel, nullptr);
        EXPECT_EQ(queueLabel->text(), "Max Queue Items: 40");
    }
    EXPECT_EQ(reread()->integerValue("maxQueueCapacity"), 40);
    EXPECT_EQ(reread()->doubleValue("pinPadding"), 300.0);
    EXPECT_EQ(reread()->doubleValue("pinCornerRadius"), -2.0);
    EXPECT_EQ(reread()->doubleValue("autoHideDelay"), 12.0);
    EXPECT_EQ(reread()->stringValue("trayPosition"), "Somewhere");
    EXPECT_EQ(reread()->stringValue("recordingExportFormat"), "WebM");
}

TEST_F(SettingsPagesTest, BadgesShowWholeNumbersAndADashForWhatIsNoNumber)
{
    using Badge = PinSettingsPage::Badge;
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::pixels, 400), "400px");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::pointsMax, 400), "400 pt max");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::points, 1.5), "1 pt");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::points, 0), "0 pt");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::percent, 0.45), "45%");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::delay, 0), "Never");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::delay, 15), "15s");
    // Only a delay of exactly nothing is "Never"; a short one keeps its seconds, dropped to
    // a whole number like every badge.
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::delay, 1), "1s");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::delay, 0.5), "0s");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::points, qQNaN()), "–");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::points, qInf()), "–");
    EXPECT_EQ(PinSettingsPage::badgeText(Badge::points, 1e30), "–");
}

TEST_F(SettingsPagesTest, PinPageWritesEachControlsKeyOnStep)
{
    makeStore();
    PinSettingsPage page(services());
    page.show();
    auto *width = named<StepSlider>(&page, "Width");
    width->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(reread()->doubleValue("pinSize"), 430.0);
    auto *opacity = named<StepSlider>(&page, "Default Opacity");
    opacity->setValue(opacity->minimum());
    EXPECT_DOUBLE_EQ(*reread()->doubleValue("pinDefaultOpacity"), 0.2);
    // Each stop is stored as the value it stands for, not the sum of the steps to it.
    for (int position = opacity->minimum(); position <= opacity->maximum(); ++position) {
        opacity->setValue(position);
        const double expected = (20 + position * 5) / 100.0;
        EXPECT_EQ(*reread()->doubleValue("pinDefaultOpacity"), expected) << position;
        EXPECT_EQ(*reread()->stringValue("pinDefaultOpacity"), QString::number(expected))
            << position;
    }
    opacity->setValue(opacity->minimum());
    auto *delay = named<StepSlider>(&page, "Close after");
    delay->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(reread()->doubleValue("pinAutoCloseDelay"), 5.0);

    click(named<QAbstractButton>(&page, "Bottom Left"));
    EXPECT_EQ(reread()->stringValue("pinPlacement"), "Bottom Left");
    int checked = 0;
    for (PlacementCell *cell : page.findChildren<PlacementCell *>())
        checked += cell->isSelected();
    EXPECT_EQ(checked, 1);

    auto *target = named<QComboBox>(&page, "Target Display");
    emit target->activated(1);
    EXPECT_EQ(reread()->stringValue("pinTargetDisplay"), "Main Display");
}

TEST_F(SettingsPagesTest, GhostModeAlsoSetsTheDefaultOpacity)
{
    makeStore("[General]\npinDefaultOpacity=0.7\n");
    PinSettingsPage page(services());
    page.show();
    auto *ghost = named<SwitchButton>(&page, "Default Ghost Mode");
    click(ghost);
    EXPECT_EQ(reread()->boolValue("pinDefaultGhostMode"), true);
    EXPECT_EQ(reread()->doubleValue("pinDefaultOpacity"), 0.45);
    auto *opacity = named<StepSlider>(&page, "Default Opacity");
    EXPECT_DOUBLE_EQ(opacity->valueAt(opacity->value()), 0.45);
    click(ghost);
    EXPECT_EQ(reread()->doubleValue("pinDefaultOpacity"), 1.0);
}

TEST_F(SettingsPagesTest, CloseAllShortcutResetsAndRegistersAndTheButtonClosesAllPins)
{
    makeStore();
    store().setPinCloseAllShortcut({5, 256, "⌘G"});
    PinSettingsPage page(services());
    page.show();
    ShortcutRecorderButton *recorder = page.closeAllRecorder();
    EXPECT_EQ(recorder->displayString(), "⌘G");
    click(recorder->findChild<QAbstractButton *>("resetButton"));
    const auto stored = ShortcutData::fromJsonText(*reread()->jsonText("pinCloseAllShortcut"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->keyCode, 35u);
    EXPECT_EQ(stored->carbonModifiers, 6144u);
    EXPECT_EQ(recorder->displayString(), "⌃⌥P");
    EXPECT_EQ(registeredSchemes.size(), 1);

    click(named<QAbstractButton>(&page, "Close All Pins"));
    EXPECT_EQ(closeAllCalls, 1);
}

TEST_F(SettingsPagesTest, SchemeRowsStoreTheSchemeThenRegisterIt)
{
    makeStore();
    RecordingIDBinding recording;
    HotkeysPage page(services(), &recording);
    page.show();
    click(named<QAbstractButton>(
        &page, "Shift + Super (Shift+Super+6, Shift+Super+7, Shift+Super+8, Shift+Super+9)"));
    EXPECT_EQ(registeredSchemes, QList<ShortcutScheme>({ShortcutScheme::commandShift}));
    EXPECT_EQ(reread()->stringValue("shortcutScheme"), "Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)");
    EXPECT_TRUE(page.recorders().isEmpty());
    EXPECT_EQ(page.findChild<QLabel *>("area")->text(), "Shift+Super+7");

    int selected = 0;
    for (SchemeRowButton *row : page.findChildren<SchemeRowButton *>())
        selected += row->isSelected();
    EXPECT_EQ(selected, 1);
}

TEST_F(SettingsPagesTest, CustomSchemeRecordersResetTheirShortcutAndRegisterAtOnce)
{
    makeStore();
    store().setCustomWindow({5, 256, "⌘G"});
    RecordingIDBinding recording;
    HotkeysPage page(services(), &recording);
    page.show();
    click(named<QAbstractButton>(&page, "Custom"));
    ASSERT_EQ(page.recorders().size(), 4);
    QStringList shown;
    for (ShortcutRecorderButton *recorder : page.recorders())
        shown << recorder->displayString();
    EXPECT_EQ(shown, QStringList({"⌃⌥1", "⌃⌥2", "⌘G", "⌃⌥4"}));

    registeredSchemes.clear();
    click(page.recorders()[2]->findChild<QAbstractButton *>("resetButton"));
    const auto stored = ShortcutData::fromJsonText(*reread()->jsonText("customWindowShortcut"));
    ASSERT_TRUE(stored);
    EXPECT_EQ(*stored, ShortcutData({20, 6144, "⌃⌥3"}));
    EXPECT_EQ(page.recorders()[2]->displayString(), "⌃⌥3");
    EXPECT_EQ(registeredSchemes, QList<ShortcutScheme>({ShortcutScheme::custom}));

    // Back to a preset and to custom again: the recorded shortcuts are still there.
    store().setCustomArea({6, 256, "⌘Z"});
    click(named<QAbstractButton>(&page,
                                 "Ctrl + Alt (Ctrl+Alt+1, Ctrl+Alt+2, Ctrl+Alt+3, Ctrl+Alt+4)"));
    click(named<QAbstractButton>(&page, "Custom"));
    EXPECT_EQ(page.recorders()[1]->displayString(), "⌘Z");
}

// Shortcuts the hot keys refuse (a key code no key has, no modifier) are unset; the recorders say
// so rather than show a combination that does nothing.
TEST_F(SettingsPagesTest, ShortcutsTheHotKeysRefuseAreShownUnset)
{
    makeStore();
    store().setShortcutScheme(ShortcutScheme::custom);
    store().setCustomArea({200, 6144, "⌃⌥?"});
    store().setCustomWindow({20, 0, "3"});
    store().setPinCloseAllShortcut({127, 6144, "⌃⌥127"});
    RecordingIDBinding recording;
    HotkeysPage hotkeys(services(), &recording);
    PinSettingsPage pins(services());
    const auto shown = [](ShortcutRecorderButton *recorder) {
        return recorder->findChild<QAbstractButton *>("recorderButton")->text();
    };
    QStringList texts;
    for (ShortcutRecorderButton *recorder : hotkeys.recorders())
        texts << shown(recorder);
    EXPECT_EQ(texts, QStringList({"Ctrl+Alt+1", "Not set", "Not set", "Ctrl+Alt+4"}));
    EXPECT_EQ(shown(pins.closeAllRecorder()), "Not set");

    store().setCustomArea({19, 6144, "⌃⌥2"});
    EXPECT_EQ(shown(hotkeys.recorders()[1]), "Ctrl+Alt+2");
}

TEST_F(SettingsPagesTest, RefusedHotKeyIsShownOnThePageThatChangedIt)
{
    makeStore();
    RecordingIDBinding recording;
    HotkeysPage page(services(), &recording);
    page.show();
    hotkeyFailure = "The key combination is taken by another program.";
    click(named<QAbstractButton>(&page, "Custom"));
    QLabel *warning = nullptr;
    for (QLabel *label : page.findChildren<QLabel *>()) {
        if (label->text().contains("taken by another program"))
            warning = label;
    }
    ASSERT_NE(warning, nullptr);
    EXPECT_TRUE(warning->isVisible());
    hotkeyFailure.clear();
    click(page.recorders()[0]->findChild<QAbstractButton *>("resetButton"));
    EXPECT_FALSE(warning->isVisible());
}

TEST_F(SettingsPagesTest, StagingAndAppearanceControlsWriteTheirKeys)
{
    makeStore();
    StagingPage staging(store());
    AppearancePage appearance(store());
    staging.show();
    appearance.show();

    auto *stepper = named<QSpinBox>(&staging, "Max Queue Items");
    EXPECT_EQ(stepper->value(), 8);
    stepper->stepUp();
    EXPECT_EQ(reread()->integerValue("maxQueueCapacity"), 9);
    stepper->setValue(16);
    stepper->stepUp();
    EXPECT_EQ(reread()->integerValue("maxQueueCapacity"), 16);
    click(named<SwitchButton>(&staging, "Auto-copy to clipboard immediately upon capture"));
    EXPECT_EQ(reread()->boolValue("autoCopyOnCapture"), true);

    emit named<QComboBox>(&appearance, "Tray Position")->activated(5);
    EXPECT_EQ(reread()->stringValue("trayPosition"), "Bottom Left Corner");
    emit named<QComboBox>(&appearance, "Backdrop Material")->activated(3);
    EXPECT_EQ(reread()->stringValue("trayMaterial"), "Dark Velvet (Opaque)");
    click(named<QAbstractButton>(&appearance, "Compact Mini"));
    EXPECT_EQ(reread()->stringValue("traySize"), "Compact Mini");
    click(named<QAbstractButton>(&appearance, "Mint Green"));
    EXPECT_EQ(reread()->stringValue("accentTheme"), "Mint Green");
    int ringed = 0;
    for (AccentSwatch *swatch : appearance.findChildren<AccentSwatch *>())
        ringed += swatch->isSelected();
    EXPECT_EQ(ringed, 1);
}

// A click moves the accent's ring and glow, and the placement's look, from the old choice to the
// new one over a short fade; a change made elsewhere shows at once.
TEST_F(SettingsPagesTest, SwatchesAndPlacementCellsFadeTheirChoiceOnAClick)
{
    AnimationClock animations;
    makeStore();
    AppearancePage appearance(store());
    PinSettingsPage pins(services());
    appearance.show();
    pins.show();
    // Easing in and out over `durationMs`, read 96 ms in and at the end.
    const auto fades = [&](AccentButton *from, AccentButton *to, int durationMs) {
        click(to);
        animations.advanceBy(96);
        const double p = 96.0 / durationMs;
        const double eased = p < 0.5 ? 2 * p * p : 1 - 2 * (1 - p) * (1 - p);
        EXPECT_NEAR(to->selection(), eased, 0.02) << qPrintable(to->accessibleName());
        EXPECT_NEAR(from->selection(), 1 - eased, 0.02) << qPrintable(from->accessibleName());
        animations.advanceBy(durationMs - 96);
        EXPECT_EQ(to->selection(), 1) << qPrintable(to->accessibleName());
        EXPECT_EQ(from->selection(), 0) << qPrintable(from->accessibleName());
    };
    auto *green = named<AccentSwatch>(&appearance, "Mint Green");
    fades(named<AccentSwatch>(&appearance, "Ocean Blue"), green, 150);
    fades(named<PlacementCell>(&pins, "Top Right"), named<PlacementCell>(&pins, "Bottom Left"),
          160);
    store().setAccentTheme(AccentTheme::orange);
    EXPECT_EQ(named<AccentSwatch>(&appearance, "Sunset Orange")->selection(), 1);

    // The glow is a soft shadow of the disc: strongest at its edge, fading to nothing.
    store().setAccentTheme(AccentTheme::green);
    QImage drawn(green->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(Qt::transparent);
    green->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    // The four pixels beyond the disc (24 wide, centred), outwards: ever fainter, never none.
    const int beyond = (green->width() + 24) / 2;
    const int y = green->height() / 2;
    for (int x = beyond; x < beyond + 3; ++x)
        EXPECT_GT(qAlpha(drawn.pixel(x, y)), qAlpha(drawn.pixel(x + 1, y))) << x;
    EXPECT_GT(qAlpha(drawn.pixel(beyond + 3, y)), 0);
}

TEST_F(SettingsPagesTest, TrayButtonSwitchesToggleMembershipAndStayInStepWithTheFile)
{
    makeStore();
    AppearancePage appearance(store());
    appearance.show();
    auto *remove = named<SwitchButton>(&appearance, "Delete Capture");
    EXPECT_TRUE(remove->isChecked());
    click(remove);
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), QStringList({"delete"}));
    EXPECT_FALSE(remove->isChecked());
    click(remove);
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), QStringList());

    // Rapid flips, some of them while the store changes underneath: the switch, the store and
    // the file agree after each.
    for (int i = 0; i < 25; ++i) {
        click(remove);
        if (i % 7 == 0)
            store().toggleTrayButton(TrayButtonID::delete_);
        const bool shown = store().isTrayButtonEnabled(TrayButtonID::delete_);
        EXPECT_EQ(remove->isChecked(), shown);
        EXPECT_EQ(reread()->stringArray("disabledTrayButtons")->contains("delete"), !shown);
    }
}

} // namespace
