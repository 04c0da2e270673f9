#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <qcoro/qcorotask.h>
#include <stdexcept>

namespace platform {

struct PersonNameComponents {
    QString namePrefix;
    QString givenName;
    QString middleName;
    QString familyName;
    QString nameSuffix;
    QString nickname;
};

// What the other platform's Apple ID sheet hands back after the user agreed.
struct AppleIdCredential {
    QString user;
    std::optional<QString> email;
    std::optional<PersonNameComponents> fullName;
    std::optional<QByteArray> identityToken;
    std::optional<QByteArray> authorizationCode;
};

// The sheet's own failures; code canceled means the user dismissed it.
class AppleAuthorizationError : public std::runtime_error {
public:
    static constexpr int unknown = 1000;
    static constexpr int canceled = 1001;
    static constexpr int notHandled = 1003;
    static constexpr int failed = 1004;

    AppleAuthorizationError(int code, const QString &description)
        : std::runtime_error(description.toStdString()), m_code(code)
    {
    }
    int code() const { return m_code; }

private:
    int m_code;
};

// The values keep the other platform's raw numbers: stored and compared as such.
enum class AppleCredentialState { revoked = 0, authorized = 1, notFound = 2, transferred = 3 };

// Sign in with Apple: one authorization through the system sheet, and the state of a known
// user's credential.
class AppleSignInSheet {
public:
    virtual ~AppleSignInSheet() = default;
    // Throws AppleAuthorizationError.
    virtual QCoro::Task<AppleIdCredential> requestAuthorization() = 0;
    virtual QCoro::Task<AppleCredentialState> credentialState(QString user) = 0;
};

} // namespace platform
