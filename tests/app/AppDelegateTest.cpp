#include "app/AppDelegate.h"
#include "app/AppEnvironmentFixture.h"
#include "app/SystemWakeObserver.h"
#include "model/CaptureItem.h"
#include "model/CaptureQueue.h"
#include "model/TemporaryFiles.h"
#include "support/FakeStagingTray.h"
#include "support/WaitUntil.h"

#include <QDateTime>
#include <QDir>
#include <QSignalSpy>
#include <QUuid>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

class AppDelegateTest : public AppEnvironmentFixture {
protected:
    void SetUp() override { delegate = std::make_unique<AppDelegate>(build()); }
    void TearDown() override { delegate.reset(); }

    qsizetype registrations() const
    {
        return log.messages("hotkey").filter("Hotkeys registered for scheme").size();
    }

    std::unique_ptr<AppDelegate> delegate;
};

TEST_F(AppDelegateTest, LaunchRegistersOnceMoreAndRefreshesThePermission)
{
    const int preflights = fakes.permission->preflightCalls;
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(log.messages("capture").contains("Corvanta launched as menu bar utility"));
    EXPECT_EQ(registrations(), 2);
    EXPECT_EQ(fakes.globalHotkeys->active.size(), 5) << "exactly one set stays registered";
    EXPECT_EQ(fakes.permission->preflightCalls, preflights + 1);
}

TEST(AppDelegateTray, LaunchShowsTheTrayCompactAfterLaunchingReturns)
{
    class WithTray : public AppEnvironmentFixture {
    public:
        void TestBody() override {}
        EventLog trayLog;
        FakeStagingTrayFactory trays{trayLog};
        AppEnvironment &buildWithTray()
        {
            AppEnvironment::Options options = environmentOptions();
            options.trayFactory = trays.factory();
            environment = std::make_unique<AppEnvironment>(std::move(options));
            return *environment;
        }
    } fixture;
    AppDelegate delegate(fixture.buildWithTray());
    delegate.applicationDidFinishLaunching();
    EXPECT_FALSE(fixture.trayLog.contains("tray.show")) << "shown only after launching returned";
    EXPECT_TRUE(waitUntil([&] { return fixture.trayLog.contains("tray.show(compact)"); }));
}

TEST_F(AppDelegateTest, EachWakeRefreshesAfterTheCurrentTurn)
{
    delegate->applicationDidFinishLaunching();
    const int preflights = fakes.permission->preflightCalls;
    const QString wake = "System woke from sleep; refreshing permission state and hotkeys";

    // logind announces the end of a sleep with false; the start of one changes nothing.
    SystemWakeObserver observer;
    QObject::connect(&observer, &SystemWakeObserver::systemWoke, delegate.get(),
                     &AppDelegate::handleSystemWake);
    observer.handlePrepareForSleep(true);
    observer.handlePrepareForSleep(false);
    delegate->handleSystemWake();
    EXPECT_FALSE(log.messages("capture").contains(wake));
    ASSERT_TRUE(waitUntil([&] { return log.messages("capture").count(wake) == 2; }));
    EXPECT_EQ(fakes.permission->preflightCalls, preflights + 2);
    EXPECT_EQ(registrations(), 4);
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "19/6144", "20/6144", "21/6144", "35/6144"}));
}

TEST_F(AppDelegateTest, TerminationReleasesTheKeysAndDeletesEveryCaptureFileLeft)
{
    const auto capture = [this](QColor color) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(color);
        const CaptureItem item(QUuid::createUuid(), QDateTime::currentDateTime(), 1,
                               CaptureMode::area, image, std::nullopt, std::nullopt,
                               CaptureItemState::pending());
        environment->queue().enqueue(item);
        return item;
    };
    const CaptureItem removed = capture(Qt::darkRed);
    const CaptureItem staged = capture(Qt::darkCyan);
    const QDir captures(tempDir.capturesPath());
    ASSERT_TRUE(waitUntil(
        [&] { return captures.exists(staged.fileName()) && captures.exists(removed.fileName()); }));
    ASSERT_TRUE(removed.makeDragFileURL());
    environment->queue().remove(removed.id());
    ASSERT_TRUE(captures.exists(removed.fileName())) << "a removed capture's files wait a while";

    const auto delay = TemporaryFiles::cleanupDelay();
    // Before the launch: there is no activity to end, and the clean-up still happens.
    delegate->applicationWillTerminate();
    EXPECT_TRUE(log.messages("capture").contains(
        "Corvanta terminating; cleaning up hotkeys and staging queue"));
    EXPECT_TRUE(fakes.globalHotkeys->active.isEmpty());
    EXPECT_TRUE(environment->queue().items().isEmpty());
    EXPECT_EQ(captures.entryList(QDir::Files | QDir::Hidden), QStringList())
        << "deleted now, not minutes later";
    EXPECT_EQ(TemporaryFiles::cleanupDelay(), delay) << "later removals wait as before";
}

TEST_F(AppDelegateTest, LaunchRemovesWhatAnEarlierRunLeftBehind)
{
    // An empty private folder of a run that ended long ago.
    const QString leftover = tempDir.path() + "/CorvantaCaptures-Ab12Cd";
    ASSERT_TRUE(QDir().mkpath(leftover));
    QFile::setPermissions(leftover, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    timespec longAgo[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(leftover).constData(), longAgo, 0), 0);
    delegate->applicationDidFinishLaunching();
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(leftover); }));
}

TEST_F(AppDelegateTest, ALaunchAloneRemovesEveryRecordingAnEarlierRunLeftBehind)
{
    // A recording of a run killed a moment ago.
    const QString recording =
        tempDir.path() + "/Recording-0F2C4A3B-1D2E-4F50-8A9B-0C1D2E3F4A5B.mp4";
    QFile file(recording);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    timespec moment[2] = {{::time(nullptr) - 5, 0}, {::time(nullptr) - 5, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(recording).constData(), moment, 0), 0);
    delegate->applicationDidFinishLaunching(true);
    EXPECT_TRUE(waitUntil([&] { return !QFileInfo::exists(recording); }));
}

} // namespace
