#include "capture/PermissionManager.h"
#include "support/FakeScreenCapturePermission.h"
#include "support/FakeUrlOpener.h"
#include "support/Joined.h"
#include "support/LogCapture.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

class PermissionManagerTest : public ::testing::Test {
protected:
    std::unique_ptr<PermissionManager> makeManager()
    {
        return std::make_unique<PermissionManager>(permission, urlOpener);
    }

    std::shared_ptr<FakeScreenCapturePermission> permission =
        std::make_shared<FakeScreenCapturePermission>();
    std::shared_ptr<FakeUrlOpener> urlOpener = std::make_shared<FakeUrlOpener>();
    LogCapture log;
};

TEST_F(PermissionManagerTest, ANewManagerPublishesWhatItFoundAndEveryCheckIsAnnounced)
{
    permission->granted = false;
    EXPECT_FALSE(makeManager()->hasScreenCaptureAccess());
    permission->granted = true;
    const auto manager = makeManager();
    EXPECT_TRUE(manager->property("hasScreenCaptureAccess").toBool());
    EXPECT_EQ(permission->requestCalls, 0);

    QList<bool> announced; // read inside the signal: stored before it is announced
    QObject::connect(manager.get(), &PermissionManager::hasScreenCaptureAccessChanged,
                     [&] { announced << manager->hasScreenCaptureAccess(); });
    manager->checkScreenCaptureAccess();
    manager->checkScreenCaptureAccess();
    permission->granted = false;
    EXPECT_FALSE(manager->checkScreenCaptureAccess());
    EXPECT_EQ(announced, QList<bool>({true, true, false}));
    EXPECT_EQ(joined(log.messages("permissions")),
              joined({"Screen capture permission preflight: false",
                      "Screen capture permission preflight: true",
                      "Screen capture permission preflight: true",
                      "Screen capture permission preflight: true",
                      "Screen capture permission preflight: false"}));
}

TEST_F(PermissionManagerTest, ARequestStoresItsOwnAnswerUntilTheNextCheck)
{
    permission->granted = false;
    permission->grantedOnRequest = false;
    const auto manager = makeManager();
    log.clear();
    EXPECT_FALSE(manager->requestScreenCaptureAccess());
    permission->granted = true; // granted meanwhile
    EXPECT_FALSE(manager->hasScreenCaptureAccess());
    EXPECT_TRUE(manager->checkScreenCaptureAccess());
    permission->grantedOnRequest = true;
    EXPECT_TRUE(manager->requestScreenCaptureAccess());
    EXPECT_EQ(joined(log.messages("permissions")),
              joined({"Screen capture permission request result: false",
                      "Screen capture permission preflight: true",
                      "Screen capture permission request result: true"}));
}

TEST_F(PermissionManagerTest, SettingsOpenOnlyWhereTheDesktopHasAPage)
{
    const auto manager = makeManager();
    QSignalSpy spy(manager.get(), &PermissionManager::hasScreenCaptureAccessChanged);
    log.clear();
    manager->openScreenRecordingSettings();
    EXPECT_TRUE(urlOpener->opened.isEmpty());

    permission->url = QUrl(QStringLiteral("settings://privacy/screen"));
    urlOpener->opens = false; // a failed open is not reported
    manager->openScreenRecordingSettings();
    EXPECT_EQ(urlOpener->opened, QList<QUrl>({*permission->url}));
    EXPECT_EQ(log.messages("permissions"),
              QStringList(2, QStringLiteral("Opening System Settings for Screen Recording")));
    EXPECT_EQ(spy.count(), 0);
}

} // namespace
