#pragma once

#include "account/UserProfile.h"

#include <QString>
#include <QUrl>
#include <qcoro/qcorotask.h>

// The hosted backend: its origin and its publishable API key (sent as "apikey" with every
// request). Both are build settings (CORVANTA_BACKEND_ORIGIN, CORVANTA_BACKEND_PUBLISHABLE_KEY),
// which environment variables of the same names override at run time (a self-hosted backend, a
// local one under test); unit tests hand in their own.
class SupabaseClient final {
public:
    static QUrl defaultEndpoint();
    static QString defaultAnonKey();

    SupabaseClient(QUrl endpoint = defaultEndpoint(), QString anonKey = defaultAnonKey());

    QUrl endpoint() const { return m_endpoint; }
    QString anonKey() const { return m_anonKey; }

    // Neither sends anything yet: the backend has no profile or deletion endpoint of ours.
    QCoro::Task<void> syncProfile(BackendProfilePayload payload);
    QCoro::Task<void> deleteAccount(QUuid userID);

private:
    QUrl m_endpoint;
    QString m_anonKey;
};
