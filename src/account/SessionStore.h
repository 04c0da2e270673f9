#pragma once

#include "account/TurnQueue.h"
#include "account/UserProfile.h"

#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>

class KeychainStore;

// The signed-in session in the keychain: the profile as JSON and the two tokens as UTF-8, under
// three fixed keys. The single saves and deletes report nothing and loads give nothing on
// failure; saving or ending a whole session says whether it was done. A session end that the
// keychain did not carry out is remembered in a small marker file (it holds nothing of the
// session), so that the next start finishes it before restoring anything. Saves and session
// ends reach the keychain one after another, in the order they were asked: an item written by
// a save that a session end overtook would outlive the session.
class SessionStore final {
public:
    static constexpr const char *profileKey = "corvanta.session.profile";
    static constexpr const char *accessTokenKey = "corvanta.session.accessToken";
    static constexpr const char *refreshTokenKey = "corvanta.session.refreshToken";

    // The marker of an unfinished session end, under the program's data folder.
    static QString defaultEndMarkerPath();

    explicit SessionStore(KeychainStore &keychain, QString endMarkerPath = defaultEndMarkerPath());

    KeychainStore &keychain() const { return m_keychain; }

    // Nothing when absent or not a valid profile.
    QCoro::Task<std::optional<UserProfile>> loadProfile();
    struct StoredProfile {
        std::optional<UserProfile> profile;
        // The keychain holds a profile it cannot give now: it is locked.
        bool locked = false;
    };
    // The same, telling a locked keychain from one that holds no profile.
    QCoro::Task<StoredProfile> readProfile();
    QCoro::Task<void> saveProfile(UserProfile profile);
    QCoro::Task<void> saveAccessToken(QString token);
    QCoro::Task<void> saveRefreshToken(QString token);
    QCoro::Task<std::optional<QString>> loadAccessToken();
    QCoro::Task<std::optional<QString>> loadRefreshToken();
    // A new session whole: access token, refresh token (none when the session has none),
    // profile. Stops at the first write the keychain refuses, so that a store that cannot be
    // written costs one wait; answers whether everything was written.
    QCoro::Task<bool> saveSession(UserProfile profile, QString accessToken,
                                  std::optional<QString> refreshToken);
    // The end of a session: profile, access token, refresh token, in that order; stops at the
    // first item the keychain does not delete and answers whether all three are gone.
    QCoro::Task<bool> clearSession();

    // Whether an earlier session end is still to be finished.
    bool isEndPending() const;
    void setEndPending(bool pending);

private:
    KeychainStore &m_keychain;
    QString m_endMarkerPath;
    // Held by a save or session end while it uses the keychain.
    TurnQueue m_keychainTurns;
};
