#pragma once

#include "platform/AppleSignInSheet.h"

namespace platform {

// Linux has no Apple ID sheet: every request fails at once with a message the user sees
// (not the silent cancellation), and no credential is known.
class AbsentAppleSignInSheet final : public AppleSignInSheet {
public:
    static constexpr const char *unavailableMessage =
        "Sign in with Apple is not available on this system.";

    QCoro::Task<AppleIdCredential> requestAuthorization() override
    {
        throw AppleAuthorizationError(AppleAuthorizationError::notHandled,
                                      QString::fromLatin1(unavailableMessage));
        co_return AppleIdCredential{};
    }
    QCoro::Task<AppleCredentialState> credentialState(QString) override
    {
        co_return AppleCredentialState::notFound;
    }
};

} // namespace platform
