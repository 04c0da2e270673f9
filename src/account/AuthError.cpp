#include "account/AuthError.h"

AuthError::AuthError(Code code, const QString &text)
    : AccountError(describe(code, text)), m_code(code), m_text(text)
{
}

QString AuthError::describe(Code code, const QString &text)
{
    switch (code) {
    case Code::networkError:
        return QStringLiteral("Authentication network error: ") + text;
    case Code::signInCancelled:
        return QStringLiteral("Sign in with Apple was cancelled.");
    case Code::invalidCredentials:
        return QStringLiteral("Invalid Apple credentials.");
    case Code::notSignedIn:
        return QStringLiteral("No user is currently signed in.");
    case Code::unknown:
        break;
    }
    return QStringLiteral("An unknown authentication error occurred.");
}
