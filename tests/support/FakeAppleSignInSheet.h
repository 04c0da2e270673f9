#pragma once

#include "platform/AppleSignInSheet.h"
#include "support/Gate.h"

#include <QStringList>
#include <variant>

// Scripts the Apple ID sheet: the next request ends with `outcome` (a credential, or the
// sheet's error: cancelled, failed, …) once `gate` opens; credential states come from `state`.
class FakeAppleSignInSheet : public platform::AppleSignInSheet {
public:
    using Outcome = std::variant<platform::AppleIdCredential, platform::AppleAuthorizationError>;

    QCoro::Task<platform::AppleIdCredential> requestAuthorization() override
    {
        ++requests;
        co_await gate.pass();
        if (const auto *error = std::get_if<platform::AppleAuthorizationError>(&outcome))
            throw *error;
        co_return std::get<platform::AppleIdCredential>(outcome);
    }
    QCoro::Task<platform::AppleCredentialState> credentialState(QString user) override
    {
        stateQueries << user;
        co_await stateGate.pass();
        co_return state;
    }

    static platform::AppleIdCredential credential(const QString &user, const QByteArray &token)
    {
        platform::AppleIdCredential result;
        result.user = user;
        result.identityToken = token;
        return result;
    }
    static platform::AppleAuthorizationError cancelled()
    {
        return {platform::AppleAuthorizationError::canceled, QStringLiteral("The user canceled.")};
    }

    Outcome outcome = credential(QStringLiteral("001234.apple.user"), "apple-identity-token");
    platform::AppleCredentialState state = platform::AppleCredentialState::authorized;
    int requests = 0;
    QStringList stateQueries;
    Gate gate;
    Gate stateGate;
};
