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

// The job deletes itself once it has finished; its results are read before control returns
// to the event loop, so it is still alive here.
template <typename JobType> QCoro::Task<JobType *> run(JobType *job, const QString &account)
{
    job->setInsecureFallback(false);
    job->setKey(account);
    job->setAutoDelete(true);
    job->start();
    co_await qCoro(job, &QKeychain::Job::finished);
    co_return job;
}

} // namespace

QCoro::Task<int> SecretServiceStore::write(QString service, QString account, QByteArray data)
{
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setBinaryData(data);
    QKeychain::Job *done = co_await run(job, account);
    co_return statusOf(*done);
}

QCoro::Task<SecretStore::ReadResult> SecretServiceStore::read(QString service, QString account)
{
    auto *job = new QKeychain::ReadPasswordJob(service);
    QKeychain::ReadPasswordJob *done = co_await run(job, account);
    ReadResult result;
    result.status = statusOf(*done);
    if (result.status == success)
        result.data = done->binaryData();
    co_return result;
}

QCoro::Task<int> SecretServiceStore::remove(QString service, QString account)
{
    auto *job = new QKeychain::DeletePasswordJob(service);
    QKeychain::Job *done = co_await run(job, account);
    co_return statusOf(*done);
}

} // namespace platform
