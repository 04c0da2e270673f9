#include "app/AppEnvironmentFixture.h"
#include "app/CorvantaMenuView.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ModeSelectorView.h"
#include "capture/RecordingHUDController.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ScreenRecordingService.h"
#include "model/CaptureQueue.h"
#include "support/FakeFrameSources.h"
#include "support/FakeMovieWriters.h"
#include "support/FakePanelWindows.h"
#include "support/FakePointerMonitor.h"
#include "support/FakePosterFrames.h"
#include "support/WaitUntil.h"
#include "windows/DashboardPage.h"

#include <QAction>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

namespace {

// The program over doubles, the recorder's parts, panels and pointer included.
class RecordingWiringTest : public AppEnvironmentFixture {
protected:
    AppEnvironment &buildWithRecorder()
    {
        AppEnvironment::Options options = environmentOptions();
        options.makePlatform = [this] {
            AppPlatform parts = fakes.platform();
            parts.panelWindows = panels;
            parts.makePointerMonitor = [] { return std::make_unique<FakePointerMonitor>(); };
            parts.makeRecordingPlatform = [this] {
                return platform::RecordingPlatform{frames, movies, posters, nullptr};
            };
            return parts;
        };
        environment = std::make_unique<AppEnvironment>(options);
        return *environment;
    }

    QString recordEntry() const { return menu->menu()->actions().at(3)->text(); }

    std::shared_ptr<FakePanelWindows> panels = std::make_shared<FakePanelWindows>();
    std::shared_ptr<FakeFrameSources> frames = std::make_shared<FakeFrameSources>();
    std::shared_ptr<FakeMovieWriters> movies = std::make_shared<FakeMovieWriters>();
    std::shared_ptr<FakePosterFrames> posters = std::make_shared<FakePosterFrames>();
    std::unique_ptr<CorvantaMenuView> menu;
};

TEST_F(RecordingWiringTest, HotkeyAndMenuTakeARecordingFromTheChooserToTheTray)
{
    AppEnvironment &env = buildWithRecorder();
    menu = std::make_unique<CorvantaMenuView>(env);
    EXPECT_TRUE(recordEntry().startsWith("Screen Recording"));

    // The record hot key opens the chooser.
    const std::optional<platform::HotkeyID> record = fakes.globalHotkeys->grabbedAs(21, 6144);
    ASSERT_TRUE(record);
    fakes.globalHotkeys->press(*record);
    ScreenRecordingModeSelector &chooser = env.recordingModeSelector();
    ASSERT_TRUE(waitUntil([&] { return chooser.isPending(); }));
    EXPECT_TRUE(panels->wasPrepared(chooser.panel()));

    QTest::mouseClick(chooser.view()->button(RecordingSelectionMode::fullScreen), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return env.captureCoordinator().isRecording(); }));
    EXPECT_EQ(frames->startCount, 1);
    EXPECT_EQ(recordEntry(), "Stop Screen Recording (⏹)");

    frames->deliverFrame(0);
    frames->deliverFrame(100'000);
    ASSERT_TRUE(waitUntil([&] {
        QMutexLocker lock(&movies->last->mutex);
        return movies->last->videoFrames > 0;
    }));

    // The menu's entry now stops it, and the movie is staged.
    menu->perform(MenuCommand::toggleScreenRecording);
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    const CaptureItem item = env.queue().items().first();
    EXPECT_EQ(item.mode(), CaptureMode::recording);
    EXPECT_EQ(item.videoURL()->toLocalFile(), movies->last->settings.filePath);
    ASSERT_TRUE(waitUntil([&] { return !env.captureCoordinator().isRecording(); }));
    EXPECT_TRUE(recordEntry().startsWith("Screen Recording"));
}

TEST_F(RecordingWiringTest, NextRecordingUsesTheDashboardsFormatAndRateAndAQuickStopKeepsIt)
{
    AppEnvironment &env = buildWithRecorder();
    menu = std::make_unique<CorvantaMenuView>(env);
    WindowServices services;
    services.settings = &env.settingsStore();
    DashboardPage page(services);
    const auto pick = [&page](const char *picker, const char *entry) {
        for (QComboBox *box : page.findChildren<QComboBox *>()) {
            if (box->accessibleName() == QLatin1String(picker)) {
                const int index = box->findText(QString::fromUtf8(entry));
                box->setCurrentIndex(index);
                emit box->activated(index);
            }
        }
    };
    pick("Recording format", "MOV");
    pick("Frame rate", "24 fps");

    menu->perform(MenuCommand::toggleScreenRecording);
    ScreenRecordingModeSelector &chooser = env.recordingModeSelector();
    ASSERT_TRUE(waitUntil([&] { return chooser.isPending(); }));
    QTest::mouseClick(chooser.view()->button(RecordingSelectionMode::fullScreen), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return env.captureCoordinator().isRecording(); }));
    ASSERT_NE(movies->last, nullptr);
    EXPECT_TRUE(movies->last->settings.filePath.endsWith(".mov"))
        << movies->last->settings.filePath.toStdString();
    EXPECT_EQ(movies->last->settings.container, platform::MovieContainer::quickTime);
    EXPECT_EQ(movies->last->settings.frameRate, 24);

    // Stopped at once, before the source's first frame, which comes only after the stop (a busy
    // machine): the stop waits for it, and the movie is staged.
    QTimer::singleShot(100ms, [this] { frames->deliverFrame(0); });
    menu->perform(MenuCommand::toggleScreenRecording);
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    EXPECT_TRUE(env.queue().items().first().videoURL()->toLocalFile().endsWith(".mov"));
    QMutexLocker lock(&movies->last->mutex);
    EXPECT_EQ(movies->last->videoFrames, 1);
    EXPECT_TRUE(movies->last->finished);
}

} // namespace
