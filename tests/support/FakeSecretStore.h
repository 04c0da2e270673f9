#pragma once

#include "platform/SecretStore.h"
#include "support/Gate.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <coroutine>
#include <functional>

// Secrets in memory, keyed by (service, account). `writeStatus`, `readStatus` and
// `removeStatus` make every call of that kind fail with the status given (0: work);
// announceChange() tells the subscribers of whenChanged() that the store may work again.
// While `holding`, every write and remove waits until release() lets it reach the store: a
// test picks the order in which calls made at the same time land.
class FakeSecretStore : public platform::SecretStore {
public:
    using Key = QPair<QString, QString>;

    QCoro::Task<int> write(QString service, QString account, QByteArray data) override
    {
        co_await hold();
        co_await gate.pass();
        ++writes;
        if (writeStatus != success)
            co_return writeStatus;
        items.insert({service, account}, data);
        co_return success;
    }
    QCoro::Task<ReadResult> read(QString service, QString account) override
    {
        co_await gate.pass();
        if (readStatus != success)
            co_return ReadResult{readStatus, {}};
        const auto found = items.constFind({service, account});
        if (found == items.cend())
            co_return ReadResult{itemNotFound, {}};
        co_return ReadResult{success, *found};
    }
    QCoro::Task<int> remove(QString service, QString account) override
    {
        co_await hold();
        co_await gate.pass();
        if (removeStatus != success)
            co_return removeStatus;
        co_return items.remove({service, account}) > 0 ? success : itemNotFound;
    }

    void whenChanged(QObject *context, std::function<void()> changed) override
    {
        watchers.append({context, std::move(changed)});
    }
    // What the desktop's store announces when a collection is unlocked.
    void announceChange()
    {
        const auto current = watchers;
        for (const auto &[context, changed] : current)
            if (context)
                changed();
    }

    qsizetype heldCalls() const { return m_held.size(); }
    // The call and what its caller does next run before this returns, up to the next held call.
    void release(qsizetype index) { m_held.takeAt(index).resume(); }

    QHash<Key, QByteArray> items;
    int writeStatus = success;
    int readStatus = success;
    int removeStatus = success;
    int writes = 0;
    Gate gate;
    QList<std::pair<QPointer<QObject>, std::function<void()>>> watchers;
    bool holding = false;

private:
    struct Hold {
        FakeSecretStore &store;
        bool await_ready() const noexcept { return !store.holding; }
        void await_suspend(std::coroutine_handle<> waiter) { store.m_held.append(waiter); }
        void await_resume() const noexcept {}
    };
    Hold hold() { return Hold{*this}; }

    QList<std::coroutine_handle<>> m_held;
};
