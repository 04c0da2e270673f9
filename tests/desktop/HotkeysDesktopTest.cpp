#include "ProgramDesktopTest.h"
#include "app/GlobalHotkeyManager.h"
#include "model/CaptureErrors.h"
#include "model/SettingsTable.h"
#include "platform/x11/X11GlobalHotkeys.h"
#include "support/LogCapture.h"
#include "support/WaitUntil.h"
#include "support/X11DesktopTest.h"
#include "support/X11KeyGrabber.h"
#include "windows/ShortcutRecorder.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <xcb/xcb.h>

namespace {

const ShortcutDefinition controlOptionOne("fullDisplay", 18, 6144, "⌃⌥1");
// Pressed after the keys of a test: the server delivers keys in the order they were sent, and
// the actions run in that order, so once its action ran every earlier key had its effect.
const ShortcutDefinition fence("area", 19, 6144, "⌃⌥2");
constexpr quint16 controlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;

// A recorder shown and active, keeping what it saves.
struct ShownRecorder {
    RecordingIDBinding recordingID;
    QList<ShortcutData> saved;
    ShortcutRecorderButton button{"record", SettingDefaults::customRecord(), &recordingID,
                                  [this](const ShortcutData &data) { saved << data; }, [] {}};

    bool show()
    {
        button.show();
        button.activateWindow();
        return QTest::qWaitForWindowActive(&button);
    }
};

// A keyboard layout for the span of a test; the server outlives the test, so US comes back.
class KeyboardLayout {
public:
    explicit KeyboardLayout(const char *layout)
    {
        EXPECT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QString::fromLatin1(layout)}), 0)
            << layout;
    }
    ~KeyboardLayout() { QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); }
    KeyboardLayout(const KeyboardLayout &) = delete;
    KeyboardLayout &operator=(const KeyboardLayout &) = delete;
};

class HotkeysDesktop : public X11DesktopTest {
protected:
    void SetUp() override
    {
        X11DesktopTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        hotkeys = std::make_shared<platform::X11GlobalHotkeys>();
        manager = std::make_unique<GlobalHotkeyManager>(hotkeys);
    }
    void registerCounting(const ShortcutDefinition &definition = controlOptionOne)
    {
        manager->registerHotkey(definition, [this] { ++presses; });
    }
    // Waits for the first press and for any further ones.
    int pressesAfterSettling()
    {
        waitUntil([this] { return presses > 0; });
        settle();
        return presses;
    }
    // Until every key sent so far has had its effect.
    void settle()
    {
        if (!fenceRegistered) {
            manager->registerHotkey(fence, [this] { ++fences; });
            fenceRegistered = true;
        }
        const int before = fences;
        xdotool({"key", "ctrl+alt+2"});
        EXPECT_TRUE(waitUntil([&] { return fences > before; }));
    }

    LogCapture log;
    std::shared_ptr<platform::X11GlobalHotkeys> hotkeys;
    std::unique_ptr<GlobalHotkeyManager> manager;
    int presses = 0;
    bool fenceRegistered = false;
    int fences = 0;
};

TEST_F(HotkeysDesktop, PressFiresTheActionOnce)
{
    registerCounting();
    xdotool({"key", "ctrl+alt+1"});
    EXPECT_EQ(pressesAfterSettling(), 1);

    // Other combinations of the key are not ours.
    xdotool({"key", "ctrl+1"});
    xdotool({"key", "ctrl+alt+shift+1"});
    settle();
    EXPECT_EQ(presses, 1);

    xdotool({"key", "ctrl+alt+1"});
    EXPECT_TRUE(waitUntil([this] { return presses == 2; }));
}

TEST_F(HotkeysDesktop, HeldCombinationFiresOnce)
{
    registerCounting();
    xdotool({"keydown", "ctrl+alt+1"});
    QTest::qWait(700);
    xdotool({"keyup", "ctrl+alt+1"});
    EXPECT_EQ(pressesAfterSettling(), 1);

    xdotool({"key", "ctrl+alt+1"});
    EXPECT_TRUE(waitUntil([this] { return presses == 2; })) << "a new press counts again";
}

TEST_F(HotkeysDesktop, FiresWithNumLockAndCapsLockOn)
{
    X11KeyGrabber observer;
    const auto lockOn = [&observer](quint16 mask) {
        return (observer.modifierState() & mask) != 0;
    };
    // The server outlives this test: whatever happens, the locks end as they began.
    const bool numLockWasOn = lockOn(XCB_MOD_MASK_2);
    const bool capsLockWasOn = lockOn(XCB_MOD_MASK_LOCK);
    const std::shared_ptr<void> restoreLocks(nullptr, [&](void *) {
        if (lockOn(XCB_MOD_MASK_2) != numLockWasOn)
            QProcess::execute(QStringLiteral("xdotool"), {"key", "Num_Lock"});
        if (lockOn(XCB_MOD_MASK_LOCK) != capsLockWasOn)
            QProcess::execute(QStringLiteral("xdotool"), {"key", "Caps_Lock"});
    });

    registerCounting();
    if (!numLockWasOn)
        xdotool({"key", "Num_Lock"});
    if (!capsLockWasOn)
        xdotool({"key", "Caps_Lock"});
    ASSERT_TRUE(waitUntil([&] { return lockOn(XCB_MOD_MASK_2) && lockOn(XCB_MOD_MASK_LOCK); }));
    xdotool({"key", "ctrl+alt+1"});
    EXPECT_EQ(pressesAfterSettling(), 1);

    xdotool({"key", "Caps_Lock"});
    ASSERT_TRUE(waitUntil([&] { return !lockOn(XCB_MOD_MASK_LOCK); }));
    xdotool({"key", "ctrl+alt+1"});
    EXPECT_TRUE(waitUntil([this] { return presses == 2; })) << "NumLock alone";
}

TEST_F(HotkeysDesktop, CombinationHeldByAnotherClientFailsAndLeavesNothingGrabbed)
{
    {
        X11KeyGrabber other;
        ASSERT_TRUE(other.grab('1', controlAlt));
        try {
            registerCounting();
            ADD_FAILURE() << "the grab of another client must refuse ours";
        } catch (const CaptureError &error) {
            EXPECT_EQ(error, CaptureError::captureFailed("Failed to register hotkey: 10"));
        }
        EXPECT_TRUE(log.messages("hotkey").contains("Failed to register hotkey ⌃⌥1 (status: 10)"));
        // The variants with the locks that did succeed were given back.
        EXPECT_TRUE(other.grab('1', controlAlt | XCB_MOD_MASK_LOCK));
    }
    // Once the other client is gone the combination is free, and the failed attempt spent an
    // identifier.
    log.clear();
    registerCounting();
    EXPECT_EQ(log.messages("hotkey"), QStringList({"Registered global hotkey: ⌃⌥1 with ID 2"}));
}

TEST_F(HotkeysDesktop, DuplicateOrUnknownKeysAreRefused)
{
    const auto statusOf = [this](const ShortcutDefinition &definition) {
        try {
            registerCounting(definition);
        } catch (const CaptureError &error) {
            return error.reason();
        }
        return QStringLiteral("registered");
    };
    EXPECT_EQ(statusOf(controlOptionOne), "registered");
    EXPECT_EQ(statusOf(ShortcutDefinition("area", 18, 6144, "⌃⌥1")),
              "Failed to register hotkey: -9878");
    // A code no key has is never grabbed: refused like an unset shortcut, without a failure
    // that would stop the shortcuts after it.
    EXPECT_EQ(statusOf(ShortcutDefinition("window", 200, 6144, "⌃⌥200")), "registered");
    EXPECT_EQ(
        log.messages("hotkey").filter("Refused hotkey ⌃⌥200: no key has the key code 200").size(),
        1);
    EXPECT_EQ(statusOf(ShortcutDefinition("window", 18, 6144 | 256, "⌃⌥⌘1")), "registered");

    // The refused duplicate took nothing from the first registration.
    xdotool({"key", "ctrl+alt+1"});
    EXPECT_EQ(pressesAfterSettling(), 1);
}

TEST_F(HotkeysDesktop, UnregisteredAndDestroyedManagersReleaseTheirGrabs)
{
    X11KeyGrabber other;
    registerCounting();
    EXPECT_FALSE(other.grab('1', controlAlt));
    manager->unregisterAll();
    EXPECT_TRUE(other.grab('1', controlAlt));
    EXPECT_TRUE(other.grab('1', controlAlt | XCB_MOD_MASK_LOCK));
    EXPECT_TRUE(other.grab('1', controlAlt | XCB_MOD_MASK_2));
    EXPECT_TRUE(other.grab('1', controlAlt | XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2));

    registerCounting(ShortcutDefinition("area", 19, 6144, "⌃⌥2"));
    EXPECT_FALSE(other.grab('2', controlAlt | XCB_MOD_MASK_2));
    manager.reset();
    hotkeys.reset();
    EXPECT_TRUE(other.grab('2', controlAlt | XCB_MOD_MASK_2));
}

// Real key events from the X server carry the key symbols the recorder maps back.
TEST_F(HotkeysDesktop, RecorderReadsRealKeyEvents)
{
    ShownRecorder shown;
    ASSERT_TRUE(shown.show());
    ShortcutRecorderButton &recorder = shown.button;
    QList<ShortcutData> &saved = shown.saved;

    const auto record = [&](const QString &keys) {
        QTest::mouseClick(recorder.findChild<QAbstractButton *>("recorderButton"), Qt::LeftButton);
        EXPECT_TRUE(recorder.isRecording());
        xdotool({"key", keys});
        return waitUntil([&] { return !recorder.isRecording(); });
    };
    ASSERT_TRUE(record("ctrl+alt+k"));
    ASSERT_TRUE(record("ctrl+shift+1"));
    ASSERT_TRUE(record("super+F5"));
    EXPECT_EQ(saved, QList<ShortcutData>({{40, 6144, "⌃⌥K"}, {18, 4608, "⌃⇧1"}, {96, 256, "⌘F5"}}));
}

// The program on another layout, switched to after it started or set before: Ctrl+Alt and the
// key at P's place (X keycode 33, whatever the layout types there) close the pins, and the
// recorder takes a key by its place too. Last in the binary: after a layout change, a later test
// in the same process has seen its window lose the focus to a typed key.
class ProgramLayoutsDesktop : public ProgramDesktopTest,
                              public ::testing::WithParamInterface<const char *> {
protected:
    void expectTheKeyAtPsPlaceClosesThePins()
    {
        const auto deckShown = [this] {
            return deck() && deck()->window() && deck()->window()->isVisible();
        };
        QImage picture(240, 160, QImage::Format_ARGB32);
        picture.fill(Qt::darkCyan);
        m_environment->pinManager().pinImage(picture);
        ASSERT_TRUE(waitUntil(deckShown, programWaitLimitMs));
        xdotool({"key", "--clearmodifiers", "ctrl+alt+33"});
        EXPECT_TRUE(waitUntil([&] { return !deckShown(); }, programWaitLimitMs));
    }
};

TEST_P(ProgramLayoutsDesktop, KeysGoByTheirPlaceWhateverTheLayout)
{
    const KeyboardLayout layout(GetParam());
    ShownRecorder shown;
    ASSERT_TRUE(shown.show());
    ShortcutRecorderButton &recorder = shown.button;
    QList<ShortcutData> &saved = shown.saved;
    QTest::mouseClick(recorder.findChild<QAbstractButton *>("recorderButton"), Qt::LeftButton);
    // The key at O's place, typing r on Dvorak and щ on Russian.
    xdotool({"key", "--clearmodifiers", "ctrl+alt+32"});
    EXPECT_TRUE(waitUntil([&] { return !saved.isEmpty(); }));
    EXPECT_EQ(saved, QList<ShortcutData>({{31, 6144, "⌃⌥O"}}));
    recorder.hide();

    // Again once the program has heard of the new keyboard map, which came before the first key.
    expectTheKeyAtPsPlaceClosesThePins();
    expectTheKeyAtPsPlaceClosesThePins();
    launchTheProgram();
    EXPECT_EQ(m_environment->hotkeyProblem(), QString());
    expectTheKeyAtPsPlaceClosesThePins();
}

INSTANTIATE_TEST_SUITE_P(Layouts, ProgramLayoutsDesktop, ::testing::Values("dvorak", "ru"));

} // namespace
