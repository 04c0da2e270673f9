#pragma once

#include <QString>
#include <chrono>
#include <functional>
#include <optional>

// The browser sign-in this program started and now waits for. Only a callback that answers it
// may sign anybody in: any program can start Corvanta with a callback address, but only this
// run knows the code verifier (kept in memory, never stored), so a callback is accepted once,
// within ten minutes of opening the browser, and never after a sign-out or a restart.
class PendingBrowserSignIn {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    static constexpr std::chrono::minutes lifetime{10};

    // The clock defaults to the steady clock; tests hand in their own.
    explicit PendingBrowserSignIn(Clock clock = {});

    // Starts a new sign-in, replacing one still pending; answers its PKCE code challenge.
    QString start();
    // The verifier of the sign-in a callback answers. The sign-in ends with this call; nothing
    // when none is pending or it has grown older than the lifetime.
    std::optional<QString> take();
    void cancel() { m_verifier.reset(); }
    // Ends the sign-in that answered `challenge` when it still waits; a newer one stays.
    // Answers whether that sign-in was still waiting within its lifetime.
    bool cancel(const QString &challenge);
    bool isPending() const { return m_verifier.has_value(); }

private:
    std::chrono::steady_clock::time_point now() const;

    Clock m_clock;
    std::optional<QString> m_verifier;
    std::chrono::steady_clock::time_point m_started;
};

// PKCE (S256): a verifier of 43 URL-safe characters from 32 random bytes, and its challenge,
// the unpadded base64url of the verifier's SHA-256.
QString pkceVerifier();
QString pkceChallenge(const QString &verifier);
