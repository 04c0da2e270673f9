#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <qcoro/qcorotask.h>

class QObject;

namespace platform {

// The desktop's store of small secrets (the Secret Service on Linux). Items are opaque bytes
// named by a service and an account. Every call waits for the store without blocking the
// event loop and reports a status rather than throwing.
class SecretStore {
public:
    // Status values: 0 is success, itemNotFound means no such item; anything else is the
    // store's own failure code.
    static constexpr int success = 0;
    static constexpr int itemNotFound = -25300;
    // The store did not answer in time.
    static constexpr int timedOut = -1;
    // The store cannot do it now (its collection is locked or missing): a change, or a read of
    // a locked item, would wait for the user to unlock or create one, so it is refused at once.
    static constexpr int unavailable = -2;

    struct ReadResult {
        int status = itemNotFound;
        QByteArray data;
    };

    virtual ~SecretStore() = default;
    // Replaces the item's bytes in one step: a write that fails leaves the old bytes in place.
    virtual QCoro::Task<int> write(QString service, QString account, QByteArray data) = 0;
    virtual QCoro::Task<ReadResult> read(QString service, QString account) = 0;
    virtual QCoro::Task<int> remove(QString service, QString account) = 0;
    // Calls `changed` on the main thread, while `context` lives, whenever the store may be able
    // to do what it refused as unavailable (a collection was unlocked or made, the store
    // started). A store that cannot tell never calls it.
    virtual void whenChanged(QObject * /*context*/, std::function<void()> /*changed*/) {}
};

} // namespace platform
