#pragma once

#include "model/SettingsTable.h"

#include <QObject>
#include <QSet>
#include <QString>

class UserDefaults;
namespace platform {
class LoginItem;
}

// Every user preference, each a published property over the settings file.
// Creating the store reads the file once with each setting's read rule and
// writes nothing; afterwards every assignment (also of the current value) is
// stored, announced and written under the setting's key. Setters keep what
// they are given: numbers that make no sense where they are used are
// sanitised by the users with the functions below the class.
//
// The program has one store, created by the application environment over
// the standard file and handed to whoever reads it; a second store over the
// same file would not see this one's changes.
class SettingsStore : public QObject {
    Q_OBJECT
#define CORVANTA_SETTING_PROPERTY(name, setter, Type, key, fallback, rule)                         \
    Q_PROPERTY(Type name READ name WRITE setter NOTIFY name##Changed)
    CORVANTA_SETTINGS(CORVANTA_SETTING_PROPERTY)
#undef CORVANTA_SETTING_PROPERTY
    // Mirrors the login item: never read from or written to the file.
    Q_PROPERTY(
        bool launchAtLogin READ launchAtLogin WRITE setLaunchAtLogin NOTIFY launchAtLoginChanged)

public:
    // The key each persisted setting is written under.
    struct Keys {
#define CORVANTA_SETTING_KEY(name, setter, Type, key, fallback, rule)                              \
    static constexpr const char *name = key;
        CORVANTA_SETTINGS(CORVANTA_SETTING_KEY)
#undef CORVANTA_SETTING_KEY
    };

    SettingsStore(UserDefaults &defaults, platform::LoginItem &loginItem,
                  QObject *parent = nullptr);
    ~SettingsStore() override;

#define CORVANTA_SETTING_ACCESSORS(name, setter, Type, key, fallback, rule)                        \
    Type name() const                                                                              \
    {                                                                                              \
        return m_##name;                                                                           \
    }                                                                                              \
    void setter(SettingArgument<Type> value)                                                       \
    {                                                                                              \
        assign(m_##name, value, &SettingsStore::name##Changed, Keys::name);                        \
    }
    CORVANTA_SETTINGS(CORVANTA_SETTING_ACCESSORS)
#undef CORVANTA_SETTING_ACCESSORS

    bool launchAtLogin() const
    {
        return m_launchAtLogin;
    }
    void setLaunchAtLogin(bool value)
    {
        assign(m_launchAtLogin, value, &SettingsStore::launchAtLoginChanged, nullptr);
    }

    // Makes the preset the chosen one and assigns its settings one by one;
    // custom keeps the current settings.
    void applyWorkflowPreset(WorkflowPreset preset);
    // Registers or unregisters the login item. On success the pin settings
    // are read back from the file and launchAtLogin follows the login item;
    // a failure is logged and changes nothing.
    void updateLaunchAtLogin(bool enabled);
    void refreshLaunchAtLoginStatus();
    // The four global hot keys in force for the chosen scheme.
    ShortcutDefinition::ShortcutSet effectiveShortcuts() const;
    bool isTrayButtonEnabled(TrayButtonID button) const;
    void toggleTrayButton(TrayButtonID button);

signals:
#define CORVANTA_SETTING_SIGNAL(name, setter, Type, key, fallback, rule)                           \
    void name##Changed(Type value);
    CORVANTA_SETTINGS(CORVANTA_SETTING_SIGNAL)
#undef CORVANTA_SETTING_SIGNAL
    void launchAtLoginChanged(bool value);

private:
    template <typename T, typename Arg>
    void assign(T &member, const T &value, void (SettingsStore::*changed)(Arg), const char *key)
    {
        member = value;
        if (m_loading)
            return;
        const T announced = member;
        emit(this->*changed)(announced);
        // Written as the property now holds it, in case a subscriber assigned again.
        if (key)
            persist(key, member);
    }

    void persist(const char *key, bool value);
    void persist(const char *key, int value);
    void persist(const char *key, double value);
    void persist(const char *key, const QString &value);
    void persist(const char *key, const QSet<QString> &value);
    void persist(const char *key, const ShortcutData &value);
    template <StoredEnum E> void persist(const char *key, E value)
    {
        persist(key, rawValue(value));
    }

    void loadPinSettings();

    UserDefaults &m_defaults;
    platform::LoginItem &m_loginItem;
    // While the file is first read, setters only store.
    bool m_loading = false;

#define CORVANTA_SETTING_MEMBER(name, setter, Type, key, fallback, rule) Type m_##name{};
    CORVANTA_SETTINGS(CORVANTA_SETTING_MEMBER)
#undef CORVANTA_SETTING_MEMBER
    bool m_launchAtLogin{};
};

// What the numbers the store keeps as they were stored or assigned mean to their users: a NaN,
// infinite or negative value never becomes an undefined or endless wait, a negative or unbounded
// size, or an opacity outside 0...1. The pin settings take their own read rule and default, so
// that the pins, the settings pages and the store agree on every stored number.

// Seconds of a delay or timer: NaN and negative give 0, anything above an hour (infinity
// included) gives an hour.
double sanitizedDelay(double seconds);
// Frames a second of a recording: below 1 gives 1 (no frames would make no movie), above 240
// gives 240 (faster than any display refreshes, and a frame interval that rounds to nothing).
int sanitizedFrameRate(int framesPerSecond);
// At most 4000 points: a card wider than any display is a broken file rather than a wish.
double usablePinSize(double points);
// At most 10000 points; a placement holds it inside the display.
double usablePinPadding(double points);
// At most fully opaque.
double usablePinOpacity(double opacity);
// At most 50 points.
double usablePinBorderWidth(double points);
// At most 1000 points.
double usablePinCornerRadius(double points);
// Seconds, at most a day; 0 never closes.
double usablePinAutoCloseDelay(double seconds);
