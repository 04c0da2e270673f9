#pragma once

#include "model/CaptureItem.h"
#include "model/CaptureQueueing.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QUuid>
#include <optional>

// The staging queue: the captures waiting in the tray, newest first, bounded
// by a capacity at each enqueue, with the selected capture and each
// capture's action state. Main thread only. Every assignment to a property
// is announced, also when the value did not change; an operation that
// changes the list several times announces each change.
class CaptureQueue final : public QObject, public CaptureQueueing {
    Q_OBJECT
    Q_PROPERTY(QList<CaptureItem> items READ items NOTIFY itemsChanged)
    Q_PROPERTY(std::optional<QUuid> selectedItemID READ selectedItemID WRITE setSelectedItemID
                   NOTIFY selectedItemIDChanged)
    Q_PROPERTY(int maxCapacity READ maxCapacity WRITE setMaxCapacity NOTIFY maxCapacityChanged)

public:
    explicit CaptureQueue(int maxCapacity, QObject *parent = nullptr);

    QList<CaptureItem> items() const override { return m_items; }
    // May name a capture that has left the list; see selectedItem().
    std::optional<QUuid> selectedItemID() const override { return m_selectedItemID; }
    void setSelectedItemID(const std::optional<QUuid> &id) override;
    // A lowered capacity takes effect at the next enqueue.
    int maxCapacity() const override { return m_maxCapacity; }
    void setMaxCapacity(int capacity) override;

    // The selected capture, else the newest; absent when the list is empty.
    std::optional<CaptureItem> selectedItem() const;

    // Drops the oldest captures while the list holds maxCapacity or more
    // (their files stay), inserts the capture first and selects it. Never
    // throws.
    void enqueue(const CaptureItem &item) override;
    // Takes the capture out and schedules its files' deletion.
    void remove(const QUuid &id) override;
    void clearAll() override;
    void updateState(const QUuid &id, const CaptureItemState &state);
    void markSaving(const QUuid &id) override;
    void markSaved(const QUuid &id, const QString &fileName) override;
    void markCopying(const QUuid &id) override;
    void markDeleting(const QUuid &id) override;
    void markPending(const QUuid &id) override;
    // Announces copyOvertaken, then marks the capture pending.
    void markCopyOvertaken(const QUuid &id) override;
    void markFailed(const QUuid &id, const CaptureActionError &error) override;
    // Replaces a screenshot's image after an edit: same place, identifier,
    // state and file name; the PNG is rewritten. A recording is left as it is.
    void updateImage(const QUuid &id, const QImage &image);

signals:
    void itemsChanged();
    // A capture's image was replaced (after itemsChanged for the new record).
    void imageUpdated(const QUuid &id);
    // A copy of the capture ended without a result (before itemsChanged for its new state), so
    // that whoever waits for its outcome says nothing of it.
    void copyOvertaken(const QUuid &id);
    void selectedItemIDChanged();
    void maxCapacityChanged();

private:
    void setItems(const QList<CaptureItem> &items);
    qsizetype indexOf(const QUuid &id) const;

    QList<CaptureItem> m_items;
    std::optional<QUuid> m_selectedItemID;
    int m_maxCapacity;
};
