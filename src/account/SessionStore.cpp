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

// Held by a save or session end while it uses the keychain; hands the keychain to the next one
// asked, if any, when it goes.
class SessionStore::Turn {
public:
    explicit Turn(SessionStore &store) : m_store(store) {}
    Turn(const Turn &) = delete;
    Turn &operator=(const Turn &) = delete;
    ~Turn() { m_store.passTurn(); }

private:
    SessionStore &m_store;
};

struct SessionStore::TurnWait {
    SessionStore &store;
    bool await_ready() const noexcept { return !store.m_turnTaken; }
    void await_suspend(std::coroutine_handle<> waiter) { store.m_waitingForTurn.push_back(waiter); }
    Turn await_resume() const noexcept
    {
        store.m_turnTaken = true;
        return Turn(store);
    }
};

SessionStore::TurnWait SessionStore::waitForTurn()
{
    return TurnWait{*this};
}

void SessionStore::passTurn()
{
    m_turnTaken = false;
    if (m_waitingForTurn.empty())
        return;
    const std::coroutine_handle<> next = m_waitingForTurn.front();
    m_waitingForTurn.pop_front();
    next.resume();
}

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
    const Turn turn = co_await waitForTurn();
    co_await m_keychain.save(profile.toJson(), key(profileKey));
}

QCoro::Task<void> SessionStore::saveAccessToken(QString token)
{
    const Turn turn = co_await waitForTurn();
    co_await m_keychain.save(token.toUtf8(), key(accessTokenKey));
}

QCoro::Task<void> SessionStore::saveRefreshToken(QString token)
{
    const Turn turn = co_await waitForTurn();
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
    const Turn turn = co_await waitForTurn();
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
    const Turn turn = co_await waitForTurn();
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
