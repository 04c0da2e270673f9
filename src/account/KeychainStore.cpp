#include "account/KeychainStore.h"

#include "platform/Log.h"
#include "platform/SecretStore.h"

#include <QStringDecoder>

using platform::SecretStore;

std::optional<QString> decodeUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

KeychainStore::KeychainStore(std::shared_ptr<platform::SecretStore> secrets, QString service)
    : m_secrets(std::move(secrets)), m_service(std::move(service))
{
}

QCoro::Task<bool> KeychainStore::save(QByteArray data, QString key)
{
    const int status = co_await m_secrets->write(m_service, key, data);
    if (status == SecretStore::success)
        co_return true;
    qCCritical(Log::general, "Keychain save error for key %s: %d", qUtf8Printable(key), status);
    co_return false;
}

QCoro::Task<bool> KeychainStore::saveString(QString text, QString key)
{
    co_return co_await save(text.toUtf8(), key);
}

QCoro::Task<std::optional<QByteArray>> KeychainStore::load(QString key)
{
    co_return (co_await loadItem(std::move(key))).data;
}

QCoro::Task<KeychainStore::Loaded> KeychainStore::loadItem(QString key)
{
    const SecretStore::ReadResult result = co_await m_secrets->read(m_service, key);
    if (result.status != SecretStore::success)
        co_return Loaded{std::nullopt, result.status == SecretStore::unavailable};
    co_return Loaded{result.data, false};
}

QCoro::Task<std::optional<QString>> KeychainStore::loadString(QString key)
{
    const std::optional<QByteArray> bytes = co_await load(key);
    if (!bytes)
        co_return std::nullopt;
    co_return decodeUtf8(*bytes);
}

QCoro::Task<bool> KeychainStore::deleteItem(QString key)
{
    const int status = co_await m_secrets->remove(m_service, key);
    co_return status == SecretStore::success || status == SecretStore::itemNotFound;
}

void KeychainStore::whenChanged(QObject *context, std::function<void()> changed)
{
    m_secrets->whenChanged(context, std::move(changed));
}
