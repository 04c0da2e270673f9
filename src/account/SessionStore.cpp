#include "account/SessionStore.h"

#include "account/KeychainStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {
QString key(const char *name)
{
    return QString::fromLatin1(name);
}
} // namespace

QString SessionStore::defaultEndMarkerPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) +
           QStringLiteral("/session-end-pending");
}

SessionStore::SessionStore(KeychainStore &keychain, QString endMarkerPath)
    : m_keychain(keychain), m_endMarkerPath(std::move(endMarkerPath))
{
}

QCoro::Task<std::optional<UserProfile>> SessionStore::loadProfile()
{
    co_return (co_await readProfile()).profile;
}

QCoro::Task<SessionStore::StoredProfile> SessionStore::readProfile()
{
    const KeychainStore::Loaded loaded = co_await m_keychain.loadItem(key(profileKey));
    if (!loaded.data)
        co_return StoredProfile{std::nullopt, loaded.unavailable};
    co_return StoredProfile{UserProfile::fromJson(*loaded.data), false};
}

QCoro::Task<void> SessionStore::saveProfile(UserProfile profile)
{
    const TurnQueue::Turn turn = co_await m_keychainTurns.waitForTurn();
    co_await m_keychain.save(profile.toJson(), key(profileKey));
}

QCoro::Task<void> SessionStore::saveAccessToken(QString token)
{
    const TurnQueue::Turn turn = co_await m_keychainTurns.waitForTurn();
    co_await m_keychain.save(token.toUtf8(), key(accessTokenKey));
}

QCoro::Task<void> SessionStore::saveRefreshToken(QString token)
{
    const TurnQueue::Turn turn = co_await m_keychainTurns.waitForTurn();
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

QCoro::Task<bool> SessionStore::saveSession(UserProfile profile, QString accessToken,
                                            std::optional<QString> refreshToken)
{
    const TurnQueue::Turn turn = co_await m_keychainTurns.waitForTurn();
    if (!co_await m_keychain.save(accessToken.toUtf8(), key(accessTokenKey)))
        co_return false;
    const bool refreshKept =
        refreshToken ? co_await m_keychain.save(refreshToken->toUtf8(), key(refreshTokenKey))
                     : co_await m_keychain.deleteItem(key(refreshTokenKey));
    if (!refreshKept)
        co_return false;
    co_return co_await m_keychain.save(profile.toJson(), key(profileKey));
}

QCoro::Task<bool> SessionStore::clearSession()
{
    const TurnQueue::Turn turn = co_await m_keychainTurns.waitForTurn();
    for (const char *name : {profileKey, accessTokenKey, refreshTokenKey})
        if (!co_await m_keychain.deleteItem(key(name)))
            co_return false;
    co_return true;
}

bool SessionStore::isEndPending() const
{
    return QFileInfo::exists(m_endMarkerPath);
}

void SessionStore::setEndPending(bool pending)
{
    if (!pending) {
        QFile::remove(m_endMarkerPath);
        return;
    }
    QDir().mkpath(QFileInfo(m_endMarkerPath).absolutePath());
    QFile marker(m_endMarkerPath);
    marker.open(QIODevice::WriteOnly);
}
