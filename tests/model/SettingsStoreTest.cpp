#include "model/SettingsStore.h"
#include "model/UserDefaults.h"
#include "support/FakeLoginItem.h"
#include "support/LogCapture.h"

#include <QFile>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Status = platform::LoginItem::Status;

class SettingsStoreTest : public ::testing::Test {
protected:
    QString path() const { return m_dir.filePath(QStringLiteral("Corvanta-%1.conf").arg(m_file)); }

    // Each starts a new file: a rewrite of one path within the same
    // millisecond and at the same size could be taken for the cached one.
    void writeFile(const QByteArray &content)
    {
        ++m_file;
        overwriteFile(content);
    }

    void overwriteFile(const QByteArray &content)
    {
        QFile file(path());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray fileBytes() const
    {
        QFile file(path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file as a fresh reader sees it.
    std::unique_ptr<UserDefaults> reread() const { return std::make_unique<UserDefaults>(path()); }

    SettingsStore &makeStore()
    {
        m_defaults = std::make_unique<UserDefaults>(path());
        m_store = std::make_unique<SettingsStore>(*m_defaults, m_loginItem);
        return *m_store;
    }

    QTemporaryDir m_dir;
    int m_file = 0;
    FakeLoginItem m_loginItem;
    std::unique_ptr<UserDefaults> m_defaults;
    std::unique_ptr<SettingsStore> m_store;
};

ShortcutData controlOption(quint32 keyCode, const char *key)
{
    return {keyCode, 6144, QString::fromUtf8("⌃⌥") + QLatin1String(key)};
}

// Counts the change signals of every property of a store.
class ChangeRecorder {
public:
    explicit ChangeRecorder(SettingsStore &store)
    {
        const QMetaObject *meta = store.metaObject();
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            const QMetaProperty property = meta->property(i);
            m_spies.emplace(property.name(),
                            std::make_unique<QSignalSpy>(&store, property.notifySignal()));
        }
    }

    int count(const char *property) const { return m_spies.at(property)->count(); }
    QVariant last(const char *property) const { return m_spies.at(property)->last().value(0); }

    QStringList changed() const
    {
        QStringList names;
        for (const auto &[name, spy] : m_spies) {
            if (spy->count() > 0)
                names << QString::fromLatin1(name);
        }
        names.sort();
        return names;
    }

private:
    std::map<QByteArray, std::unique_ptr<QSignalSpy>> m_spies;
};

} // namespace

TEST_F(SettingsStoreTest, EmptyFileGivesTheDefaultsAndStaysEmpty)
{
    m_loginItem.currentStatus = Status::enabled;
    const SettingsStore &store = makeStore();

    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_TRUE(store.copyRemovesCapture());
    EXPECT_EQ(store.trayPosition(), TrayPosition::notch);
    EXPECT_EQ(store.trayMaterial(), TrayMaterialStyle::liquidGlass);
    EXPECT_EQ(store.accentTheme(), AccentTheme::blue);
    EXPECT_EQ(store.traySize(), TraySize::regular);
    EXPECT_EQ(store.workflowPreset(), WorkflowPreset::corvantaDefault);
    EXPECT_EQ(store.shortcutScheme(), ShortcutScheme::controlOption);
    EXPECT_FALSE(store.autoCopyOnCapture());
    EXPECT_TRUE(store.soundEffectsEnabled());
    EXPECT_EQ(store.autoHideDelay(), 0.0);
    EXPECT_EQ(store.exportFormat(), ImageExportFormat::png);
    EXPECT_FALSE(store.includeCursorInScreenshot());
    EXPECT_TRUE(store.includeWindowShadow());
    EXPECT_EQ(store.screenshotTimerDelay(), 0.0);
    EXPECT_EQ(store.recordingFrameRate(), 60);
    EXPECT_FALSE(store.recordMicrophoneAudio());
    EXPECT_TRUE(store.highlightMouseClicksInRecording());
    EXPECT_EQ(store.recordingExportFormat(), VideoExportFormat::mp4);
    EXPECT_EQ(store.recordingResolution(), RecordingResolution::native);
    EXPECT_TRUE(store.hapticsEnabled());
    EXPECT_FALSE(store.openCorvantaAfterCapture());
    EXPECT_TRUE(store.showCaptureIndicator());
    EXPECT_TRUE(store.showMagnifierInSelection());
    EXPECT_TRUE(store.disabledTrayButtons().isEmpty());
    EXPECT_TRUE(store.showFullScreenButton() && store.showAreaButton() &&
                store.showWindowButton() && store.showRecordButton());
    EXPECT_EQ(store.customFullDisplay(), controlOption(18, "1"));
    EXPECT_EQ(store.customArea(), controlOption(19, "2"));
    EXPECT_EQ(store.customWindow(), controlOption(20, "3"));
    EXPECT_EQ(store.customRecord(), controlOption(21, "4"));
    EXPECT_EQ(store.selectedCaptureMode(), "Area Selection");
    EXPECT_EQ(store.defaultSaveLocationName(), "Downloads");
    EXPECT_FALSE(store.startHiddenInNotch());
    EXPECT_TRUE(store.autoCollapseOnCursorLeave());
    EXPECT_TRUE(store.rememberLastCaptureMode());
    EXPECT_TRUE(store.checkForUpdates());
    EXPECT_EQ(store.temporaryStorageLimit(), "10 GB");
    EXPECT_TRUE(store.launchAtLogin());
    EXPECT_FALSE(store.autoPinEnabled());
    EXPECT_EQ(store.pinSize(), 400.0);
    EXPECT_FALSE(store.pinDefaultGhostMode());
    EXPECT_EQ(store.pinDefaultOpacity(), 1.0);
    EXPECT_EQ(store.pinAutoCloseDelay(), 0.0);
    EXPECT_EQ(store.pinTargetDisplay(), PinTargetDisplay::currentScreen);
    EXPECT_EQ(store.pinPadding(), 20.0);
    EXPECT_EQ(store.pinPlacement(), PinPlacement::topRight);
    EXPECT_EQ(store.pinBorderColor(), PinBorderColor::white);
    EXPECT_FALSE(store.pinCloseOnCopy());
    EXPECT_EQ(store.pinCloseAllShortcut(), controlOption(35, "P"));
    EXPECT_EQ(store.pinBorderWidth(), 0.0);
    EXPECT_EQ(store.pinCornerRadius(), 0.0);

    EXPECT_FALSE(QFile::exists(path()));
}

// The table's default column is what a fresh install reads, row by row, so that every other
// reader taking its defaults from the table agrees with the store.
TEST_F(SettingsStoreTest, AFreshInstallReadsTheTablesDefaultColumn)
{
    const SettingsStore &store = makeStore();
    QStringList differing;
#define CORVANTA_CHECK_DEFAULT(name, setter, Type, key, fallback, rule)                            \
    if (!(store.name() == SettingDefaults::name()))                                                \
        differing << QStringLiteral(key);
    CORVANTA_SETTINGS(CORVANTA_CHECK_DEFAULT)
#undef CORVANTA_CHECK_DEFAULT
    EXPECT_EQ(differing.join(QStringLiteral(", ")).toStdString(), "");
}

TEST_F(SettingsStoreTest, NumbersFollowTheirBounds)
{
    writeFile("[General]\nmaxQueueCapacity=-3\nrecordingFrameRate=0\n"
              "pinSize=0\npinBorderWidth=-1\npinCornerRadius=-5\npinAutoCloseDelay=-2\n"
              "pinDefaultOpacity=nan\npinPadding=inf\n"
              "autoHideDelay=-1\nscreenshotTimerDelay=nan\n");
    const SettingsStore &store = makeStore();
    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_EQ(store.recordingFrameRate(), 60);
    EXPECT_EQ(store.pinSize(), 400.0);
    EXPECT_EQ(store.pinBorderWidth(), 1.0);
    EXPECT_EQ(store.pinCornerRadius(), 10.0);
    EXPECT_EQ(store.pinAutoCloseDelay(), 0.0);
    EXPECT_EQ(store.pinDefaultOpacity(), 1.0);
    EXPECT_EQ(store.pinPadding(), 20.0) << "no number rule takes an infinite number";
    // Kept as stored: only their users sanitise them.
    EXPECT_EQ(store.autoHideDelay(), -1.0);
    EXPECT_TRUE(std::isnan(store.screenshotTimerDelay()));
}

TEST_F(SettingsStoreTest, CountsNeedWholePositiveNumbers)
{
    for (const char *stored : {"0", "-3", "12abc", "2.5", "1099511627776"}) {
        writeFile(QByteArray("[General]\nmaxQueueCapacity=") + stored + "\n");
        EXPECT_EQ(makeStore().maxQueueCapacity(), 8) << stored;
    }
    writeFile("[General]\nmaxQueueCapacity=20\npinBorderWidth=0\n");
    EXPECT_EQ(makeStore().maxQueueCapacity(), 20);
    EXPECT_EQ(m_store->pinBorderWidth(), 0.0);
}

TEST_F(SettingsStoreTest, FlagsChoicesAndTexts)
{
    writeFile("[General]\n"
              "soundEffectsEnabled=false\nhapticsEnabled=maybe\nautoCopyOnCapture=1\n"
              "trayPosition=notch\npinPlacement=Bottom Left\n"
              "exportFormat=HEIC (High Efficiency)\n"
              "selectedCaptureMode=Scrolling\ntemporaryStorageLimit=\n");
    const SettingsStore &store = makeStore();
    EXPECT_FALSE(store.soundEffectsEnabled());
    EXPECT_TRUE(store.hapticsEnabled());
    EXPECT_TRUE(store.autoCopyOnCapture());
    EXPECT_EQ(store.trayPosition(), TrayPosition::notch);
    EXPECT_EQ(store.pinPlacement(), PinPlacement::bottomLeft);
    EXPECT_EQ(store.exportFormat(), ImageExportFormat::heic);
    EXPECT_EQ(store.selectedCaptureMode(), "Scrolling");
    EXPECT_EQ(store.temporaryStorageLimit(), "");
}

TEST_F(SettingsStoreTest, UnknownShortcutSchemesMigrateByTheirHotKeys)
{
    const auto schemeOf = [this](const QString &stored) {
        writeFile(("[General]\nshortcutScheme=\"" + stored + "\"\n").toUtf8());
        return makeStore().shortcutScheme();
    };
    EXPECT_EQ(schemeOf(QString::fromUtf8("Cmd+Shift ⇧⌘6 and friends")),
              ShortcutScheme::commandShift);
    EXPECT_EQ(schemeOf(QString::fromUtf8("old ⌃⌘1")), ShortcutScheme::commandControl);
    EXPECT_EQ(schemeOf("Custom"), ShortcutScheme::custom);
    EXPECT_EQ(schemeOf("custom"), ShortcutScheme::controlOption);
    EXPECT_EQ(schemeOf(rawValue(ShortcutScheme::commandControl)), ShortcutScheme::commandControl);
    // Not written back: the old string stays until the scheme is next assigned.
    EXPECT_EQ(schemeOf(QString::fromUtf8("⇧⌘6")), ShortcutScheme::commandShift);
    EXPECT_EQ(fileBytes(), "[General]\nshortcutScheme=\"⇧⌘6\"\n");
}

TEST_F(SettingsStoreTest, BadValuesReadAsDefaultsAndTheFileIsNotRewritten)
{
    writeFile("[General]\n"
              "customAreaShortcut={not json\n"
              "customWindowShortcut=\"{\\\"keyCode\\\":20,\\\"carbonModifiers\\\":6144}\"\n"
              "customRecordShortcut=\"{\\\"keyCode\\\":9,\\\"carbonModifiers\\\":256,"
              "\\\"displayString\\\":\\\"x\\\"}\"\n"
              "pinCloseAllShortcut=@ByteArray(garbage)\n"
              "trayMaterial=Glass\naccentTheme=1, 2\nmaxQueueCapacity=many\n"
              "pinSize=@Rect(1 2 3 4)\ndisabledTrayButtons=@Rect(1 2 3 4)\n"
              "copyRemovesCapture=yes\n");
    const QByteArray before = fileBytes();
    const SettingsStore &store = makeStore();
    EXPECT_EQ(store.customArea(), controlOption(19, "2"));
    EXPECT_EQ(store.customWindow(), controlOption(20, "3"));
    EXPECT_EQ(store.customRecord(), (ShortcutData{9, 256, "x"}));
    EXPECT_EQ(store.pinCloseAllShortcut(), controlOption(35, "P"));
    EXPECT_EQ(store.trayMaterial(), TrayMaterialStyle::liquidGlass);
    EXPECT_EQ(store.accentTheme(), AccentTheme::blue);
    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_EQ(store.pinSize(), 400.0);
    EXPECT_TRUE(store.disabledTrayButtons().isEmpty());
    EXPECT_TRUE(store.copyRemovesCapture());
    m_store.reset();
    m_defaults.reset();
    EXPECT_EQ(fileBytes(), before);
}

TEST_F(SettingsStoreTest, NameSetKeepsUnknownNamesAndWritesTheSetBack)
{
    writeFile("[General]\ndisabledTrayButtons=pin, pin, Sparkle\n");
    SettingsStore &store = makeStore();
    EXPECT_EQ(store.disabledTrayButtons(), (QSet<QString>{"pin", "Sparkle"}));
    EXPECT_FALSE(store.isTrayButtonEnabled(TrayButtonID::pin));
    EXPECT_TRUE(store.isTrayButtonEnabled(TrayButtonID::copy));

    store.setDisabledTrayButtons(store.disabledTrayButtons());
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), (QStringList{"Sparkle", "pin"}));
}

TEST_F(SettingsStoreTest, TogglingATrayButtonTwiceRestoresTheSet)
{
    SettingsStore &store = makeStore();
    const ChangeRecorder changes(store);
    store.toggleTrayButton(TrayButtonID::delete_);
    EXPECT_FALSE(store.isTrayButtonEnabled(TrayButtonID::delete_));
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), QStringList{"delete"});
    store.toggleTrayButton(TrayButtonID::delete_);
    EXPECT_TRUE(store.isTrayButtonEnabled(TrayButtonID::delete_));
    EXPECT_EQ(reread()->stringArray("disabledTrayButtons"), QStringList());
    EXPECT_EQ(changes.count("disabledTrayButtons"), 2);
}

// Assigning every property its current value announces it once with that
// value and writes it under its key, in its stored form.
TEST_F(SettingsStoreTest, EveryAssignmentIsAnnouncedAndWrittenEvenWhenUnchanged)
{
    SettingsStore &store = makeStore();
    const ChangeRecorder changes(store);
    const QMetaObject *meta = store.metaObject();
    ASSERT_EQ(meta->propertyCount() - meta->propertyOffset(), 54);
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        ASSERT_TRUE(property.write(&store, property.read(&store))) << property.name();
        ASSERT_EQ(changes.count(property.name()), 1) << property.name();
        EXPECT_EQ(changes.last(property.name()), property.read(&store)) << property.name();
    }

    const auto file = reread();
    const QStringList shortcuts = {"customFullDisplay", "customArea", "customWindow",
                                   "customRecord"};
    for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
        QString key = QString::fromLatin1(meta->property(i).name());
        if (shortcuts.contains(key))
            key += "Shortcut";
        EXPECT_EQ(file->contains(key), key != "launchAtLogin") << qPrintable(key);
    }
    EXPECT_EQ(file->integerValue("maxQueueCapacity"), 8);
    EXPECT_EQ(file->boolValue("copyRemovesCapture"), true);
    EXPECT_EQ(file->stringValue("trayPosition"), "Notch / Top Center");
    EXPECT_EQ(file->stringValue("shortcutScheme"), rawValue(ShortcutScheme::controlOption));
    EXPECT_EQ(file->doubleValue("pinDefaultOpacity"), 1.0);
    EXPECT_EQ(file->stringArray("disabledTrayButtons"), QStringList());
    EXPECT_EQ(ShortcutData::fromJsonText(file->jsonText("customAreaShortcut").value_or("")),
              controlOption(19, "2"));

    // The same value again is written again.
    QFile::remove(path());
    store.setPinPadding(20.0);
    EXPECT_EQ(reread()->doubleValue("pinPadding"), 20.0);
}

TEST_F(SettingsStoreTest, SubscribersSeeTheNewValueStored)
{
    SettingsStore &store = makeStore();
    double seen = -1;
    double held = -1;
    QObject::connect(&store, &SettingsStore::autoHideDelayChanged, [&](double value) {
        seen = value;
        held = store.autoHideDelay();
    });
    store.setAutoHideDelay(-4.0); // no setter clamps
    EXPECT_EQ(seen, -4.0);
    EXPECT_EQ(held, -4.0);
    EXPECT_EQ(reread()->doubleValue("autoHideDelay"), -4.0);
}

TEST_F(SettingsStoreTest, LaunchAtLoginIsNeverWritten)
{
    SettingsStore &store = makeStore();
    const ChangeRecorder changes(store);
    store.setLaunchAtLogin(true);
    EXPECT_TRUE(store.launchAtLogin());
    EXPECT_EQ(changes.count("launchAtLogin"), 1);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsStoreTest, PresetsAssignTheirRows)
{
    SettingsStore &store = makeStore();
    store.applyWorkflowPreset(WorkflowPreset::researcher);
    EXPECT_EQ(store.workflowPreset(), WorkflowPreset::researcher);
    EXPECT_EQ(store.maxQueueCapacity(), 14);
    EXPECT_EQ(store.accentTheme(), AccentTheme::green);
    EXPECT_FALSE(store.autoCopyOnCapture());

    store.setTrayPosition(TrayPosition::bottomLeft);
    store.applyWorkflowPreset(WorkflowPreset::designerDev);
    EXPECT_TRUE(store.autoCopyOnCapture());
    EXPECT_FALSE(store.copyRemovesCapture());
    EXPECT_EQ(store.maxQueueCapacity(), 10);
    EXPECT_EQ(store.accentTheme(), AccentTheme::purple);
    EXPECT_EQ(store.trayPosition(), TrayPosition::bottomLeft);

    store.applyWorkflowPreset(WorkflowPreset::minimalist);
    EXPECT_EQ(store.traySize(), TraySize::compact);
    EXPECT_EQ(store.autoHideDelay(), 8.0);
    EXPECT_EQ(store.maxQueueCapacity(), 4);
    EXPECT_TRUE(store.copyRemovesCapture());
    EXPECT_EQ(store.trayMaterial(), TrayMaterialStyle::ultraThin);
    EXPECT_EQ(store.accentTheme(), AccentTheme::purple);

    store.applyWorkflowPreset(WorkflowPreset::corvantaDefault);
    EXPECT_EQ(store.traySize(), TraySize::regular);
    EXPECT_EQ(store.autoHideDelay(), 0.0);
    EXPECT_EQ(store.maxQueueCapacity(), 8);
    EXPECT_EQ(store.trayPosition(), TrayPosition::notch);
    EXPECT_EQ(store.trayMaterial(), TrayMaterialStyle::ultraThin);

    const auto file = reread();
    EXPECT_EQ(file->stringValue("workflowPreset"), "Capture & Hold (Default)");
    EXPECT_EQ(file->doubleValue("autoHideDelay"), 0.0);
    EXPECT_EQ(file->stringValue("trayMaterial"), "Frosted Glass (Ultra Thin)");
}

TEST_F(SettingsStoreTest, PresetsAnnounceEachValueOnceEvenWhenReapplied)
{
    SettingsStore &store = makeStore();
    const ChangeRecorder changes(store);
    store.applyWorkflowPreset(WorkflowPreset::corvantaDefault);
    EXPECT_EQ(changes.changed(),
              (QStringList{"autoCopyOnCapture", "autoHideDelay", "copyRemovesCapture",
                           "maxQueueCapacity", "trayPosition", "traySize", "workflowPreset"}));
    EXPECT_EQ(changes.count("maxQueueCapacity"), 1);
}

TEST_F(SettingsStoreTest, CustomPresetChangesOnlyThePreset)
{
    SettingsStore &store = makeStore();
    const ChangeRecorder changes(store);
    store.applyWorkflowPreset(WorkflowPreset::custom);
    EXPECT_EQ(changes.changed(), QStringList{"workflowPreset"});
    EXPECT_EQ(fileBytes(), "[General]\nworkflowPreset=Custom\n");
}

TEST_F(SettingsStoreTest, EffectiveShortcutsFollowTheScheme)
{
    SettingsStore &store = makeStore();
    EXPECT_EQ(store.effectiveShortcuts(),
              ShortcutDefinition::shortcuts(ShortcutScheme::controlOption));

    store.setShortcutScheme(ShortcutScheme::commandShift);
    const auto shortcuts = store.effectiveShortcuts();
    EXPECT_EQ(shortcuts.fullDisplay, ShortcutDefinition("fullDisplay", 22, 768, "⇧⌘6"));
    EXPECT_EQ(shortcuts.record, ShortcutDefinition("record", 25, 768, "⇧⌘9"));

    const ShortcutData f5{96, 4096, "⌃F5"};
    store.setCustomWindow(f5);
    store.setShortcutScheme(ShortcutScheme::custom);
    const auto custom = store.effectiveShortcuts();
    EXPECT_EQ(custom.window, ShortcutDefinition("window", f5));
    EXPECT_EQ(custom.fullDisplay, ShortcutDefinition("fullDisplay", controlOption(18, "1")));
    EXPECT_EQ(custom.area.id, "area");
    EXPECT_EQ(custom.record.id, "record");
}

TEST_F(SettingsStoreTest, SuccessfulLoginUpdateReloadsAndRewritesThePinSettings)
{
    SettingsStore &store = makeStore();
    store.setPinSize(250.0);
    // Another writer changed the pin settings behind the store's back.
    overwriteFile("[General]\npinSize=0\npinBorderWidth=0\npinPlacement=Middle\n"
                  "pinBorderColor=Red\nautoPinEnabled=true\n"
                  "pinCloseAllShortcut={\"keyCode\":35}\n");
    const ChangeRecorder changes(store);

    store.updateLaunchAtLogin(true);
    EXPECT_EQ(m_loginItem.registerCalls, 1);
    EXPECT_TRUE(store.launchAtLogin());
    EXPECT_EQ(store.pinSize(), 400.0);
    EXPECT_EQ(store.pinBorderWidth(), 0.0);
    EXPECT_EQ(store.pinPlacement(), PinPlacement::topRight);
    EXPECT_EQ(store.pinBorderColor(), PinBorderColor::red);
    EXPECT_TRUE(store.autoPinEnabled());
    EXPECT_EQ(store.pinCloseAllShortcut(), controlOption(35, "P"));
    EXPECT_EQ(changes.changed(),
              (QStringList{"autoPinEnabled", "launchAtLogin", "pinAutoCloseDelay", "pinBorderColor",
                           "pinBorderWidth", "pinCloseAllShortcut", "pinCloseOnCopy",
                           "pinCornerRadius", "pinDefaultGhostMode", "pinDefaultOpacity",
                           "pinPadding", "pinPlacement", "pinSize", "pinTargetDisplay"}));

    const auto file = reread();
    EXPECT_EQ(file->doubleValue("pinSize"), 400.0);
    EXPECT_EQ(file->doubleValue("pinBorderWidth"), 0.0);
    EXPECT_EQ(file->stringValue("pinPlacement"), "Top Right");
    EXPECT_EQ(ShortcutData::fromJsonText(file->jsonText("pinCloseAllShortcut").value_or("")),
              controlOption(35, "P"));
    EXPECT_FALSE(file->contains("launchAtLogin"));

    // Unregistering reloads too; a registration the desktop cannot start is off.
    store.updateLaunchAtLogin(false);
    EXPECT_EQ(m_loginItem.unregisterCalls, 1);
    EXPECT_FALSE(store.launchAtLogin());
    EXPECT_EQ(changes.count("pinSize"), 2);
    m_loginItem.statusAfterRegister = Status::notFound;
    store.updateLaunchAtLogin(true);
    EXPECT_FALSE(store.launchAtLogin());
}

TEST_F(SettingsStoreTest, FailedLoginUpdateIsLoggedAndChangesNothing)
{
    SettingsStore &store = makeStore();
    store.setPinSize(250.0);
    overwriteFile("[General]\npinSize=0\n");
    const QByteArray before = fileBytes();
    const ChangeRecorder changes(store);
    LogCapture log;
    m_loginItem.failure = QStringLiteral("Permission denied");

    store.updateLaunchAtLogin(true);
    EXPECT_EQ(log.lines(),
              QStringList{"permissions|error|Failed to update Launch at Login: Permission denied"});
    EXPECT_FALSE(store.launchAtLogin());
    EXPECT_EQ(store.pinSize(), 250.0);
    EXPECT_TRUE(changes.changed().isEmpty());
    EXPECT_EQ(fileBytes(), before);
}

TEST(SettingsSanitizing, DelaysAndFrameRates)
{
    EXPECT_EQ(sanitizedDelay(2.5), 2.5);
    EXPECT_EQ(sanitizedDelay(-1.0), 0.0);
    EXPECT_EQ(sanitizedDelay(NAN), 0.0);
    EXPECT_EQ(sanitizedDelay(INFINITY), 3600.0);
    EXPECT_EQ(sanitizedDelay(1e12), 3600.0);

    EXPECT_EQ(sanitizedFrameRate(0), 1);
    EXPECT_EQ(sanitizedFrameRate(-30), 1);
    EXPECT_EQ(sanitizedFrameRate(60), 60);
    EXPECT_EQ(sanitizedFrameRate(240), 240);
    EXPECT_EQ(sanitizedFrameRate(100'000), 240);
    EXPECT_EQ(sanitizedFrameRate(2'000'000), 240);
}

// A pin number means to its users what the store's read rule makes of it, bounded where a huge
// one would be nonsense.
TEST(SettingsSanitizing, PinNumbersFollowTheirReadRules)
{
    const double inf = INFINITY;
    for (const double odd : {double(NAN), inf, -inf, -0.5, 0.0})
        EXPECT_EQ(usablePinSize(odd), 400.0) << odd;
    EXPECT_EQ(usablePinSize(150), 150.0);
    EXPECT_EQ(usablePinSize(1e12), 4000.0);
    EXPECT_EQ(usablePinPadding(NAN), 20.0);
    EXPECT_EQ(usablePinPadding(-3), 20.0);
    EXPECT_EQ(usablePinPadding(1e300), 10000.0);
    for (const double odd : {double(NAN), inf, -0.5, 0.0})
        EXPECT_EQ(usablePinOpacity(odd), 1.0) << odd;
    EXPECT_EQ(usablePinOpacity(7), 1.0);
    EXPECT_EQ(usablePinOpacity(0.4), 0.4);
    EXPECT_EQ(usablePinBorderWidth(-1), 1.0);
    EXPECT_EQ(usablePinBorderWidth(NAN), 0.0);
    EXPECT_EQ(usablePinBorderWidth(0), 0.0);
    EXPECT_EQ(usablePinBorderWidth(1e9), 50.0);
    EXPECT_EQ(usablePinCornerRadius(-5), 10.0);
    EXPECT_EQ(usablePinCornerRadius(-inf), 0.0);
    EXPECT_EQ(usablePinCornerRadius(12), 12.0);
    EXPECT_EQ(usablePinAutoCloseDelay(-2), 0.0);
    EXPECT_EQ(usablePinAutoCloseDelay(NAN), 0.0);
    EXPECT_EQ(usablePinAutoCloseDelay(30), 30.0);
}
