#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

// The account's errors. Every error a sign-in can end with describes itself through what()
// (UTF-8), which is the text the account view shows.
class AccountError : public std::exception {
public:
    explicit AccountError(const QString &description) : m_what(description.toUtf8()) {}
    const char *what() const noexcept override { return m_what.constData(); }
    QString description() const { return QString::fromUtf8(m_what); }

private:
    QByteArray m_what;
};

// The auth service's own failures.
class AuthError final : public AccountError {
public:
    enum class Code { networkError, signInCancelled, invalidCredentials, notSignedIn, unknown };

    static AuthError networkError(const QString &text) { return {Code::networkError, text}; }
    static AuthError signInCancelled() { return {Code::signInCancelled}; }
    static AuthError invalidCredentials() { return {Code::invalidCredentials}; }
    static AuthError notSignedIn() { return {Code::notSignedIn}; }
    static AuthError unknown() { return {Code::unknown}; }

    Code code() const { return m_code; }
    // The text a network error carries; empty for the other codes.
    QString text() const { return m_text; }

private:
    AuthError(Code code, const QString &text = {});
    static QString describe(Code code, const QString &text);

    Code m_code;
    QString m_text;
};

// A sign-in the backend refused (code = the HTTP status), or one that lacked its input
// (code -1); the description is the backend's message itself.
class SignInRejectedError final : public AccountError {
public:
    static constexpr const char *domain = "AuthError";

    SignInRejectedError(int code, const QString &message) : AccountError(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

// A browser callback that answers no browser sign-in waiting in this run: it is never taken.
class CallbackRefusedError final : public AccountError {
public:
    CallbackRefusedError()
        : AccountError(QStringLiteral("No browser sign-in of this run is waiting for this "
                                      "callback."))
    {
    }
};

// A browser sign-in whose page no browser took: none is set up, or it could not be started.
class BrowserNotOpenedError final : public AccountError {
public:
    BrowserNotOpenedError()
        : AccountError(QStringLiteral("No web browser could be opened to sign in with Google. "
                                      "Set up a default web browser, then try again."))
    {
    }
};

// A sign-in or token refresh whose answer came after another sign-in was kept or a sign-out
// began: what the user did since stands, and this answer keeps nothing.
class SignInOvertakenError final : public AccountError {
public:
    SignInOvertakenError()
        : AccountError(QStringLiteral("A later sign-in or a sign-out came first, so this "
                                      "answer of the server was not kept."))
    {
    }
};

// An answer that is not of the expected shape.
class DecodingError final : public AccountError {
public:
    using AccountError::AccountError;
};
