#include "account/AuthService.h"

#include "account/SessionStore.h"
#include "model/StartTask.h"
#include "platform/Log.h"

#include <QPointer>

using platform::AppleCredentialState;

// The start-up half of the service: the stored session is restored, or an unfinished sign-out
// finished, as soon as the keychain lets it.

QCoro::Task<void> AuthService::restoreSession()
{
    QPointer<AuthService> self(this);
    const std::optional<UserProfile> profile = co_await readStoredSession();
    if (!self)
        co_return;
    if (!m_restored) {
        m_restored = true;
        emit sessionRestored();
    }
    if (profile)
        co_await validateRestoredSession(*profile);
}

QCoro::Task<std::optional<UserProfile>> AuthService::readStoredSession()
{
    QPointer<AuthService> self(this);
    const int changes = m_keychainChanges;
    // A sign-out the keychain did not finish is finished before anything is restored.
    if (m_sessionStore.isEndPending()) {
        const bool ended = co_await m_sessionStore.clearSession();
        if (!self)
            co_return std::nullopt;
        if (ended) {
            m_sessionStore.setEndPending(false);
            qCInfo(Log::general, "Finished the sign-out the keyring had left unfinished");
            if (m_sessionNotice == QString::fromLatin1(signOutUnfinishedNotice))
                setSessionNotice(std::nullopt);
        } else {
            qCCritical(Log::general, "The keyring still did not remove the stored session");
            setSessionNotice(QString::fromLatin1(signOutUnfinishedNotice));
            waitForKeychain(changes);
        }
        co_return std::nullopt;
    }
    const SessionStore::StoredProfile stored = co_await m_sessionStore.readProfile();
    if (!self)
        co_return std::nullopt;
    // Only the session found at the start is restored: any session set since (by a sign-in, a
    // sign-out or this restore) stands.
    const bool replaced = m_sessionGeneration != 0;
    if (replaced)
        co_return std::nullopt;
    if (stored.locked) {
        qCWarning(Log::general, "The keyring is locked; the stored session waits for it");
        setSessionNotice(QString::fromLatin1(storedSessionLockedNotice));
        waitForKeychain(changes);
        co_return std::nullopt;
    }
    if (m_sessionNotice == QString::fromLatin1(storedSessionLockedNotice))
        setSessionNotice(std::nullopt);
    if (stored.profile)
        setCurrentUser(stored.profile);
    co_return stored.profile;
}

void AuthService::waitForKeychain(int changesBefore)
{
    m_waitingForKeychain = true;
    // The keychain changed while it was being asked: its answer may be old already.
    if (changesBefore != m_keychainChanges)
        keychainChanged();
}

void AuthService::keychainChanged()
{
    ++m_keychainChanges;
    if (!m_waitingForKeychain)
        return;
    m_waitingForKeychain = false;
    startTask(restoreSession());
}

QCoro::Task<void> AuthService::validateRestoredSession(UserProfile profile)
{
    if (profile.appleUserID.startsWith(QLatin1String("google_")) ||
        profile.appleUserID.startsWith(QLatin1String("email_")))
        co_return;
    if (!m_platform.appleSignIn)
        co_return;
    QPointer<AuthService> self(this);
    const AppleCredentialState state =
        co_await m_platform.appleSignIn->credentialState(profile.appleUserID);
    if (!self || m_currentUser != profile)
        co_return;
    if (state == AppleCredentialState::revoked || state == AppleCredentialState::notFound) {
        qCCritical(Log::general, "Apple ID credential revoked or not found; signing out locally");
        co_await signOut();
    }
}
