#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>
#include <optional>

// The signed-in user as the program knows it. Built whole at each sign-in, never changed.
struct UserProfile {
    QUuid id;
    // The provider account: the Apple user identifier, "email_<id>" or "google_<id>".
    QString appleUserID;
    std::optional<QString> email;
    std::optional<QString> displayName;
    QDateTime createdAt;

    bool operator==(const UserProfile &other) const = default;

    // The stored form: a JSON object, the id in upper-case canonical text and the date as
    // seconds since 2001-01-01 00:00:00 UTC.
    QByteArray toJson() const;
    // Nothing unless the object has a well-formed "id", a string "appleUserID" and a number
    // "createdAt"; "email" and "displayName" may be missing or null.
    static std::optional<UserProfile> fromJson(const QByteArray &json);
};

// The profile as the backend is to receive it.
struct BackendProfilePayload {
    QUuid userId;
    QString appleUserId;
    std::optional<QString> email;
    std::optional<QString> displayName;

    static BackendProfilePayload from(const UserProfile &profile);
    QByteArray toJson() const;
};

namespace uuidText {
// "C0FFEE00-…": the canonical 36-character form in upper case.
QString canonical(const QUuid &id);
// The UUID in canonical 36-character form (either case), else nothing.
std::optional<QUuid> parse(const QString &text);
} // namespace uuidText

namespace referenceDate {
// Seconds since 2001-01-01 00:00:00 UTC, with fraction.
double secondsSince(const QDateTime &moment);
QDateTime fromSeconds(double seconds);
} // namespace referenceDate
