#pragma once

#include "platform/SecretStore.h"

#include <chrono>

namespace platform {

// Secrets in the desktop's Secret Service (gnome-keyring, KWallet) through QtKeychain. Never
// falls back to QtKeychain's plain-text file: without a secret service every call fails. A
// write is refused at once (SecretStore::unavailable) when the service reports its default
// collection locked or missing, and a delete when it is locked, instead of waiting for a prompt.
class SecretServiceStore final : public SecretStore {
public:
    static constexpr std::chrono::milliseconds timeout{30000};

    QCoro::Task<int> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<ReadResult> read(QString service, QString account) override;
    QCoro::Task<int> remove(QString service, QString account) override;
};

} // namespace platform
