#include "app/GlobalHotkeyManager.h"
#include "model/CaptureErrors.h"
#include "support/FakeGlobalHotkeys.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

using platform::HotkeyID;
using platform::HotkeyStatus::eventNotHandled;

namespace {

constexpr quint32 cvnt = GlobalHotkeyManager::hotKeySignature;
const ShortcutDefinition controlOptionOne("fullDisplay", 18, 6144, "⌃⌥1");

class GlobalHotkeyManagerTest : public ::testing::Test {
protected:
    // The five shortcuts one set-up registers, in their order.
    void registerScheme(QList<int> *presses = nullptr)
    {
        const auto set = ShortcutDefinition::shortcuts(ShortcutScheme::controlOption);
        int index = 0;
        for (const ShortcutDefinition &definition :
             {set.fullDisplay, set.area, set.window, set.record,
              ShortcutDefinition("closeAllPins", 35, 6144, "⌃⌥P")}) {
            manager->registerHotkey(definition, [presses, index] {
                if (presses)
                    *presses << index;
            });
            ++index;
        }
    }
    QList<quint32> requestedIDs() const
    {
        QList<quint32> ids;
        for (const auto &request : hotkeys->requests)
            ids << request.id.id;
        return ids;
    }

    LogCapture log;
    std::shared_ptr<FakeGlobalHotkeys> hotkeys = std::make_shared<FakeGlobalHotkeys>();
    std::unique_ptr<GlobalHotkeyManager> manager = std::make_unique<GlobalHotkeyManager>(hotkeys);
};

TEST_F(GlobalHotkeyManagerTest, IdentifiersCountUpAcrossSetUpsAndAreLogged)
{
    manager->unregisterAll();
    EXPECT_TRUE(log.lines().isEmpty()) << "nothing to unregister yet";
    registerScheme();
    ASSERT_EQ(hotkeys->requests.size(), 5);
    EXPECT_EQ(hotkeys->requests[0].combination, (platform::HotkeyCombination{18, 6144}));
    EXPECT_EQ(hotkeys->requests[0].id, (HotkeyID{cvnt, 1}));
    EXPECT_EQ(hotkeys->requests[4].combination, (platform::HotkeyCombination{35, 6144}));
    EXPECT_EQ(log.messages("hotkey"), QStringList({"Registered global hotkey: ⌃⌥1 with ID 1",
                                                   "Registered global hotkey: ⌃⌥2 with ID 2",
                                                   "Registered global hotkey: ⌃⌥3 with ID 3",
                                                   "Registered global hotkey: ⌃⌥4 with ID 4",
                                                   "Registered global hotkey: ⌃⌥P with ID 5"}));

    log.clear();
    manager->unregisterAll();
    EXPECT_EQ(log.messages("hotkey"),
              QStringList({"Unregistered hotkey ID 1", "Unregistered hotkey ID 2",
                           "Unregistered hotkey ID 3", "Unregistered hotkey ID 4",
                           "Unregistered hotkey ID 5"}));
    EXPECT_EQ(hotkeys->ungrabbed, QList<platform::HotkeyRef>({100, 101, 102, 103, 104}));
    EXPECT_TRUE(hotkeys->active.isEmpty());

    registerScheme();
    EXPECT_EQ(requestedIDs(), QList<quint32>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(hotkeys->grabbedAs(18, 6144), (HotkeyID{cvnt, 6}));
}

TEST_F(GlobalHotkeyManagerTest, RefusedRegistrationThrowsLogsAndSpendsItsIdentifier)
{
    manager->registerHotkey(controlOptionOne, [] {});
    hotkeys->scripted = {{10, std::nullopt}, {platform::HotkeyStatus::ok, std::nullopt}};

    try {
        manager->registerHotkey(ShortcutDefinition("area", 19, 6144, "⌃⌥2"), [] {});
        ADD_FAILURE() << "a refused grab must throw";
    } catch (const CaptureError &error) {
        EXPECT_EQ(error, CaptureError::captureFailed("Failed to register hotkey: 10"));
    }
    // Granted without anything to release it by: a failure too, with status 0.
    try {
        manager->registerHotkey(ShortcutDefinition("window", 20, 6144, "⌃⌥3"), [] {});
        ADD_FAILURE() << "a grab without a ref must throw";
    } catch (const CaptureError &error) {
        EXPECT_EQ(error.reason(), "Failed to register hotkey: 0");
    }
    manager->registerHotkey(ShortcutDefinition("record", 21, 6144, "⌃⌥4"), [] {});

    EXPECT_EQ(requestedIDs(), QList<quint32>({1, 2, 3, 4}));
    EXPECT_EQ(log.lines(), QStringList({"hotkey|info|Registered global hotkey: ⌃⌥1 with ID 1",
                                        "hotkey|error|Failed to register hotkey ⌃⌥2 (status: 10)",
                                        "hotkey|error|Failed to register hotkey ⌃⌥3 (status: 0)",
                                        "hotkey|info|Registered global hotkey: ⌃⌥4 with ID 4"}));
    // The earlier registration stays; the refused ones left nothing behind.
    log.clear();
    manager->unregisterAll();
    EXPECT_EQ(log.messages("hotkey"),
              QStringList({"Unregistered hotkey ID 1", "Unregistered hotkey ID 4"}));
}

TEST_F(GlobalHotkeyManagerTest, PressRunsItsActionOnceAfterAnsweringThePlatform)
{
    QList<int> presses;
    registerScheme(&presses);

    EXPECT_EQ(hotkeys->press({cvnt, 2}), platform::HotkeyStatus::ok);
    EXPECT_TRUE(presses.isEmpty()) << "the action runs after the press was answered";
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, QList<int>({1}));
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, QList<int>({1}));

    EXPECT_EQ(hotkeys->press({0x41424344, 2}), eventNotHandled);
    EXPECT_EQ(hotkeys->press({cvnt, 99}), eventNotHandled);
    manager->unregisterAll();
    EXPECT_EQ(hotkeys->press({cvnt, 2}), eventNotHandled);
    QCoreApplication::processEvents();
    EXPECT_EQ(presses, QList<int>({1}));

    // A failing action never escapes into the event loop.
    manager->registerHotkey(controlOptionOne, [] { throw CaptureError::captureFailed("boom"); });
    EXPECT_EQ(hotkeys->press({cvnt, 6}), platform::HotkeyStatus::ok);
    QCoreApplication::processEvents();
}

TEST_F(GlobalHotkeyManagerTest, TeardownReleasesGrabsThenTheHandler)
{
    registerScheme();
    manager.reset();
    EXPECT_TRUE(hotkeys->active.isEmpty());
    EXPECT_EQ(hotkeys->removals, 1);
    EXPECT_FALSE(hotkeys->handler);
}

TEST(GlobalHotkeyManagerWithoutHandler, LogsTheFailureAndStillRegisters)
{
    LogCapture log;
    auto hotkeys = std::make_shared<FakeGlobalHotkeys>();
    hotkeys->installStatus = platform::HotkeyStatus::unavailable;
    {
        GlobalHotkeyManager manager(hotkeys);
        EXPECT_EQ(
            log.lines(),
            QStringList({"hotkey|error|Failed to install Carbon event handler (status: -1)"}));
        manager.registerHotkey(controlOptionOne, [] {});
        EXPECT_TRUE(hotkeys->grabbedAs(18, 6144));
    }
    EXPECT_EQ(hotkeys->removals, 0) << "nothing was installed, so nothing is removed";
}

} // namespace
