#include "platform/linux/SecretServiceStore.h"

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

} // namespace

QCoro::Task<int> SecretServiceStore::write(QString service, QString account, QByteArray data)
{
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
    auto *job = new QKeychain::DeletePasswordJob(service);
    QKeychain::Job *done = co_await run(job, account);
    co_return done ? statusOf(*done) : SecretStore::timedOut;
}

} // namespace platform
