#include "account/SupabaseClient.h"

#include "platform/Log.h"

QUrl SupabaseClient::defaultEndpoint()
{
    const QString origin = qEnvironmentVariable("CORVANTA_BACKEND_ORIGIN");
    return QUrl(origin.isEmpty() ? QStringLiteral(CORVANTA_BACKEND_ORIGIN) : origin);
}

QString SupabaseClient::defaultAnonKey()
{
    const QString key = qEnvironmentVariable("CORVANTA_BACKEND_PUBLISHABLE_KEY");
    return key.isEmpty() ? QStringLiteral(CORVANTA_BACKEND_PUBLISHABLE_KEY) : key;
}

SupabaseClient::SupabaseClient(QUrl endpoint, QString anonKey)
    : m_endpoint(std::move(endpoint)), m_anonKey(std::move(anonKey))
{
}

QCoro::Task<void> SupabaseClient::syncProfile(BackendProfilePayload payload)
{
    qCInfo(Log::general, "Syncing profile to backend for user: %s",
           qUtf8Printable(uuidText::canonical(payload.userId)));
    co_return;
}

QCoro::Task<void> SupabaseClient::deleteAccount(QUuid userID)
{
    qCInfo(Log::general, "Requesting account deletion on backend for user: %s",
           qUtf8Printable(uuidText::canonical(userID)));
    co_return;
}
