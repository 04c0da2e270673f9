#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;
class QVariant;

// The key-value file the user preferences live in (INI). Reads are strict:
// what is stored must be exactly of the asked type, or it reads as no value,
// so that callers can fall back to their defaults. Every write is flushed to
// the file at once.
class UserDefaults {
public:
    explicit UserDefaults(const QString &filePath);
    ~UserDefaults();
    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    // The user's own file, ~/.config/Corvanta/Corvanta.conf ($XDG_CONFIG_HOME
    // honoured). The application environment opens it once and shares it.
    static std::unique_ptr<UserDefaults> standard();

    QString fileName() const;
    // Picks up what other writers changed in the file since this object last
    // read or wrote it.
    void reload();

    // Whether the key holds any value at all.
    bool contains(const QString &key) const;
    // true/false/1/0 only.
    std::optional<bool> boolValue(const QString &key) const;
    // The whole text must be a decimal integer ("12abc" is none).
    std::optional<qint64> integerValue(const QString &key) const;
    // The whole text must be a number; "nan" and "inf" read as such, so that
    // what was written comes back unchanged.
    std::optional<double> doubleValue(const QString &key) const;
    std::optional<QString> stringValue(const QString &key) const;
    // An array of 0, 1 or n strings reads back as written.
    std::optional<QStringList> stringArray(const QString &key) const;
    // UTF-8 text such as a JSON document.
    std::optional<QByteArray> jsonText(const QString &key) const;

    void setBool(const QString &key, bool value);
    void setInteger(const QString &key, qint64 value);
    void setDouble(const QString &key, double value);
    void setString(const QString &key, const QString &value);
    void setStringArray(const QString &key, const QStringList &value);
    void setJsonText(const QString &key, const QByteArray &utf8);

private:
    std::optional<QString> scalarText(const QString &key) const;
    void write(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
};
