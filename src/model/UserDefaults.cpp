#include "model/UserDefaults.h"

#include <QLocale>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

UserDefaults::UserDefaults(const QString &filePath)
    : m_settings(std::make_unique<QSettings>(filePath, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

// QSettings would name its own user-scope INI file "Corvanta.ini"; the file
// keeps the ".conf" name of the desktop's native settings files.
std::unique_ptr<UserDefaults> UserDefaults::standard()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<UserDefaults>(folder + QStringLiteral("/Corvanta/Corvanta.conf"));
}

QString UserDefaults::fileName() const
{
    return m_settings->fileName();
}

void UserDefaults::reload()
{
    m_settings->sync();
}

bool UserDefaults::contains(const QString &key) const
{
    return m_settings->contains(key);
}

// The text of a single value. INI has no types, so a scalar is whatever
// QSettings hands back as one string; a list (an unquoted comma), a byte array
// or any other encoded variant is no scalar.
std::optional<QString> UserDefaults::scalarText(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
        return value.toString();
    default:
        return std::nullopt;
    }
}

std::optional<bool> UserDefaults::boolValue(const QString &key) const
{
    const auto text = scalarText(key);
    if (text == QLatin1String("true") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("0"))
        return false;
    return std::nullopt;
}

std::optional<qint64> UserDefaults::integerValue(const QString &key) const
{
    const auto text = scalarText(key);
    bool ok = false;
    const qint64 number = text ? text->toLongLong(&ok, 10) : 0;
    return ok ? std::optional<qint64>(number) : std::nullopt;
}

std::optional<double> UserDefaults::doubleValue(const QString &key) const
{
    const auto text = scalarText(key);
    bool ok = false;
    const double number = text ? text->toDouble(&ok) : 0.0;
    return ok ? std::optional<double>(number) : std::nullopt;
}

std::optional<QString> UserDefaults::stringValue(const QString &key) const
{
    return scalarText(key);
}

// QSettings writes a one-string list as a plain string and an empty list as
// an invalid value; both are read back as the lists they were.
std::optional<QStringList> UserDefaults::stringArray(const QString &key) const
{
    if (!m_settings->contains(key))
        return std::nullopt;
    const QVariant value = m_settings->value(key);
    if (!value.isValid())
        return QStringList();
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return QStringList{value.toString()};
    return std::nullopt;
}

std::optional<QByteArray> UserDefaults::jsonText(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray();
    if (value.typeId() == QMetaType::QString)
        return value.toString().toUtf8();
    return std::nullopt;
}

// Values go in as text so that what is read back does not depend on whether
// it came from this process's cache or from the file.
void UserDefaults::setBool(const QString &key, bool value)
{
    write(key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

void UserDefaults::setInteger(const QString &key, qint64 value)
{
    write(key, QString::number(value));
}

void UserDefaults::setDouble(const QString &key, double value)
{
    write(key, QString::number(value, 'g', QLocale::FloatingPointShortest));
}

void UserDefaults::setString(const QString &key, const QString &value)
{
    write(key, value);
}

void UserDefaults::setStringArray(const QString &key, const QStringList &value)
{
    write(key, value);
}

void UserDefaults::setJsonText(const QString &key, const QByteArray &utf8)
{
    write(key, QString::fromUtf8(utf8));
}

void UserDefaults::write(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}
