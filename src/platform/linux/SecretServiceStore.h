#pragma once

#include "platform/SecretStore.h"

#include <chrono>

namespace platform {

// Secrets in the desktop's Secret Service (gnome-keyring, KWallet) through QtKeychain. Never
// falls back to QtKeychain's plain-text file: without a secret service nothing can be written,
// read or removed, as nothing can be stored. Nothing waits for a prompt: while the service
// reports its default collection locked or missing a write is refused at once
// (SecretStore::unavailable), and while it is locked so is a read or delete of an item stored
// in it; an item that is not stored at all reads as not found. The service's announcements of
// changed collections reach whenChanged().
class SecretServiceStore final : public SecretStore {
public:
    static constexpr std::chrono::milliseconds timeout{30000};

    QCoro::Task<int> write(QString service, QString account, QByteArray data) override;
    QCoro::Task<ReadResult> read(QString service, QString account) override;
    QCoro::Task<int> remove(QString service, QString account) override;
    void whenChanged(QObject *context, std::function<void()> changed) override;
};

} // namespace platform
