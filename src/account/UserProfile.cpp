#include "account/UserProfile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>

namespace {

const QDateTime referenceMoment(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);

void putOptional(QJsonObject &object, const char *key, const std::optional<QString> &value)
{
    if (value)
        object.insert(QLatin1String(key), *value);
}

// Missing or null: nothing; a string: its text; anything else fails the whole decoding.
bool readOptional(const QJsonObject &object, const char *key, std::optional<QString> &out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return true;
    if (!value.isString())
        return false;
    out = value.toString();
    return true;
}

// The fields a stored profile and the backend's payload share, under their keys.
QByteArray identityJson(const char *idKey, const QUuid &id, const char *providerKey,
                        const QString &provider, const std::optional<QString> &email,
                        const std::optional<QString> &displayName,
                        const std::optional<double> &createdAt = std::nullopt)
{
    QJsonObject object;
    object.insert(QLatin1String(idKey), uuidText::canonical(id));
    object.insert(QLatin1String(providerKey), provider);
    putOptional(object, "email", email);
    putOptional(object, "displayName", displayName);
    if (createdAt)
        object.insert(QLatin1String("createdAt"), *createdAt);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

namespace uuidText {

QString canonical(const QUuid &id)
{
    return id.toString(QUuid::WithoutBraces).toUpper();
}

std::optional<QUuid> parse(const QString &text)
{
    static const QRegularExpression form(QStringLiteral(
        "^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$"));
    if (!form.match(text).hasMatch())
        return std::nullopt;
    return QUuid::fromString(text);
}

} // namespace uuidText

namespace referenceDate {

double secondsSince(const QDateTime &moment)
{
    return double(referenceMoment.msecsTo(moment)) / 1000.0;
}

QDateTime fromSeconds(double seconds)
{
    return referenceMoment.addMSecs(qint64(std::llround(seconds * 1000.0)));
}

} // namespace referenceDate

QByteArray UserProfile::toJson() const
{
    return identityJson("id", id, "appleUserID", appleUserID, email, displayName,
                        referenceDate::secondsSince(createdAt));
}

std::optional<UserProfile> UserProfile::fromJson(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    const QJsonValue id = object.value(QLatin1String("id"));
    const QJsonValue appleUserID = object.value(QLatin1String("appleUserID"));
    const QJsonValue createdAt = object.value(QLatin1String("createdAt"));
    if (!id.isString() || !appleUserID.isString() || !createdAt.isDouble())
        return std::nullopt;
    const std::optional<QUuid> uuid = uuidText::parse(id.toString());
    const double seconds = createdAt.toDouble();
    // Beyond a few hundred million years the date has no meaning, and the milliseconds overflow.
    if (!uuid || !std::isfinite(seconds) || std::fabs(seconds) > 1e15)
        return std::nullopt;
    UserProfile profile;
    profile.id = *uuid;
    profile.appleUserID = appleUserID.toString();
    if (!readOptional(object, "email", profile.email) ||
        !readOptional(object, "displayName", profile.displayName))
        return std::nullopt;
    profile.createdAt = referenceDate::fromSeconds(seconds);
    return profile;
}

BackendProfilePayload BackendProfilePayload::from(const UserProfile &profile)
{
    return {profile.id, profile.appleUserID, profile.email, profile.displayName};
}

QByteArray BackendProfilePayload::toJson() const
{
    return identityJson("userId", userId, "appleUserId", appleUserId, email, displayName);
}
