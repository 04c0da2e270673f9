#include "platform/linux/SecretServiceStore.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QPointer>
#include <optional>
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
const QString servicePath = QStringLiteral("/org/freedesktop/secrets");
const QString serviceInterface = QStringLiteral("org.freedesktop.Secret.Service");

QCoro::Task<QDBusMessage> call(QDBusMessage message)
{
    QDBusPendingCallWatcher watcher(QDBusConnection::sessionBus().asyncCall(message, 5000));
    if (!watcher.isFinished())
        co_await qCoro(&watcher, &QDBusPendingCallWatcher::finished);
    co_return watcher.reply();
}

// Whether the answer says that no Secret Service is there, nor can be started.
bool noService(const QDBusMessage &reply)
{
    const QString error = reply.errorName();
    return error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
           error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner") ||
           error.startsWith(QLatin1String("org.freedesktop.DBus.Error.Spawn."));
}

enum class DefaultCollection { usable, missing, locked, noService };

// What the Secret Service says at once of its default collection, where new items go. With
// none (the alias names "/") a write, and with a locked one any change, would wait for the
// user to create or unlock it, which nobody may be there to do. A service that cannot be asked
// for another reason counts as usable: the change is tried as usual.
QCoro::Task<DefaultCollection> defaultCollection()
{
    if (!QDBusConnection::sessionBus().isConnected())
        co_return DefaultCollection::noService;
    QDBusMessage alias = QDBusMessage::createMethodCall(
        secretsService, servicePath, serviceInterface, QStringLiteral("ReadAlias"));
    alias << QStringLiteral("default");
    const QDBusMessage aliasReply = co_await call(alias);
    if (noService(aliasReply))
        co_return DefaultCollection::noService;
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

enum class StoredItem { none, locked, unlocked, unknown };

// Whether the item is stored, and locked, as the service tells without unlocking anything: it
// matches items by their attributes, which QtKeychain writes as "user" (the account) and
// "server" (the service).
QCoro::Task<StoredItem> storedItem(const QString &service, const QString &account)
{
    QDBusMessage search = QDBusMessage::createMethodCall(
        secretsService, servicePath, serviceInterface, QStringLiteral("SearchItems"));
    static const QMetaType registered = qDBusRegisterMetaType<QMap<QString, QString>>();
    Q_UNUSED(registered);
    const QMap<QString, QString> attributes{{QStringLiteral("user"), account},
                                            {QStringLiteral("server"), service}};
    search << QVariant::fromValue(attributes);
    const QDBusMessage reply = co_await call(search);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().size() != 2)
        co_return StoredItem::unknown;
    const auto paths = [&reply](int index) {
        return qdbus_cast<QList<QDBusObjectPath>>(reply.arguments().at(index));
    };
    if (!paths(0).isEmpty())
        co_return StoredItem::unlocked;
    co_return paths(1).isEmpty() ? StoredItem::none : StoredItem::locked;
}

// The answer to a read or delete of the item when QtKeychain is not to be asked: without a
// service nothing can be stored, and a locked collection keeps its items (QtKeychain would ask
// the user to unlock it, and wait) but tells which it holds. Nothing: ask QtKeychain.
QCoro::Task<std::optional<int>> answerWithoutAsking(const QString &service, const QString &account)
{
    const DefaultCollection collection = co_await defaultCollection();
    if (collection == DefaultCollection::noService)
        co_return SecretStore::itemNotFound;
    if (collection == DefaultCollection::locked) {
        const StoredItem item = co_await storedItem(service, account);
        switch (item) {
        case StoredItem::none:
            co_return SecretStore::itemNotFound;
        case StoredItem::locked:
        case StoredItem::unknown:
            co_return SecretStore::unavailable;
        case StoredItem::unlocked:
            break;
        }
    }
    co_return std::nullopt;
}

// Forwards the service's announcements to one subscriber; it goes with the subscriber's context.
class ChangeRelay final : public QObject {
    Q_OBJECT

public:
    ChangeRelay(QObject *context, std::function<void()> changed)
        : QObject(context), m_changed(std::move(changed))
    {
    }

public slots:
    void announce() { m_changed(); }

private:
    std::function<void()> m_changed;
};

} // namespace

void SecretServiceStore::whenChanged(QObject *context, std::function<void()> changed)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!context || !bus.isConnected())
        return;
    auto *relay = new ChangeRelay(context, std::move(changed));
    // Unlocking or locking a collection announces it as changed; a new collection as created.
    for (const char *signal : {"CollectionChanged", "CollectionCreated"})
        bus.connect(secretsService, servicePath, serviceInterface, QString::fromLatin1(signal),
                    relay, SLOT(announce()));
    auto *started = new QDBusServiceWatcher(secretsService, bus,
                                            QDBusServiceWatcher::WatchForRegistration, relay);
    QObject::connect(started, &QDBusServiceWatcher::serviceRegistered, relay,
                     &ChangeRelay::announce);
}

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
    const std::optional<int> answered = co_await answerWithoutAsking(service, account);
    if (answered)
        co_return ReadResult{*answered, {}};
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
    const std::optional<int> answered = co_await answerWithoutAsking(service, account);
    if (answered)
        co_return *answered;
    auto *job = new QKeychain::DeletePasswordJob(service);
    QKeychain::Job *done = co_await run(job, account);
    co_return done ? statusOf(*done) : SecretStore::timedOut;
}

} // namespace platform

#include "SecretServiceStore.moc"
