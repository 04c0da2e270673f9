#include "platform/linux/SecretServiceStore.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <qcoro/qcorosignal.h>
#include <qt6keychain/keychain.h>

namespace platform {

namespace {

int statusOf(const QKeychain::Job &job)
{
    switch (job.error()) {
    case QKeychain::NoError:
        return SecretStore::success;
    case QKeychain::EntryNotFound:
        return SecretStore::itemNotFound;
    default:
        return int(job.error());
    }
}

// The job starts from the event loop, after the wait for its end is in place (a job without a
// secret service can finish inside start()). A store that does not answer in time counts as a
// failure; its job then deletes itself whenever it ends.
template <typename JobType> QCoro::Task<JobType *> run(JobType *job, const QString &account)
{
    job->setInsecureFallback(false);
    job->setKey(account);
    job->setAutoDelete(false);
    QMetaObject::invokeMethod(job, &QKeychain::Job::start, Qt::QueuedConnection);
    const auto finished =
        co_await qCoro(job, &QKeychain::Job::finished, SecretServiceStore::timeout);
    if (!finished) {
        job->setAutoDelete(true);
        co_return nullptr;
    }
    job->deleteLater();
    co_return job;
}

const QString secretsService = QStringLiteral("org.freedesktop.secrets");

QCoro::Task<QDBusMessage> call(QDBusMessage message)
{
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(message, 5000));
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
    co_return watcher.reply();
}

enum class DefaultCollection { usable, missing, locked };

// What the Secret Service says at once of its default collection, where new items go. With
// none (the alias names "/") a write, and with a locked one any change, would wait for the
// user to create or unlock it, which nobody may be there to do. A service that cannot be asked
// counts as usable: the change is tried as usual.
QCoro::Task<DefaultCollection> defaultCollection()
{
    if (!QDBusConnection::sessionBus().isConnected())
        co_return DefaultCollection::usable;
    QDBusMessage alias = QDBusMessage::createMethodCall(
        secretsService, QStringLiteral("/org/freedesktop/secrets"),
        QStringLiteral("org.freedesktop.Secret.Service"), QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const QDBusMessage aliasReply = co_await call(alias);
    if (aliasReply.type() != QDBusMessage::ReplyMessage || aliasReply.arguments().isEmpty())
        co_return DefaultCollection::usable;
    const QString collection = aliasReply.arguments().first().value<QDBusObjectPath>().path();
    if (collection == QLatin1String("/"))
        co_return DefaultCollection::missing;
    QDBusMessage locked = QDBusMessage::createMethodCall(
        secretsService, collection, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    locked << QStringLiteral("org.freedesktop.Secret.Collection") << QStringLiteral("Locked");
    const QDBusMessage lockedReply = co_await call(locked);
    if (lockedReply.type() != QDBusMessage::ReplyMessage || lockedReply.arguments().isEmpty())
        co_return DefaultCollection::usable;
    co_return qdbus_cast<QDBusVariant>(lockedReply.arguments().first()).variant().toBool()
        ? DefaultCollection::locked
        : DefaultCollection::usable;
}

} // namespace

QCoro::Task<int> SecretServiceStore::write(QString service, QString account, QByteArray data)
{
    if (co_await defaultCollection() != DefaultCollection::usable)
        co_return SecretStore::unavailable;
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setBinaryData(data);
    QKeychain::Job *done = co_await run(job, account);
    co_return done ? statusOf(*done) : SecretStore::timedOut;
}

QCoro::Task<SecretStore::ReadResult> SecretServiceStore::read(QString service, QString account)
{
    auto *job = new QKeychain::ReadPasswordJob(service);
    QKeychain::ReadPasswordJob *done = co_await run(job, account);
    ReadResult result;
    result.status = done ? statusOf(*done) : SecretStore::timedOut;
    if (result.status == success)
        result.data = done->binaryData();
    co_return result;
}

QCoro::Task<int> SecretServiceStore::remove(QString service, QString account)
{
    // Without a collection there is nothing to delete; a locked one keeps its items.
    if (co_await defaultCollection() == DefaultCollection::locked)
        co_return SecretStore::unavailable;
    auto *job = new QKeychain::DeletePasswordJob(service);
    QKeychain::Job *done = co_await run(job, account);
    co_return done ? statusOf(*done) : SecretStore::timedOut;
}

} // namespace platform
