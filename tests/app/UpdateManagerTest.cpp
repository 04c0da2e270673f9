#include "app/UpdateManager.h"
#include "support/FakeUpdateFramework.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <gtest/gtest.h>

TEST(UpdateManager, WithoutAFrameworkAChecksCanNeverStart)
{
    UpdateManager manager;
    QSignalSpy changes(&manager, &UpdateManager::canCheckForUpdatesChanged);
    QCoreApplication::processEvents();
    EXPECT_FALSE(manager.canCheckForUpdates());
    manager.checkForUpdates();
    EXPECT_EQ(changes.count(), 0);
}

TEST(UpdateManager, MirrorsTheFrameworkThroughTheEventLoop)
{
    auto framework = std::make_shared<FakeUpdateFramework>();
    framework->canCheck = true;
    UpdateManager manager(framework);
    EXPECT_EQ(framework->starts, 1);
    EXPECT_FALSE(manager.canCheckForUpdates()) << "false until the first value arrives";
    QSignalSpy changes(&manager, &UpdateManager::canCheckForUpdatesChanged);

    QCoreApplication::processEvents();
    EXPECT_TRUE(manager.canCheckForUpdates());
    framework->setCanCheck(false);
    EXPECT_TRUE(manager.canCheckForUpdates());
    QCoreApplication::processEvents();
    EXPECT_FALSE(manager.canCheckForUpdates());
    EXPECT_EQ(changes.count(), 2);

    manager.checkForUpdates();
    EXPECT_EQ(framework->checks, 1);
}
