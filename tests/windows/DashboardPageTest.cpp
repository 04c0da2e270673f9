#include "WindowsFixture.h"

#include "windows/DashboardPage.h"
#include "windows/PageBlocks.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QTemporaryDir>

namespace {

class DashboardPageTest : public WindowsFixture {
protected:
    CaptureCardButton *card(DashboardPage &page, const char *title)
    {
        return named<CaptureCardButton>(&page, QString::fromUtf8(title));
    }
};

TEST_F(DashboardPageTest, CardsStartTheirCaptureAndRememberTheChosenCard)
{
    makeStore();
    DashboardPage page(services());
    page.show();
    EXPECT_TRUE(card(page, "Area Selection")->isSelected());
    EXPECT_FALSE(card(page, "Full Screen")->isSelected());

    click(card(page, "Full Screen"));
    click(card(page, "Window Capture"));
    click(card(page, "Screen Recording"));
    EXPECT_EQ(captures, QList<CaptureCard>({CaptureCard::fullScreen, CaptureCard::window,
                                            CaptureCard::recording}));
    EXPECT_TRUE(card(page, "Screen Recording")->isSelected());
    EXPECT_FALSE(card(page, "Area Selection")->isSelected());
    EXPECT_EQ(reread()->stringValue("selectedCaptureMode"), "Screen Recording");
}

TEST_F(DashboardPageTest, CardsShowThePresetShortcutsOfTheScheme)
{
    makeStore();
    store().setCustomArea({5, 256, "⌘G"});
    DashboardPage page(services());
    const auto shortcuts = [&] {
        QStringList list;
        for (const char *title :
             {"Full Screen", "Area Selection", "Window Capture", "Screen Recording"})
            list << card(page, title)->shortcut();
        return list;
    };
    EXPECT_EQ(shortcuts(), QStringList({"Ctrl+Alt+1", "Ctrl+Alt+2", "Ctrl+Alt+3", "Ctrl+Alt+4"}));
    store().setShortcutScheme(ShortcutScheme::commandShift);
    EXPECT_EQ(shortcuts(),
              QStringList({"Shift+Super+6", "Shift+Super+7", "Shift+Super+8", "Shift+Super+9"}));
    store().setShortcutScheme(ShortcutScheme::custom);
    EXPECT_EQ(shortcuts(), QStringList({"Ctrl+Alt+1", "Ctrl+Alt+2", "Ctrl+Alt+3", "Ctrl+Alt+4"}));
}

TEST_F(DashboardPageTest, EverySwitchWritesItsOwnKey)
{
    makeStore();
    DashboardPage page(services());
    page.show();
    flipEachSwitch(&page,
                   {
                       {"Show capture indicator", "showCaptureIndicator"},
                       {"Play sound", "soundEffectsEnabled"},
                       {"Include cursor in screenshots", "includeCursorInScreenshot"},
                       {"Open Corvanta after capture (expanded)", "openCorvantaAfterCapture"},
                       {"Show magnifier in selection", "showMagnifierInSelection"},
                       {"Start hidden (compact tray only)", "startHiddenInNotch"},
                       {"Auto-collapse when cursor leaves", "autoCollapseOnCursorLeave"},
                       {"Remember last capture mode", "rememberLastCaptureMode"},
                       {"Check for updates", "checkForUpdates"},
                   });
    // Nothing but the nine keys was written.
    EXPECT_EQ(reread()->contains("screenshotTimerDelay"), false);
}

TEST_F(DashboardPageTest, CountdownSwitchWritesThreeSecondsOrNone)
{
    makeStore("[General]\nscreenshotTimerDelay=7.5\n");
    DashboardPage page(services());
    page.show();
    SwitchButton *countdown = named<SwitchButton>(&page, "Show countdown (3 seconds)");
    EXPECT_TRUE(countdown->isChecked());
    click(countdown);
    EXPECT_EQ(reread()->doubleValue("screenshotTimerDelay"), 0.0);
    click(countdown);
    EXPECT_EQ(reread()->doubleValue("screenshotTimerDelay"), 3.0);
}

TEST_F(DashboardPageTest, FolderChoiceStoresTheNameAndReportsFoldersThatCannotTakeFiles)
{
    makeStore();
    DashboardPage page(services());
    page.show();
    auto *folder = named<PickerFace>(&page, "Default Save Location");
    EXPECT_EQ(folder->text(), "Downloads");
    auto *problem = page.findChild<QLabel *>("folderProblem");
    ASSERT_NE(problem, nullptr);

    chosenFolder.clear();
    click(folder);
    EXPECT_FALSE(reread()->contains("defaultSaveLocationName"));

    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("Shots"));
    chosenFolder = dir.filePath("Shots");
    click(folder);
    EXPECT_EQ(reread()->stringValue("defaultSaveLocationName"), "Shots");
    EXPECT_EQ(folder->text(), "Shots");
    EXPECT_FALSE(problem->isVisible());

    chosenFolder = dir.filePath("Gone");
    click(folder);
    EXPECT_TRUE(problem->isVisible());
    EXPECT_TRUE(problem->text().contains("“Gone” no longer exists"));

    ASSERT_TRUE(QDir(dir.path()).mkdir("Locked"));
    QFile::setPermissions(dir.filePath("Locked"), QFile::ReadOwner | QFile::ExeOwner);
    chosenFolder = dir.filePath("Locked");
    click(folder);
    EXPECT_EQ(reread()->stringValue("defaultSaveLocationName"), "Locked");
    EXPECT_EQ(problem->isVisible(), !QFileInfo(dir.filePath("Locked")).isWritable());
    QFile::setPermissions(dir.filePath("Locked"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    chosenFolder = dir.filePath("Shots");
    click(folder);
    EXPECT_FALSE(problem->isVisible());

    chosenFolder = "/";
    click(folder);
    EXPECT_EQ(reread()->stringValue("defaultSaveLocationName"), "/");
    EXPECT_EQ(folder->text(), "/");
}

TEST_F(DashboardPageTest, RootFolderIsStoredAsSlash)
{
    EXPECT_EQ(DashboardPage::folderName("/"), "/");
    EXPECT_EQ(DashboardPage::folderName("/home/user/Pictures/"), "Pictures");
    EXPECT_EQ(DashboardPage::folderName("/home/user/Pictures"), "Pictures");
}

TEST_F(DashboardPageTest, StorageMenuStoresTheItemText)
{
    makeStore("[General]\ntemporaryStorageLimit=3 TB\n");
    DashboardPage page(services());
    auto *limit = named<PickerFace>(&page, "Temporary Storage Limit");
    EXPECT_EQ(limit->text(), "3 TB");
    QStringList items;
    for (QAction *action : limit->menu()->actions())
        items << action->text();
    EXPECT_EQ(items, DashboardPage::storageLimits());
    limit->menu()->actions().last()->trigger();
    EXPECT_EQ(reread()->stringValue("temporaryStorageLimit"), "Unlimited");
    EXPECT_EQ(limit->text(), "Unlimited");
}

} // namespace

namespace {

class DashboardOutputTest : public WindowsFixture {
protected:
    // Picks the entry as a user does: the pop-up reports the activation.
    static void pick(QComboBox *picker, const QString &text)
    {
        ASSERT_NE(picker, nullptr);
        const int index = picker->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        picker->setCurrentIndex(index);
        emit picker->activated(index);
    }
};

TEST_F(DashboardOutputTest, ScreenshotAndRecordingControlsWriteOnlyTheirKeys)
{
    makeStore();
    DashboardPage page(services());
    page.show();
    EXPECT_TRUE(fileBytes().trimmed().isEmpty());
    EXPECT_EQ(named<QComboBox>(&page, "Image format")->currentText(), "PNG (Lossless)");
    EXPECT_EQ(named<QComboBox>(&page, "Recording format")->currentText(), "MP4");
    EXPECT_EQ(named<QComboBox>(&page, "Frame rate")->currentText(), "60 fps");
    EXPECT_EQ(named<QComboBox>(&page, "Resolution")->currentText(), "Native");

    flipEachSwitch(&page, {
                              {"Include window shadow", "includeWindowShadow"},
                              {"Record sound", "recordMicrophoneAudio"},
                              {"Highlight mouse clicks", "highlightMouseClicksInRecording"},
                          });
    pick(named<QComboBox>(&page, "Image format"), "JPEG (Compact)");
    pick(named<QComboBox>(&page, "Recording format"), "GIF");
    pick(named<QComboBox>(&page, "Frame rate"), "24 fps");
    pick(named<QComboBox>(&page, "Resolution"), "720p");

    const auto file = reread();
    EXPECT_EQ(file->stringValue("exportFormat"), "JPEG (Compact)");
    EXPECT_EQ(file->stringValue("recordingExportFormat"), "GIF");
    EXPECT_EQ(file->integerValue("recordingFrameRate"), 24);
    EXPECT_EQ(file->stringValue("recordingResolution"), "720p");
    EXPECT_EQ(store().exportFormat(), ImageExportFormat::jpeg);
    EXPECT_EQ(store().recordingExportFormat(), VideoExportFormat::gif);
    EXPECT_EQ(store().recordingResolution(), RecordingResolution::hd720p);
    // Nothing but the seven keys.
    EXPECT_EQ(fileBytes().count('='), 7) << fileBytes().toStdString();
}

TEST_F(DashboardOutputTest, FrameRateShowsTheRateInUseAndWritesOnlyAPick)
{
    makeStore("[General]\nrecordingFrameRate=45\n");
    DashboardPage page(services());
    page.show();
    QComboBox *rate = named<QComboBox>(&page, "Frame rate");
    ASSERT_NE(rate, nullptr);
    EXPECT_EQ(rate->currentIndex(), -1);
    store().setRecordingFrameRate(1000);
    // The recorder would take 240: not offered, so no entry either.
    EXPECT_EQ(rate->currentIndex(), -1);
    store().setRecordingFrameRate(30);
    EXPECT_EQ(rate->currentText(), "30 fps");
    EXPECT_EQ(reread()->integerValue("recordingFrameRate"), 30);
    pick(rate, "15 fps");
    EXPECT_EQ(store().recordingFrameRate(), 15);
}

} // namespace
