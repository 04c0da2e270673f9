#include "account/PendingBrowserSignIn.h"

#include <QCryptographicHash>
#include <QRandomGenerator>

namespace {
constexpr QByteArray::Base64Options base64url =
    QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;
} // namespace

QString pkceVerifier()
{
    QByteArray bytes(32, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(bytes.data()),
                                          bytes.size() / qsizetype(sizeof(quint32)));
    return QString::fromLatin1(bytes.toBase64(base64url));
}

QString pkceChallenge(const QString &verifier)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
            .toBase64(base64url));
}

PendingBrowserSignIn::PendingBrowserSignIn(Clock clock) : m_clock(std::move(clock)) {}

std::chrono::steady_clock::time_point PendingBrowserSignIn::now() const
{
    return m_clock ? m_clock() : std::chrono::steady_clock::now();
}

QString PendingBrowserSignIn::start()
{
    m_verifier = pkceVerifier();
    m_started = now();
    return pkceChallenge(*m_verifier);
}

std::optional<QString> PendingBrowserSignIn::take()
{
    std::optional<QString> verifier = std::exchange(m_verifier, std::nullopt);
    if (verifier && now() - m_started > lifetime)
        return std::nullopt;
    return verifier;
}

bool PendingBrowserSignIn::cancel(const QString &challenge)
{
    if (!m_verifier || pkceChallenge(*m_verifier) != challenge)
        return false;
    m_verifier.reset();
    return now() - m_started <= lifetime;
}
