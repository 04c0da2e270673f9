#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QUuid>
#include <optional>

class CaptureQueue;
class PinManager;
class SettingsStore;

// Keeps the deck in step with the staging queue: a capture that leaves the queue loses its pin
// (whatever the auto-pin setting), and with auto-pin on a capture that arrives first in the
// queue is pinned. A capture is pinned at most once: one that becomes first again after newer
// ones left is not pinned a second time. Each change of the queue is handled in a turn of its
// own. A capture whose image is replaced (marked up) has every pin of it show and copy the new
// image. Main thread only; the program has one, made by the application environment.
class PinAutoPinner final : public QObject {
    Q_OBJECT

public:
    explicit PinAutoPinner(PinManager &manager, QObject *parent = nullptr);
    ~PinAutoPinner() override;

    // Follows the queue from now on (its current list first), replacing an earlier start; what
    // was seen before is kept.
    void start(CaptureQueue &queue, SettingsStore &settings);

    std::optional<QUuid> lastProcessedItemID() const { return m_lastProcessedItemID; }
    const QSet<QUuid> &previouslySeenQueueItemIDs() const { return m_previouslySeen; }

private:
    void handleItems();
    void handleImageUpdate(const QUuid &id);

    PinManager &m_manager;
    QPointer<CaptureQueue> m_queue;
    QPointer<SettingsStore> m_settings;
    QMetaObject::Connection m_cancellable;
    QMetaObject::Connection m_imageUpdates;
    std::optional<QUuid> m_lastProcessedItemID;
    QSet<QUuid> m_previouslySeen;
    // Every capture this component has seen in the queue, so none is pinned twice.
    QSet<QUuid> m_everSeen;
};
