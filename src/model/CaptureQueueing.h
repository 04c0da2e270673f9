#pragma once

#include "model/CaptureErrors.h"
#include "model/CaptureItem.h"

#include <QList>
#include <QUuid>
#include <optional>

// The operations of the staging queue, as the capture coordinator uses them.
class CaptureQueueing {
public:
    virtual ~CaptureQueueing() = default;

    virtual QList<CaptureItem> items() const = 0;
    virtual std::optional<QUuid> selectedItemID() const = 0;
    virtual void setSelectedItemID(const std::optional<QUuid> &id) = 0;
    virtual int maxCapacity() const = 0;
    virtual void setMaxCapacity(int capacity) = 0;
    // May throw; callers handle a failure even though the staging queue
    // itself never fails.
    virtual void enqueue(const CaptureItem &item) noexcept(false) = 0;
    virtual void remove(const QUuid &id) = 0;
    virtual void markSaving(const QUuid &id) = 0;
    virtual void markSaved(const QUuid &id, const QString &fileName) = 0;
    virtual void markCopying(const QUuid &id) = 0;
    virtual void markDeleting(const QUuid &id) = 0;
    virtual void markPending(const QUuid &id) = 0;
    // A copy of the capture gave way to a later copy of something else: it waits again, with no
    // result of the copy.
    virtual void markCopyOvertaken(const QUuid &id) = 0;
    virtual void markFailed(const QUuid &id, const CaptureActionError &error) = 0;
    virtual void clearAll() = 0;
};
