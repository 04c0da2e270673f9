#pragma once

#include "account/UserProfile.h"
#include "model/SharedInstance.h"

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class KeychainStore;

// The signed-in session in the keychain: the profile as JSON and the two tokens as UTF-8, under
// three fixed keys. Failures are not passed on: saves and deletes report nothing, loads give
// nothing.
class SessionStore final : public SharedInstance<SessionStore> {
public:
    static constexpr const char *profileKey = "corvanta.session.profile";
    static constexpr const char *accessTokenKey = "corvanta.session.accessToken";
    static constexpr const char *refreshTokenKey = "corvanta.session.refreshToken";

    explicit SessionStore(KeychainStore &keychain);

    KeychainStore &keychain() const { return m_keychain; }

    // Nothing when absent or not a valid profile.
    QCoro::Task<std::optional<UserProfile>> loadProfile();
    QCoro::Task<void> saveProfile(UserProfile profile);
    QCoro::Task<void> saveAccessToken(QString token);
    QCoro::Task<void> saveRefreshToken(QString token);
    QCoro::Task<std::optional<QString>> loadAccessToken();
    QCoro::Task<std::optional<QString>> loadRefreshToken();
    QCoro::Task<void> clearProfile();
    QCoro::Task<void> clearAccessToken();
    QCoro::Task<void> clearRefreshToken();
    // The end of a session: profile, access token, refresh token, in that order.
    QCoro::Task<void> clearSession();

private:
    KeychainStore &m_keychain;
};
