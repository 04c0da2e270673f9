#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaMenuView.h"
#include "app/MenuModel.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "model/CaptureQueue.h"
#include "model/SettingsStore.h"
#include "support/WaitUntil.h"

#include <QAction>
#include <QApplication>
#include <QGlyphRun>
#include <QMenu>
#include <QTextLayout>

namespace {

// The titles top to bottom, a separator as "-".
QStringList titles(const QList<MenuItem> &items)
{
    QStringList result;
    for (const MenuItem &item : items)
        result << (item.isSeparator ? QStringLiteral("-") : item.title);
    return result;
}

TEST(MenuModel, EachSchemeShowsItsPresetHints)
{
    const QList<std::pair<ShortcutScheme, QStringList>> rows{
        {ShortcutScheme::controlOption, {"Ctrl+Alt+1", "Ctrl+Alt+2", "Ctrl+Alt+3", "Ctrl+Alt+4"}},
        {ShortcutScheme::commandShift,
         {"Shift+Super+6", "Shift+Super+7", "Shift+Super+8", "Shift+Super+9"}},
        {ShortcutScheme::commandControl,
         {"Ctrl+Super+1", "Ctrl+Super+2", "Ctrl+Super+3", "Ctrl+Super+4"}},
        {ShortcutScheme::custom, {"Ctrl+Alt+1", "Ctrl+Alt+2", "Ctrl+Alt+3", "Ctrl+Alt+4"}},
    };
    for (const auto &[scheme, hints] : rows) {
        const QList<MenuItem> items = MenuModel::items(scheme, 0, false);
        EXPECT_EQ(titles(items),
                  QStringList(
                      {"Capture Full Screen (" + hints[0] + ")", "Capture Area (" + hints[1] + ")",
                       "Capture Window (" + hints[2] + ")", "Screen Recording (" + hints[3] + ")",
                       "-", "Settings...", "Quit Corvanta"}))
            << rawValue(scheme).toStdString();
        EXPECT_EQ(items[1].shortcutHint, hints[1]);
        for (const MenuItem &item : items)
            EXPECT_TRUE(item.enabled);
    }
}

TEST(MenuModel, StagedCapturesAddTheTrayEntriesAndRecordingTheStopEntry)
{
    EXPECT_EQ(titles(MenuModel::items(ShortcutScheme::commandShift, 2, false)),
              QStringList({"Capture Full Screen (Shift+Super+6)", "Capture Area (Shift+Super+7)",
                           "Capture Window (Shift+Super+8)", "Screen Recording (Shift+Super+9)",
                           "-", "Show Tray (2 items)", "Clear All Pending Items", "-",
                           "Settings...", "Quit Corvanta"}));
    EXPECT_EQ(MenuModel::items(ShortcutScheme::controlOption, 1, false)[5].title,
              "Show Tray (1 item)");
    for (const ShortcutScheme scheme : allCases<ShortcutScheme>()) {
        const MenuItem record = MenuModel::items(scheme, 0, true)[3];
        EXPECT_EQ(record.title, "Stop Screen Recording (⏹)");
        EXPECT_EQ(record.command, MenuCommand::toggleScreenRecording);
    }
    // Drawn by an installed font, not as the box of a missing glyph.
    QTextLayout layout(QStringLiteral("Stop Screen Recording (⏹)"), QApplication::font("QMenu"));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns())
        EXPECT_FALSE(run.glyphIndexes().contains(0)) << run.rawFont().familyName().toStdString();
}

class CorvantaMenuViewTest : public AppEnvironmentFixture {
protected:
    QStringList shown() const
    {
        QStringList result;
        for (const QAction *action : view->menu()->actions())
            result << (action->isSeparator() ? QStringLiteral("-") : action->text());
        return result;
    }

    void SetUp() override { view = std::make_unique<CorvantaMenuView>(build()); }
    void TearDown() override { view.reset(); }

    std::unique_ptr<CorvantaMenuView> view;
};

TEST_F(CorvantaMenuViewTest, FollowsTheQueueAndTheSchemeAndHandsCommandsOn)
{
    EXPECT_EQ(shown(), titles(MenuModel::items(ShortcutScheme::controlOption, 0, false)));

    // Chosen from the menu, the capture starts after the menu has gone.
    view->menu()->actions().first()->trigger();
    EXPECT_TRUE(environment->queue().items().isEmpty());
    ASSERT_TRUE(waitUntil([&] { return environment->queue().items().size() == 1; }));
    EXPECT_EQ(shown()[5], "Show Tray (1 item)");

    environment->settingsStore().setShortcutScheme(ShortcutScheme::commandControl);
    EXPECT_EQ(shown(), titles(MenuModel::items(ShortcutScheme::commandControl, 1, false)));

    view->perform(MenuCommand::clearAllPendingItems);
    EXPECT_TRUE(environment->queue().items().isEmpty());
    EXPECT_EQ(shown().size(), 7);

    view->perform(MenuCommand::toggleScreenRecording);
    EXPECT_FALSE(environment->recordingModeSelector().isPending()) << "after the menu has gone";
    ASSERT_TRUE(waitUntil([&] { return environment->recordingModeSelector().isPending(); }));
    environment->recordingModeSelector().finish(std::nullopt);
    EXPECT_TRUE(waitUntil([&] {
        return log.messages("capture").contains("Area recording selection cancelled by user");
    }));
}

} // namespace
