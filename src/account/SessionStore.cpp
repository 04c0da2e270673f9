#include "account/SessionStore.h"

#include "account/KeychainStore.h"

namespace {
QString key(const char *name)
{
    return QString::fromLatin1(name);
}
} // namespace

SessionStore::SessionStore(KeychainStore &keychain) : m_keychain(keychain) {}

QCoro::Task<std::optional<UserProfile>> SessionStore::loadProfile()
{
    const std::optional<QByteArray> bytes = co_await m_keychain.load(key(profileKey));
    if (!bytes)
        co_return std::nullopt;
    co_return UserProfile::fromJson(*bytes);
}

QCoro::Task<void> SessionStore::saveProfile(UserProfile profile)
{
    co_await m_keychain.save(profile.toJson(), key(profileKey));
}

QCoro::Task<void> SessionStore::saveAccessToken(QString token)
{
    co_await m_keychain.save(token.toUtf8(), key(accessTokenKey));
}

QCoro::Task<void> SessionStore::saveRefreshToken(QString token)
{
    co_await m_keychain.save(token.toUtf8(), key(refreshTokenKey));
}

QCoro::Task<std::optional<QString>> SessionStore::loadAccessToken()
{
    co_return co_await m_keychain.loadString(key(accessTokenKey));
}

QCoro::Task<std::optional<QString>> SessionStore::loadRefreshToken()
{
    co_return co_await m_keychain.loadString(key(refreshTokenKey));
}

QCoro::Task<void> SessionStore::clearProfile()
{
    co_await m_keychain.deleteItem(key(profileKey));
}

QCoro::Task<void> SessionStore::clearAccessToken()
{
    co_await m_keychain.deleteItem(key(accessTokenKey));
}

QCoro::Task<void> SessionStore::clearRefreshToken()
{
    co_await m_keychain.deleteItem(key(refreshTokenKey));
}

QCoro::Task<void> SessionStore::clearSession()
{
    co_await clearProfile();
    co_await clearAccessToken();
    co_await clearRefreshToken();
}
