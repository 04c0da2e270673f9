#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <qcoro/qcorotask.h>

class QObject;

namespace platform {
class SecretStore;
}

// Small secrets of the account as items of the desktop's secret store, named by this store's
// service and a key. Knows nothing of what the bytes mean; caches nothing.
class KeychainStore final {
public:
    static constexpr const char *defaultService = "com.corvanta.keychain";

    explicit KeychainStore(std::shared_ptr<platform::SecretStore> secrets,
                           QString service = QString::fromLatin1(defaultService));

    QString service() const { return m_service; }

    // Whether the item now holds the bytes. The item is replaced in one step, so a failed
    // save leaves the previous value in place; a failure is logged with the key and status.
    QCoro::Task<bool> save(QByteArray data, QString key);
    QCoro::Task<bool> saveString(QString text, QString key);
    struct Loaded {
        std::optional<QByteArray> data;
        // The store could not be read now (locked); whenChanged() tells when it may be.
        bool unavailable = false;
    };
    // The stored bytes; nothing when absent or unreadable (not logged).
    QCoro::Task<std::optional<QByteArray>> load(QString key);
    // The same, telling an item that cannot be read now from one that is not there.
    QCoro::Task<Loaded> loadItem(QString key);
    // Nothing when absent, unreadable or not valid UTF-8.
    QCoro::Task<std::optional<QString>> loadString(QString key);
    // Whether no item is left under the key (deleting a missing item succeeds).
    QCoro::Task<bool> deleteItem(QString key);
    // Runs `changed` while `context` lives whenever the store may have become readable or
    // writable again (its keyring unlocked).
    void whenChanged(QObject *context, std::function<void()> changed);

private:
    std::shared_ptr<platform::SecretStore> m_secrets;
    QString m_service;
};

// Text from bytes only when they are valid UTF-8.
std::optional<QString> decodeUtf8(const QByteArray &bytes);
