#include "app/AppEnvironmentFixture.h"
#include "app/GlobalHotkeyManager.h"
#include "capture/FeedbackService.h"
#include "capture/OCRService.h"
#include "capture/PermissionManager.h"
#include "capture/RecordingHUDController.h"
#include "capture/ScreenRecordingModeSelector.h"
#include "capture/ScreenRecordingService.h"
#include "capture/ShareService.h"
#include "model/CaptureQueue.h"
#include "model/PinNotifications.h"
#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "pins/PinAutoPinner.h"
#include "pins/PinManager.h"
#include "pins/PinStackWindowController.h"
#include "support/WaitUntil.h"

#include <QJsonDocument>

namespace {

using platform::HotkeyID;

constexpr quint32 cvnt = GlobalHotkeyManager::hotKeySignature;
const QStringList controlOptionSet{"18/6144", "19/6144", "20/6144", "21/6144", "35/6144"};

class AppEnvironmentTest : public AppEnvironmentFixture {};

TEST_F(AppEnvironmentTest, BuildsTheGraphInOrderAndTakesItDownBackwards)
{
    const QStringList order{"platform",
                            "UserDefaults",
                            "SettingsStore",
                            "PermissionManager",
                            "CaptureQueue",
                            "ScreenCaptureService",
                            "ClipboardService",
                            "SaveService",
                            "AreaSelectionService",
                            "WindowSelectionService",
                            "FeedbackService",
                            "OCRService",
                            "ShareService",
                            "PinNotifications",
                            "PinManager",
                            "PinAutoPinner",
                            "ScreenRecordingService",
                            "RecordingHUDController",
                            "ScreenRecordingModeSelector",
                            "QuickLookPreviewController",
                            "AnnotationWindowController",
                            "CaptureCoordinator",
                            "GlobalHotkeyManager"};
    AppEnvironment &env = build();
    QStringList made;
    for (const QString &name : order)
        made << QStringLiteral("made ") + name;
    EXPECT_EQ(lifecycle.events(), made);

    EXPECT_EQ(&env.pinManager().settings(), &env.settingsStore());
    EXPECT_EQ(fakes.permission->preflightCalls, 1) << "the permission is checked once at once";

    lifecycle.clear();
    environment.reset();
    QStringList destroyed;
    for (auto name = order.crbegin(); name != order.crend(); ++name)
        destroyed << QStringLiteral("destroyed ") + *name;
    EXPECT_EQ(lifecycle.events(), destroyed);
    EXPECT_TRUE(fakes.globalHotkeys->active.isEmpty()) << "destruction releases every grab";
    EXPECT_EQ(fakes.globalHotkeys->handler, nullptr);
}

TEST_F(AppEnvironmentTest, RegistersTheSchemeThenCloseAllPinsAndFollowsCapacity)
{
    {
        UserDefaults defaults(settingsPath());
        defaults.setInteger(SettingsStore::Keys::maxQueueCapacity, 3);
    }
    AppEnvironment &env = build();
    EXPECT_EQ(grabbed(), controlOptionSet);
    const auto &requests = fakes.globalHotkeys->requests;
    ASSERT_EQ(requests.size(), 5);
    EXPECT_EQ(requests[0].id, (HotkeyID{cvnt, 1}));
    EXPECT_EQ(requests[4].id, (HotkeyID{cvnt, 5}));
    EXPECT_TRUE(log.messages("hotkey").contains(
        "Hotkeys registered for scheme: Control + Option (⌃⌥1, ⌃⌥2, ⌃⌥3, ⌃⌥4)"));

    EXPECT_EQ(env.queue().maxCapacity(), 3) << "the stored capacity, not the initial 8";
    env.settingsStore().setMaxQueueCapacity(5);
    EXPECT_EQ(env.queue().maxCapacity(), 5);
}

TEST_F(AppEnvironmentTest, ARefusedOrDoubledKeyIsNamedAndTheOthersRegister)
{
    // The area shortcut (the second grab) is held by someone else, the window's has no key.
    fakes.globalHotkeys->scripted = {{platform::HotkeyStatus::ok, 1},
                                     {10, std::nullopt},
                                     {platform::HotkeyStatus::hotKeyInvalid, std::nullopt}};
    AppEnvironment &env = build();
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "21/6144", "35/6144"}));
    EXPECT_EQ(log.messages("hotkey").filter("Failed to register global").size(), 2);
    EXPECT_EQ(env.hotkeyProblem(),
              "Ctrl+Alt+2 could not be registered; another program may be using it.\n"
              "Ctrl+Alt+3 could not be registered; this keyboard has no key at its place.");
    QStringList told;
    QObject::connect(&env, &AppEnvironment::hotkeyProblemChanged,
                     [&] { told << env.hotkeyProblem(); });

    // The window's key given to the full display's action as well: the first action keeps it.
    env.settingsStore().setCustomWindow({18, 6144, "⌃⌥1"});
    env.settingsStore().setShortcutScheme(ShortcutScheme::custom);
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "19/6144", "21/6144", "35/6144"}));
    env.settingsStore().setCustomWindow({20, 6144, "⌃⌥3"});
    // Two unset keys are no key given twice.
    env.settingsStore().setCustomFullDisplay({0, 0, ""});
    env.settingsStore().setCustomArea({0, 0, ""});
    EXPECT_EQ(env.setupHotkeys(), QString());
    EXPECT_EQ(told, QStringList({"Ctrl+Alt+1 is set for two actions.", ""}));
}

TEST_F(AppEnvironmentTest, ChangedSchemeOrCloseAllShortcutRegistersTheNewOnes)
{
    AppEnvironment &env = build();
    env.settingsStore().setShortcutScheme(ShortcutScheme::commandShift);
    EXPECT_EQ(grabbed(), QStringList({"22/768", "26/768", "28/768", "25/768", "35/6144"}));
    EXPECT_TRUE(log.messages("hotkey").contains(
        "Hotkeys registered for scheme: Command + Shift (⇧⌘6, ⇧⌘7, ⇧⌘8, ⇧⌘9)"));

    env.settingsStore().setCustomArea({7, 4096, "⌃X"});
    env.settingsStore().setShortcutScheme(ShortcutScheme::custom);
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "7/4096", "20/6144", "21/6144", "35/6144"}));

    env.settingsStore().setPinCloseAllShortcut({31, 4608, "⌃⇧O"});
    EXPECT_EQ(grabbed().last(), "31/4608");
    EXPECT_EQ(grabbed().size(), 5);
}

TEST_F(AppEnvironmentTest, StoredShortcutsWithoutAModifierAreNeverGrabbed)
{
    // A plain "A", and a mask that carries none of the four modifiers.
    {
        UserDefaults defaults(settingsPath());
        defaults.setJsonText("customAreaShortcut",
                             R"({"keyCode":0,"carbonModifiers":0,"displayString":"A"})");
        defaults.setJsonText("pinCloseAllShortcut",
                             R"({"keyCode":31,"carbonModifiers":1,"displayString":"O"})");
        defaults.setString("shortcutScheme", rawValue(ShortcutScheme::custom));
    }
    AppEnvironment &env = build();
    EXPECT_EQ(env.settingsStore().shortcutScheme(), ShortcutScheme::custom);
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "20/6144", "21/6144"}));
    EXPECT_EQ(log.messages("hotkey").filter("Refused hotkey").size(), 2);
    EXPECT_TRUE(log.messages("hotkey").filter("Hotkeys registered for scheme").size() > 0)
        << "the other shortcuts still work";
}

TEST_F(AppEnvironmentTest, AStoredShortcutOfAKeyCodeNoKeyHasIsUnsetAndTheOthersRegister)
{
    {
        UserDefaults defaults(settingsPath());
        defaults.setJsonText("customAreaShortcut",
                             R"({"keyCode":999,"carbonModifiers":4096,"displayString":"⌃?"})");
        defaults.setString("shortcutScheme", rawValue(ShortcutScheme::custom));
    }
    build();
    EXPECT_EQ(grabbed(), QStringList({"18/6144", "20/6144", "21/6144", "35/6144"}));
    EXPECT_EQ(
        log.messages("hotkey").filter("Refused hotkey ⌃?: no key has the key code 999").size(), 1);
}

TEST_F(AppEnvironmentTest, PressedHotkeysRunTheirActionsLater)
{
    AppEnvironment &env = build();
    const auto idOf = [this](const QString &keys) {
        const QStringList parts = keys.split('/');
        return *fakes.globalHotkeys->grabbedAs(parts[0].toUInt(), parts[1].toUInt());
    };

    EXPECT_EQ(fakes.globalHotkeys->press(idOf("21/6144")), platform::HotkeyStatus::ok);
    EXPECT_TRUE(log.messages("capture").isEmpty()) << "the press is answered first";
    // The recording toggle asks for the mode; backing out ends it.
    ASSERT_TRUE(waitUntil([&] { return env.recordingModeSelector().isPending(); }));
    env.recordingModeSelector().finish(std::nullopt);
    EXPECT_TRUE(waitUntil([&] {
        return log.messages("capture").contains("Area recording selection cancelled by user");
    }));

    fakes.globalHotkeys->press(idOf("35/6144"));
    EXPECT_TRUE(waitUntil(
        [&] { return log.messages("hotkey").contains("Close all pins shortcut triggered"); }));

    fakes.globalHotkeys->press(idOf("18/6144"));
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    EXPECT_EQ(env.queue().items().first().mode(), CaptureMode::fullDisplay);
}

} // namespace

namespace {

QList<QUuid> deckIds(AppEnvironment &env)
{
    QList<QUuid> ids;
    if (PinStackWindowController *deck = env.pinManager().stackController()) {
        for (const PinItemPtr &item : deck->items())
            ids << item->id();
    }
    return ids;
}

TEST_F(AppEnvironmentTest, PinsFollowTheQueueTheSettingsAndTheCloseAllKey)
{
    AppEnvironment &env = build();
    const auto press = [this](quint32 keyCode) {
        fakes.globalHotkeys->press(*fakes.globalHotkeys->grabbedAs(keyCode, 6144));
    };
    // Auto-pin follows its setting as it changes.
    env.settingsStore().setAutoPinEnabled(true);
    press(18);
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    const QUuid first = env.queue().items().first().id();
    EXPECT_TRUE(waitUntil([&] { return deckIds(env) == QList<QUuid>{first}; }));

    // Removing the pin from the deck takes its capture out of the queue.
    PinStackWindowController *deck = env.pinManager().stackController();
    deck->remove(deck->items().first());
    EXPECT_TRUE(env.queue().items().isEmpty());

    env.settingsStore().setAutoPinEnabled(false);
    press(18);
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 1; }));
    press(18);
    ASSERT_TRUE(waitUntil([&] { return env.queue().items().size() == 2; }));
    QCoreApplication::processEvents();
    EXPECT_TRUE(deckIds(env).isEmpty());

    // The close-all key closes the deck and keeps every capture.
    for (const CaptureItem &item : env.queue().items())
        QCoro::waitFor(env.pinManager().pin(item));
    ASSERT_NE(deck->window(), nullptr);
    press(35);
    EXPECT_TRUE(waitUntil([&] { return deck->window() == nullptr; }));
    EXPECT_TRUE(deckIds(env).isEmpty());
    EXPECT_EQ(env.queue().items().size(), 2);
}

} // namespace
