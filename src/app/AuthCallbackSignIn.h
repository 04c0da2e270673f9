#pragma once

#include "app/OpenUrlHandler.h"

class AuthService;

// Hands each browser sign-in callback to the auth service in a task of its own and logs how it
// ended; the account views follow the service's user, so nothing is shown here.
class AuthCallbackSignIn final : public BrowserSignIn {
public:
    explicit AuthCallbackSignIn(AuthService &authService) : m_authService(authService) {}
    void handleBrowserCallback(const QUrl &url) override;

private:
    AuthService &m_authService;
};
